#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "machine/ArithmeticUnit.h"
#include "machine/ClockOscillator.h"
#include "machine/InstructionDecoder.h"
#include "machine/MachineSnapshot.h"
#include "machine/PhaseSequencer.h"
#include "machine/RelaySnapshot.h"
#include "machine/Section.h"
#include "panel/PanelControl.h"
#include "panel/SixtyFourKilobyteRAMControlPanel.h"
#include "relay/Circuit.h"
#include "relay/Counters.h"
#include "relay/Gates.h"
#include "relay/Relay.h"
#include "relay/Selectors.h"
#include "relay/Storage.h"

namespace tarnwick {

// The simulated relay computer: its front-panel lamps and switches and its
// 43 circuits. One machine cycle steps eight sections in a fixed order; a
// section reads what earlier sections of the same cycle produced and what
// later sections produced in the previous cycle, and that is the timing.
class Computer {
public:
    // Relay ticks in one cycle, the same whatever the program: every circuit
    // is stepped once in a fixed order. The program counter's sixteen passes
    // take 11,264 of them and the RAM control panel's selectors 175. The
    // memory's own step adds relayMemoryTicksPerStep, or none for the byte array.
    static constexpr std::uint64_t relayTicksPerCycle = 13'789;

    // The relay-built memory, or the byte array when startWithFastRam is true.
    explicit Computer(bool startWithFastRam = false);

    // One machine cycle: the eight sections in order. Takes the cycle lock.
    void runCycle();
    // Sets the supply of every circuit and of the memory; steps nothing. Takes
    // the cycle lock, since a running cycle reads the same relay inputs.
    void distributePower(bool on);
    // One step of the RAM control panel alone (Takeover, the address timer,
    // Write), under the cycle lock.
    void stepControlPanel();
    // The machine's side of the Power command: every circuit powered with the
    // Power switch's state, then one cycle.
    void applyPower();

    // One memory step through the control panel that writes byte at address,
    // the address lamps following the address lines: what the loader does
    // for each address. Under the cycle lock.
    void loadByte(std::uint16_t address, std::uint8_t byte);
    // One memory step through the control panel with Write off; the byte the
    // memory shows. Under the cycle lock.
    std::uint8_t readByte(std::uint16_t address);

    // The memory swap, under the cycle lock: an empty memory of the asked
    // kind. The byte array stands in when the relay-built memory cannot be
    // had; usesFastRam() says which was built.
    void replaceMemory(bool fastRam);
    // Puts the given memory in use, under the cycle lock; returns the old.
    std::unique_ptr<SixtyFourKbRAM> installMemory(std::unique_ptr<SixtyFourKbRAM> memory);

    // Copies what the debugging views show, under the cycle lock: a few
    // microseconds for the 64 KB, never a memory step.
    void copyState(MachineSnapshot& snapshot);
    // Told of every machine cycle, under the cycle lock, on whichever thread
    // runs it: before its first section steps (the step history) and after
    // its last (a recorder of signals).
    class CycleWatcher {
    public:
        virtual void beforeCycle(const Computer& computer) { (void)computer; }
        virtual void afterCycle(const Computer& computer) { (void)computer; }

    protected:
        ~CycleWatcher() = default;
    };
    static constexpr std::size_t maxCycleWatchers = 4;
    // Both take the cycle lock, so once removeCycleWatcher returns no cycle
    // calls the watcher. Adding fails (false) when maxCycleWatchers watch.
    bool addCycleWatcher(CycleWatcher* watcher);
    void removeCycleWatcher(CycleWatcher* watcher);

    // For tests: whether the cycle lock is free at this moment.
    bool cycleLockFree();

    // ---- Stepping back: the whole machine as data, and a look at every cycle ----

    // Everything the next cycles depend on or show: every relay of the map
    // (processor and control panel), the lamps, the Reset switch and the
    // control panel's switches, the lines the memory last received and the
    // memory's own state. Power and Pause are left out: they decide whether
    // cycles run, not what a cycle does.
    struct State {
        std::vector<std::uint8_t> relays;    // MachineMap::relays() order
        std::vector<std::uint8_t> controls;  // lamps, then the switches above
        SixtyFourKilobyteRAMControlPanel::AppliedLines lines;
        std::vector<std::uint8_t> memory;
        const SixtyFourKbRAM* memoryInUse = nullptr;  // which memory the state is of
    };
    // Copies the state; false when the memory in use keeps no copies. Call
    // with no cycle running (a CycleWatcher is called at such a moment).
    bool captureState(State& state) const;
    // Puts a captured state back, under the cycle lock; lamps and switches
    // repaint as they change. False, changing nothing, when the state is of
    // another memory than the one in use.
    bool restoreState(const State& state);

