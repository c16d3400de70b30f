#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "memory/MemoryRelayPicture.h"
#include "memory/SixtyFourKbRAM.h"

namespace tarnwick {

// The relay-built memory with the same 10,280,899 relays as SixtyFourKilobyteRAM
// and the same state after every step, stepped level by level instead of
// depth first.
//
// Within one step the tree is a pure flow: write enables go down, data comes
// up, and siblings never see each other. So the level bodies' demultiplexers
// are stepped top down, then every block, then the output selectors bottom
// up. Inside a block the 64 cell columns are the same circuit with the same
// select lines: they are stored byte k of all 64 columns together and
// stepped side by side, 16, 32 or 64 columns per instruction.
//
// Every input of every relay is written in every step, either by another
// relay's contact or by one of the memory's lines, so a step computes each
// relay's new byte from its inputs alone; the only state carried from step
// to step is the latch of each cell, read back from its relays. The step is
// written out by hand for the lanes (the circuits' own steps, run on lane
// relays, take several times as long), with every relay position taken from
// the circuits' descriptions (relay/Circuit.h). The lines are held here and
// reach the relays at the next step, so a setter is one store whatever the
// number of relays on its line. A step whose lines are those of the steps
// before it changes no relay (see step()) and is skipped.
class RelayLaneRAM final : public SixtyFourKbRAM {
public:
    static constexpr std::size_t relayCount = 10'280'899;

    // How many columns one instruction steps: 16 with the baseline
    // instruction set, 32 with AVX2, 64 with AVX-512. Every width gives the
    // same relay states.
    enum class LaneWidth { Widest, Sse2, Avx2, Avx512 };
    static bool supports(LaneWidth width);

    // Steps with the given lanes, or the widest this processor offers up to
    // them. Throws std::bad_alloc, leaving nothing allocated, when storage is
    // short.
    explicit RelayLaneRAM(LaneWidth width = LaneWidth::Widest);
    LaneWidth lanes() const { return lanes_; }
    // The width a memory asked for the given lanes gets on this processor.
    static LaneWidth widthFor(LaneWidth asked);
    ~RelayLaneRAM() override;

    void setVoltage(bool on) override { voltage_ = on; }
    void setWrite(bool on) override { write_ = on; }
    void setAddressBit0(bool on) override { setAddressBit(0, on); }
    void setAddressBit1(bool on) override { setAddressBit(1, on); }
    void setAddressBit2(bool on) override { setAddressBit(2, on); }
    void setAddressBit3(bool on) override { setAddressBit(3, on); }
    void setAddressBit4(bool on) override { setAddressBit(4, on); }
    void setAddressBit5(bool on) override { setAddressBit(5, on); }
    void setAddressBit6(bool on) override { setAddressBit(6, on); }
    void setAddressBit7(bool on) override { setAddressBit(7, on); }
    void setAddressBit8(bool on) override { setAddressBit(8, on); }
    void setAddressBit9(bool on) override { setAddressBit(9, on); }
    void setAddressBit10(bool on) override { setAddressBit(10, on); }
    void setAddressBit11(bool on) override { setAddressBit(11, on); }
    void setAddressBit12(bool on) override { setAddressBit(12, on); }
    void setAddressBit13(bool on) override { setAddressBit(13, on); }
    void setAddressBit14(bool on) override { setAddressBit(14, on); }
    void setAddressBit15(bool on) override { setAddressBit(15, on); }
    void setDataInBit0(bool on) override { setDataInBit(0, on); }
    void setDataInBit1(bool on) override { setDataInBit(1, on); }
    void setDataInBit2(bool on) override { setDataInBit(2, on); }
    void setDataInBit3(bool on) override { setDataInBit(3, on); }
    void setDataInBit4(bool on) override { setDataInBit(4, on); }
    void setDataInBit5(bool on) override { setDataInBit(5, on); }
    void setDataInBit6(bool on) override { setDataInBit(6, on); }
    void setDataInBit7(bool on) override { setDataInBit(7, on); }
    bool getDataOutBit0() override { return dataOutBit(0); }
    bool getDataOutBit1() override { return dataOutBit(1); }
    bool getDataOutBit2() override { return dataOutBit(2); }
    bool getDataOutBit3() override { return dataOutBit(3); }
    bool getDataOutBit4() override { return dataOutBit(4); }
    bool getDataOutBit5() override { return dataOutBit(5); }
    bool getDataOutBit6() override { return dataOutBit(6); }
    bool getDataOutBit7() override { return dataOutBit(7); }
    void step() override;
    bool relayBuilt() const override { return true; }

    // Every relay byte, in the order in which SixtyFourKilobyteRAM holds them:
    // depth first through the tree, each part's relays in member order. out
    // takes relayCount bytes. The bytes are as the last step left them; lines
    // set since then are not in them yet.
    void copyRelayStates(std::uint8_t* out) const;

    // Counts the lit relays of every cell column, block and level body as
    // the last step left them, reading the relays where they are stored: for
    // a view between steps, at a fraction of a step's cost.
    void countLitRelays(MemoryRelayPicture& picture) const;

    std::uint8_t peek(std::uint16_t address) const override;
    // The whole relay store (about 10 MB) and the lines and skip record.
    bool saveState(std::vector<std::uint8_t>& state) const override;
    bool restoreState(const std::vector<std::uint8_t>& state) override;

    // Steps skipped so far because they could change no relay.
    std::uint64_t skippedSteps() const { return skippedSteps_; }

private:
    void setAddressBit(int line, bool on) {
        address_ =
            static_cast<std::uint16_t>((address_ & ~(1u << line)) | (static_cast<unsigned>(on) << line));
    }
    void setDataInBit(int line, bool on) {
        dataIn_ = static_cast<std::uint8_t>((dataIn_ & ~(1u << line)) | (static_cast<unsigned>(on) << line));
    }
    bool dataOutBit(int line) const { return ((dataOut_ >> line) & 1) != 0; }

    struct Storage;
    std::unique_ptr<Storage> storage_;
    LaneWidth lanes_;
    bool voltage_ = false;
    bool write_ = false;
    std::uint16_t address_ = 0;
    std::uint8_t dataIn_ = 0;
    std::uint8_t dataOut_ = 0;

    // The lines of the last step run, and how many steps in a row (up to 3)
    // have had the same lines.
    bool stepped_ = false;
    bool lastVoltage_ = false;
    bool lastWrite_ = false;
    std::uint16_t lastAddress_ = 0;
    std::uint8_t lastDataIn_ = 0;
    int sameLinesRun_ = 0;
    std::uint64_t skippedSteps_ = 0;
};

}  // namespace tarnwick
