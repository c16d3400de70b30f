#pragma once

#include <cstdint>

#include "memory/MemoryLevel.h"
#include "memory/SixtyFourKbRAM.h"

namespace tarnwick {

// The 64-KB memory built from relays: a binary tree of ten levels splitting
// on A15 down to A6, over 1,024 blocks of 64 bytes. Building one allocates
// every part of the tree at once; a failed allocation releases what was
// already built and propagates std::bad_alloc. Every step ticks every relay.
class SixtyFourKilobyteRAM final : public SixtyFourKbRAM {
public:
    static constexpr std::uint64_t ticksPerStep = MemoryLevel<ThirtyTwoKilobyteRAM, 15>::ticksPerStep;

    SixtyFourKilobyteRAM();
    ~SixtyFourKilobyteRAM() override;

    void setVoltage(bool on) override;
    void setWrite(bool on) override;
    void setAddressBit0(bool on) override;
    void setAddressBit1(bool on) override;
    void setAddressBit2(bool on) override;
    void setAddressBit3(bool on) override;
    void setAddressBit4(bool on) override;
    void setAddressBit5(bool on) override;
    void setAddressBit6(bool on) override;
    void setAddressBit7(bool on) override;
    void setAddressBit8(bool on) override;
    void setAddressBit9(bool on) override;
    void setAddressBit10(bool on) override;
    void setAddressBit11(bool on) override;
    void setAddressBit12(bool on) override;
    void setAddressBit13(bool on) override;
    void setAddressBit14(bool on) override;
    void setAddressBit15(bool on) override;
    void setDataInBit0(bool on) override;
    void setDataInBit1(bool on) override;
    void setDataInBit2(bool on) override;
    void setDataInBit3(bool on) override;
    void setDataInBit4(bool on) override;
    void setDataInBit5(bool on) override;
    void setDataInBit6(bool on) override;
    void setDataInBit7(bool on) override;
    bool getDataOutBit0() override;
    bool getDataOutBit1() override;
    bool getDataOutBit2() override;
    bool getDataOutBit3() override;
    bool getDataOutBit4() override;
    bool getDataOutBit5() override;
    bool getDataOutBit6() override;
    bool getDataOutBit7() override;
    void step() override;
    bool relayBuilt() const override { return true; }
    std::uint8_t peek(std::uint16_t address) const override;

    // Reports the memory itself, then every part it owns (see SixtyFourByteRAM.h).
    template <class Visitor>
    void visitParts(Visitor& visitor) const {
        visitor.part(*this);
        body_.visitParts(visitor);
    }

    const MemoryLevel<ThirtyTwoKilobyteRAM, 15>& body() const { return body_; }

    // Every relay byte, depth first through the tree, each part's relays in
    // member order: the order RelayLaneRAM::copyRelayStates gives its own.
    void copyRelayStates(std::uint8_t* out) const;

    static constexpr auto members() { return std::make_tuple(TARNWICK_PART(SixtyFourKilobyteRAM, body_)); }

private:
    MemoryLevel<ThirtyTwoKilobyteRAM, 15> body_;
};

}  // namespace tarnwick
