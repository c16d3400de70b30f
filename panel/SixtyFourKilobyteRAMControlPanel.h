#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "memory/SixtyFourKbRAM.h"
#include "panel/PanelControl.h"
#include "relay/Circuit.h"
#include "relay/Selectors.h"

namespace tarnwick {

// Stands between the machine and its memory. While Takeover is off the memory
// receives the lines applied to this panel (by the machine or the loader);
// while it is on, the settings of the panel's own switches. The choice is made
// by 25 relay selectors, one per memory input line.
//
// Not locked: every caller steps it under the computer's cycle lock.
class SixtyFourKilobyteRAMControlPanel final : public SixtyFourKbRAM {
public:
    // Selector index of each memory input line.
    static constexpr int firstDataSelector = 16;
    static constexpr int writeSelector = 24;

    // Builds the relay-built memory, or the byte array when fastRam is true
    // (for callers that will never use the relay-built one).
    explicit SixtyFourKilobyteRAMControlPanel(bool startWithFastRam = false);
    ~SixtyFourKilobyteRAMControlPanel() override;

    void setVoltage(bool on) override {
        voltage_ = on;
        ram_->setVoltage(on);
        for (TwoWaySelector& selector : selectors) selector.setVoltage(on);
    }
    void setWrite(bool on) override { selectors[writeSelector].setA(on); }
    void setAddressBit0(bool on) override { selectors[0].setA(on); }
    void setAddressBit1(bool on) override { selectors[1].setA(on); }
    void setAddressBit2(bool on) override { selectors[2].setA(on); }
    void setAddressBit3(bool on) override { selectors[3].setA(on); }
    void setAddressBit4(bool on) override { selectors[4].setA(on); }
    void setAddressBit5(bool on) override { selectors[5].setA(on); }
    void setAddressBit6(bool on) override { selectors[6].setA(on); }
    void setAddressBit7(bool on) override { selectors[7].setA(on); }
    void setAddressBit8(bool on) override { selectors[8].setA(on); }
    void setAddressBit9(bool on) override { selectors[9].setA(on); }
    void setAddressBit10(bool on) override { selectors[10].setA(on); }
    void setAddressBit11(bool on) override { selectors[11].setA(on); }
    void setAddressBit12(bool on) override { selectors[12].setA(on); }
    void setAddressBit13(bool on) override { selectors[13].setA(on); }
    void setAddressBit14(bool on) override { selectors[14].setA(on); }
    void setAddressBit15(bool on) override { selectors[15].setA(on); }
    void setDataInBit0(bool on) override { selectors[firstDataSelector + 0].setA(on); }
    void setDataInBit1(bool on) override { selectors[firstDataSelector + 1].setA(on); }
    void setDataInBit2(bool on) override { selectors[firstDataSelector + 2].setA(on); }
    void setDataInBit3(bool on) override { selectors[firstDataSelector + 3].setA(on); }
    void setDataInBit4(bool on) override { selectors[firstDataSelector + 4].setA(on); }
    void setDataInBit5(bool on) override { selectors[firstDataSelector + 5].setA(on); }
    void setDataInBit6(bool on) override { selectors[firstDataSelector + 6].setA(on); }
    void setDataInBit7(bool on) override { selectors[firstDataSelector + 7].setA(on); }
    bool getDataOutBit0() override { return ram_->getDataOutBit0(); }
    bool getDataOutBit1() override { return ram_->getDataOutBit1(); }
    bool getDataOutBit2() override { return ram_->getDataOutBit2(); }
    bool getDataOutBit3() override { return ram_->getDataOutBit3(); }
    bool getDataOutBit4() override { return ram_->getDataOutBit4(); }
    bool getDataOutBit5() override { return ram_->getDataOutBit5(); }
    bool getDataOutBit6() override { return ram_->getDataOutBit6(); }
    bool getDataOutBit7() override { return ram_->getDataOutBit7(); }

    // One memory step through the selectors; the data lamps then show the
    // memory's output. The memory's inputs are level-held and a line of the
    // relay-built memory reaches every relay it drives, so a line is passed
    // on only when its level differs from what this memory last received
    // (a memory new to the panel receives all 25).
    void step() override;
    std::uint8_t peek(std::uint16_t address) const override { return ram_->peek(address); }
    bool relayBuilt() const override { return ram_->relayBuilt(); }
    // Whether the memory in use is the byte array. The memory is asked, so
    // this holds after any swap or installMemory.
    bool usesFastRam() const { return !ram_->relayBuilt(); }
    // The memory in use's state; the panel's own relays are the machine's.
    bool saveState(std::vector<std::uint8_t>& state) const override { return ram_->saveState(state); }
    // The copy of memory follows a restored state too.
    bool restoreState(const std::vector<std::uint8_t>& state) override {
        if (!ram_->restoreState(state)) return false;
        refreshCopy();
        return true;
    }
    // Which lines the memory in use last received from this panel: with the
    // memory's state, what the next step passes on.
    struct AppliedLines {
        bool applied = false;
        std::uint32_t lines = 0;
    };
    AppliedLines appliedLines() const { return {linesApplied_, appliedLines_}; }
    // The same lines read as the memory's pins: address, data in and Write.
    struct Lines {
        std::uint16_t address = 0;
        std::uint8_t dataIn = 0;
        bool write = false;
    };
    Lines lines() const {
        return {static_cast<std::uint16_t>(appliedLines_ & 0xFFFFu),
                static_cast<std::uint8_t>((appliedLines_ >> firstDataSelector) & 0xFFu),
                ((appliedLines_ >> writeSelector) & 1u) != 0};
    }
    void restoreAppliedLines(AppliedLines applied) {
        linesApplied_ = applied.applied;
        appliedLines_ = applied.lines;
    }