    // Counts everything but cycles that steps a relay or the memory: power
    // distributed, control-panel steps, bytes loaded or read, a memory swap.
    std::uint64_t inputsApplied() const { return inputs_.load(std::memory_order_acquire); }

    // For views of the relays (machine/RelaySnapshot.cpp). Copies every
    // relay of the map, every signal's value and, when withMemory is set and
    // the relay-built memory is in use, its picture, all under the cycle
    // lock; the caller paints from the copy without it.
    void copyRelays(RelaySnapshot& snapshot, bool withMemory);
    // While on, every cycle and control-panel step first copies the relays
    // it is about to change, so a snapshot can show what the step changed.
    void keepRelaysBeforeStep(bool on) { keepRelaysBefore_.store(on, std::memory_order_relaxed); }

    // Register values, read straight from the relays.
    std::uint16_t programCounterValue() const;
    std::uint16_t operandValue() const;
    std::uint8_t codeValue() const { return decoder_.value(); }
    std::uint8_t accumulatorValue() const { return arithmeticUnit_.accumulatorValue(); }

    // The carry and zero flags, read from the arithmetic unit's relays.
    bool carryValue() const;
    bool zeroValue() const;
    // Whether the code strobe passed in the last cycle: the cycle that
    // latched an instruction's code.
    bool codeStrobed() const { return codeStrobe_.output(); }

    // The front-panel lamps the cycles light, and the switches the user
    // works. Lamps and switches may be attached to a window from any thread.
    // Lamp k is address bit k.
    std::array<IndicatorLamp, 16>& addressLamps() { return addressLamps_; }
    const std::array<IndicatorLamp, 16>& addressLamps() const { return addressLamps_; }
    // Lamp k is phase k.
    std::array<IndicatorLamp, 4>& phaseLamps() { return phaseLamps_; }
    const std::array<IndicatorLamp, 4>& phaseLamps() const { return phaseLamps_; }
    IndicatorLamp& clockLamp() { return clockLamp_; }
    const IndicatorLamp& clockLamp() const { return clockLamp_; }
    // Lamp k is accumulator bit 7 - k (bit 7 leftmost).
    std::array<IndicatorLamp, 8>& accumulatorLamps() { return accumulatorLamps_; }
    const std::array<IndicatorLamp, 8>& accumulatorLamps() const { return accumulatorLamps_; }
    // Lamp k is code register bit 7 - k.
    std::array<IndicatorLamp, 8>& codeLamps() { return codeLamps_; }
    const std::array<IndicatorLamp, 8>& codeLamps() const { return codeLamps_; }
    // Lamps 0 to 7: high operand bits 7 to 0; lamps 8 to 15: low operand bits 7 to 0.
    std::array<IndicatorLamp, 16>& operandLamps() { return operandLamps_; }
    const std::array<IndicatorLamp, 16>& operandLamps() const { return operandLamps_; }
    IndicatorLamp& zeroFlagLamp() { return zeroFlagLamp_; }
    const IndicatorLamp& zeroFlagLamp() const { return zeroFlagLamp_; }
    IndicatorLamp& carryFlagLamp() { return carryFlagLamp_; }
    const IndicatorLamp& carryFlagLamp() const { return carryFlagLamp_; }
    ToggleSwitch& powerSwitch() { return powerSwitch_; }
    const ToggleSwitch& powerSwitch() const { return powerSwitch_; }
    ToggleSwitch& resetSwitch() { return resetSwitch_; }
    const ToggleSwitch& resetSwitch() const { return resetSwitch_; }
    ToggleSwitch& pauseSwitch() { return pauseSwitch_; }
    const ToggleSwitch& pauseSwitch() const { return pauseSwitch_; }

    // The RAM control panel: its own switches and data lamps, the memory in
    // use behind it, and the lines it last gave that memory.
    SixtyFourKilobyteRAMControlPanel& controlPanel() { return controlPanel_; }
    const SixtyFourKilobyteRAMControlPanel& controlPanel() const { return controlPanel_; }
    // Whether the memory in use is the byte array; the memory itself says.
    bool usesFastRam() const { return controlPanel_.usesFastRam(); }

