#pragma once

#include <cstdint>
#include <vector>

namespace tarnwick {

// The machine's 64-KB memory, shaped like the pins of a memory chip: one
// operation per input line, one per data-out line, and step(). Setters only
// record their line; step() performs the whole read or write.
class SixtyFourKbRAM {
public:
    SixtyFourKbRAM() = default;
    SixtyFourKbRAM(const SixtyFourKbRAM&) = delete;
    SixtyFourKbRAM& operator=(const SixtyFourKbRAM&) = delete;
    virtual ~SixtyFourKbRAM() = default;

    virtual void setVoltage(bool on) = 0;
    virtual void setWrite(bool on) = 0;
    virtual void setAddressBit0(bool on) = 0;
    virtual void setAddressBit1(bool on) = 0;
    virtual void setAddressBit2(bool on) = 0;
    virtual void setAddressBit3(bool on) = 0;
    virtual void setAddressBit4(bool on) = 0;
    virtual void setAddressBit5(bool on) = 0;
    virtual void setAddressBit6(bool on) = 0;
    virtual void setAddressBit7(bool on) = 0;
    virtual void setAddressBit8(bool on) = 0;
    virtual void setAddressBit9(bool on) = 0;
    virtual void setAddressBit10(bool on) = 0;
    virtual void setAddressBit11(bool on) = 0;
    virtual void setAddressBit12(bool on) = 0;
    virtual void setAddressBit13(bool on) = 0;
    virtual void setAddressBit14(bool on) = 0;
    virtual void setAddressBit15(bool on) = 0;
    virtual void setDataInBit0(bool on) = 0;
    virtual void setDataInBit1(bool on) = 0;
    virtual void setDataInBit2(bool on) = 0;
    virtual void setDataInBit3(bool on) = 0;
    virtual void setDataInBit4(bool on) = 0;
    virtual void setDataInBit5(bool on) = 0;
    virtual void setDataInBit6(bool on) = 0;
    virtual void setDataInBit7(bool on) = 0;
    virtual bool getDataOutBit0() = 0;
    virtual bool getDataOutBit1() = 0;
    virtual bool getDataOutBit2() = 0;
    virtual bool getDataOutBit3() = 0;
    virtual bool getDataOutBit4() = 0;
    virtual bool getDataOutBit5() = 0;
    virtual bool getDataOutBit6() = 0;
    virtual bool getDataOutBit7() = 0;
    virtual void step() = 0;

    // Whether this memory is built of relays (the tree or its lanes) rather
    // than the byte array: what a memory swap and a load's pace ask.
    virtual bool relayBuilt() const = 0;

    // The byte the memory holds at address, read where it is stored (the
    // cells' latches, for the relay-built memory) without a memory step and
    // without changing anything: what a read of that address would show.
    // For checks and tools; the machine itself only steps.
    virtual std::uint8_t peek(std::uint16_t address) const = 0;

    // Stepping back: everything the memory holds (its bytes or relays, its
    // lines and what its next step depends on) copied into state, and put
    // back from such a copy, so that the steps after a restore are the steps
    // after the save. A memory that keeps no copies returns false and leaves
    // everything as it was; restoreState also refuses a copy it did not make.
    virtual bool saveState(std::vector<std::uint8_t>& state) const {
        (void)state;
        return false;
    }
    virtual bool restoreState(const std::vector<std::uint8_t>& state) {
        (void)state;
        return false;
    }
};

}  // namespace tarnwick