    // The memory swap: releases the memory in use and builds an empty one of
    // the asked kind (the byte array when fastRam is true). If the relay-built
    // memory cannot be built for lack of storage, a byte array takes its place:
    // callers ask usesFastRam() what they got.
    SixtyFourKbRAM& replaceMemory(bool fastRam);
    // Puts the given memory in place of the one in use and hands that one
    // back. The new memory receives all 25 lines at
    // its next step. For callers that bring a memory of their own.
    std::unique_ptr<SixtyFourKbRAM> installMemory(std::unique_ptr<SixtyFourKbRAM> memory);

    // The lowest and highest address a step has written (Write line on)
    // since forgetWrites or the last change of memory, if any. Any thread.
    struct WrittenSpan {
        std::uint16_t first = 0;
        std::uint16_t last = 0;
    };
    std::optional<WrittenSpan> writtenSpan() const;
    // Starts the span afresh. Any thread.
    void forgetWrites() { written_.store(noneWritten, std::memory_order_relaxed); }

    // The panel's copy of what the memory holds, kept by every step that
    // writes (the written address read back from the memory itself), every
    // unpowered step (which erases) and every change of memory. It lets a
    // view show all 64 KB of the relay-built memory without a memory step
    // per byte. Read under the same lock as step().
    const std::array<std::uint8_t, 0x10000>& memoryCopy() const { return copy_; }
    // Steps taken since the panel was built.
    std::uint64_t stepCount() const { return steps_; }
    // The last recentWriteCount writes, oldest first: the address and the
    // stepCount() of the step that wrote it.
    struct Write {
        std::uint16_t address = 0;
        std::uint64_t step = 0;
    };
    static constexpr std::size_t recentWriteCount = 256;
    void copyRecentWrites(std::vector<Write>& out) const;

    // The memory in use.
    SixtyFourKbRAM& memory() { return *ram_; }
    const SixtyFourKbRAM& memory() const { return *ram_; }

    std::array<IndicatorLamp, 8> dataLamps;
    std::array<ToggleSwitch, 16> addressSwitches;
    std::array<ToggleSwitch, 8> dataSwitches;
    ToggleSwitch writeSwitch;
    ToggleSwitch takeoverSwitch;
    std::array<TwoWaySelector, 25> selectors;

    // The relays are the selectors; the outputs are the lines the memory
    // receives and the data it shows.
    static constexpr auto members() {
        return std::make_tuple(TARNWICK_PART(SixtyFourKilobyteRAMControlPanel, selectors));
    }
    static constexpr auto outputs() {
        using P = SixtyFourKilobyteRAMControlPanel;
        return std::make_tuple(
            Output<P>{"address", 16, [](const P& p, int i) { return p.selectors[i].output(); }},
            Output<P>{"dataIn", 8,
                      [](const P& p, int i) { return p.selectors[firstDataSelector + i].output(); }},
            Output<P>{"write", 0, [](const P& p, int) { return p.selectors[writeSelector].output(); }},
            Output<P>{"dataOut", 8, [](const P& p, int i) { return p.dataLamps[i].isOn(); }});
    }

private:
    static std::unique_ptr<SixtyFourKbRAM> buildMemory(bool fastRam);
    void noteWrite(std::uint16_t address);
    // After a step: follow its effect on the memory in the copy.
    void followStep(bool write, std::uint16_t address);
    // The whole copy read afresh from a memory new to the panel.
    void refreshCopy();

    // The written span: first in the high half, last in the low half; first
    // above last means nothing written. Atomic because a save's default range
    // is read on the window thread while the simulation thread steps.
    static constexpr std::uint32_t noneWritten = 0xFFFF0000u;
    std::atomic<std::uint32_t> written_{noneWritten};

    std::unique_ptr<SixtyFourKbRAM> ram_;
    // The 25 lines last passed to the memory in use: bits 0 to 15 address,
    // 16 to 23 data, 24 Write. Void whenever the memory changes.
    bool linesApplied_ = false;
    std::uint32_t appliedLines_ = 0;

    bool voltage_ = false;  // the last setVoltage passed on
    // Some byte of the copy may be non-zero (an unpowered step must clear it).
    bool copyHoldsData_ = false;
    std::array<std::uint8_t, 0x10000> copy_{};
    std::uint64_t steps_ = 0;
    std::array<Write, recentWriteCount> recentWrites_{};
    std::size_t nextWrite_ = 0;  // ring index of the oldest entry once full
    std::size_t writesKept_ = 0;
};

}  // namespace tarnwick