    // Every circuit of the computer once: its section, in runCycle's order,
    // and within a section in the order its step uses them. The machine's
    // map (MachineMap.h) and distributePower are derived from it.
    static constexpr auto circuits() {
        return std::make_tuple(
            SectionMember{Section::clock, TARNWICK_PART(Computer, clockStopGate_)},
            SectionMember{Section::clock, TARNWICK_PART(Computer, clockOscillator_)},
            SectionMember{Section::phases, TARNWICK_PART(Computer, phaseResetGate_)},
            SectionMember{Section::phases, TARNWICK_PART(Computer, phaseSequencer_)},
            SectionMember{Section::counter, TARNWICK_PART(Computer, jumpClearRelay_), Supply::contact},
            SectionMember{Section::counter, TARNWICK_PART(Computer, jumpFlipFlop_)},
            SectionMember{Section::counter, TARNWICK_PART(Computer, counterLoadGate_)},
            SectionMember{Section::counter, TARNWICK_PART(Computer, programCounter_)},
            SectionMember{Section::addressing, TARNWICK_PART(Computer, logicPairGateA_)},
            SectionMember{Section::addressing, TARNWICK_PART(Computer, logicPairGateB_)},
            SectionMember{Section::addressing, TARNWICK_PART(Computer, memoryReadGroupGate_)},
            SectionMember{Section::addressing, TARNWICK_PART(Computer, addressingGroupGate_)},
            SectionMember{Section::addressing, TARNWICK_PART(Computer, operandAccessGate_)},
            SectionMember{Section::addressing, TARNWICK_PART(Computer, operandAddressGate_)},
            SectionMember{Section::addressing, TARNWICK_PART(Computer, addressSelector_)},
            SectionMember{Section::addressing, TARNWICK_PART(Computer, addressBuffer_)},
            SectionMember{Section::memory, TARNWICK_PART(Computer, writeEnableRelay_), Supply::contact},
            SectionMember{Section::memory, TARNWICK_PART(Computer, writeGate_)},
            SectionMember{Section::memory, TARNWICK_PART(Computer, controlPanel_)},
            SectionMember{Section::registers, TARNWICK_PART(Computer, codeStrobe_)},
            SectionMember{Section::registers, TARNWICK_PART(Computer, decoder_)},
            SectionMember{Section::registers, TARNWICK_PART(Computer, highStrobe_)},
            SectionMember{Section::registers, TARNWICK_PART(Computer, highOperand_)},
            SectionMember{Section::registers, TARNWICK_PART(Computer, lowStrobe_)},
            SectionMember{Section::registers, TARNWICK_PART(Computer, lowOperand_)},
            SectionMember{Section::control, TARNWICK_PART(Computer, shortCycleGate_)},
            SectionMember{Section::control, TARNWICK_PART(Computer, carryRelay_)},
            SectionMember{Section::control, TARNWICK_PART(Computer, jumpIfCarryGate_)},
            SectionMember{Section::control, TARNWICK_PART(Computer, jumpIfNoCarryGate_)},
            SectionMember{Section::control, TARNWICK_PART(Computer, zeroRelay_)},
            SectionMember{Section::control, TARNWICK_PART(Computer, jumpIfZeroGate_)},
            SectionMember{Section::control, TARNWICK_PART(Computer, jumpIfNotZeroGate_)},
            SectionMember{Section::control, TARNWICK_PART(Computer, loadGroupGate_)},
            SectionMember{Section::control, TARNWICK_PART(Computer, memoryLoadGate_)},
            SectionMember{Section::control, TARNWICK_PART(Computer, memoryLatchGate_)},
            SectionMember{Section::control, TARNWICK_PART(Computer, shiftPairGateA_)},
            SectionMember{Section::control, TARNWICK_PART(Computer, shiftPairGateB_)},
            SectionMember{Section::control, TARNWICK_PART(Computer, shiftGroupGate_)},
            SectionMember{Section::control, TARNWICK_PART(Computer, shiftLatchGate_)},
            SectionMember{Section::control, TARNWICK_PART(Computer, accumulatorClockGate_)},
            SectionMember{Section::control, TARNWICK_PART(Computer, jumpGroupGate_)},
            SectionMember{Section::control, TARNWICK_PART(Computer, jumpConditionGate_)},
            SectionMember{Section::arithmetic, TARNWICK_PART(Computer, arithmeticUnit_)});
    }

private:
    // The front panel's lamps and switches, in the order the panel shows them.
    std::array<IndicatorLamp, 16> addressLamps_;
    // Lamp k is phase k.
    std::array<IndicatorLamp, 4> phaseLamps_;
    IndicatorLamp clockLamp_;
    // Lamp k is accumulator bit 7 - k (bit 7 leftmost).
    std::array<IndicatorLamp, 8> accumulatorLamps_;
    // Lamp k is code register bit 7 - k.
    std::array<IndicatorLamp, 8> codeLamps_;
    // Lamps 0 to 7: high operand bits 7 to 0; lamps 8 to 15: low operand bits 7 to 0.
    std::array<IndicatorLamp, 16> operandLamps_;
    IndicatorLamp zeroFlagLamp_;
    IndicatorLamp carryFlagLamp_;
    ToggleSwitch powerSwitch_;
    ToggleSwitch resetSwitch_;
    ToggleSwitch pauseSwitch_;

    TwoInputOrGate clockStopGate_;
    ClockOscillator clockOscillator_;
    PhaseSequencer phaseSequencer_;
    SixteenBitCounter programCounter_;
    SixteenBitSelector addressSelector_;
    SixteenBitSelector addressBuffer_;
    SixtyFourKilobyteRAMControlPanel controlPanel_;
    TwoInputOrGate operandAccessGate_;
    TwoInputAndGate operandAddressGate_;
    TwoInputAndGate codeStrobe_;
    TwoInputAndGate highStrobe_;
    EightBitRegister highOperand_;
    TwoInputAndGate lowStrobe_;
    EightBitRegister lowOperand_;
    InstructionDecoder decoder_;
    ThreeInputAndGate shortCycleGate_;
    TwoInputOrGate phaseResetGate_;
    // Supply from clockOff, coil from Reset: Write only while the clock is off
    // and Reset is off, so Reset in the middle of a store writes nothing.
    Relay writeEnableRelay_;
    ThreeInputAndGate writeGate_;
    ThreeInputOrGate loadGroupGate_;
    ThreeInputOrGate memoryLoadGate_;
    TwoInputOrGate logicPairGateA_;
    TwoInputOrGate logicPairGateB_;
    TwoInputOrGate memoryReadGroupGate_;
    TwoInputOrGate addressingGroupGate_;
    TwoInputOrGate shiftPairGateA_;
    TwoInputOrGate shiftPairGateB_;
    TwoInputOrGate shiftGroupGate_;
    ThreeInputAndGate memoryLatchGate_;
    ThreeInputAndGate shiftLatchGate_;
    TwoInputOrGate accumulatorClockGate_;
    // Supply from codeStrobe_, coil from Reset: clears jumpFlipFlop_ only while
    // Reset is off, so a one-cycle Reset still restarts at 0000h.
    Relay jumpClearRelay_;
    SixNorFlipFlop jumpFlipFlop_;
    ThreeInputOrGate jumpGroupGate_;
    ThreeInputOrGate jumpConditionGate_;
    ThreeInputAndGate counterLoadGate_;
    Relay carryRelay_;
    Relay zeroRelay_;
    TwoInputAndGate jumpIfZeroGate_;
    TwoInputAndGate jumpIfCarryGate_;
    TwoInputAndGate jumpIfNotZeroGate_;
    TwoInputAndGate jumpIfNoCarryGate_;
    ArithmeticUnit arithmeticUnit_;

    // Held around every machine cycle and every memory step, on whichever
    // thread runs it. Never held while waiting for another thread.
    std::mutex cycleLock_;
    // Guarded by cycleLock_.
    std::array<CycleWatcher*, maxCycleWatchers> watchers_{};
    std::size_t watcherCount_ = 0;
    std::atomic<std::uint64_t> inputs_{0};
    void noteInput() { inputs_.fetch_add(1, std::memory_order_acq_rel); }
    // The lamps and restored switches in State::controls order.
    template <class Self, class F>
    static void forEachControl(Self& self, F&& f);

    void clockStep();
    void phaseStep();
    void counterStep();
    void addressStep();
    void memoryStep();
    void latchStep();
    void controlStep();
    void arithmeticStep();

    // The relays before the last step, kept for copyRelays (RelaySnapshot.cpp).
    std::atomic<bool> keepRelaysBefore_{false};
    std::uint64_t relaySteps_ = 0;
    std::vector<std::uint8_t> relaysBefore_;
    // Called under the cycle lock at the start of every step of the relays.
    void noteRelaysBefore();

    // Memory data-out, read once by each section that needs it.
    std::uint8_t dataOut();
};

}  // namespace tarnwick
