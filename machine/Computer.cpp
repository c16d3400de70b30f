#include "machine/Computer.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "machine/MachineMap.h"
#include "memory/MemoryLines.h"

namespace tarnwick {

namespace {

std::uint8_t lampState(bool on) { return on ? 1 : 0; }

}  // namespace

Computer::Computer(bool startWithFastRam) : controlPanel_(startWithFastRam) {}

void Computer::runCycle() {
    std::scoped_lock lock(cycleLock_);
    for (std::size_t w = 0; w < watcherCount_; ++w) watchers_[w]->beforeCycle(*this);
    noteRelaysBefore();
    clockStep();
    phaseStep();
    counterStep();
    addressStep();
    memoryStep();
    latchStep();
    controlStep();
    arithmeticStep();
    for (std::size_t w = 0; w < watcherCount_; ++w) watchers_[w]->afterCycle(*this);
}

bool Computer::addCycleWatcher(CycleWatcher* watcher) {
    std::scoped_lock lock(cycleLock_);
    if (watcherCount_ == watchers_.size()) return false;
    watchers_[watcherCount_++] = watcher;
    return true;
}

void Computer::removeCycleWatcher(CycleWatcher* watcher) {
    std::scoped_lock lock(cycleLock_);
    auto* end = watchers_.begin() + watcherCount_;
    auto* found = std::find(watchers_.begin(), end, watcher);
    if (found == end) return;
    std::move(found + 1, end, found);
    --watcherCount_;
}

void Computer::distributePower(bool on) {
    std::scoped_lock lock(cycleLock_);
    noteInput();
    std::apply(
        [&](const auto&... circuit) {
            auto power = [&](const auto& c) {
                if (c.supply == Supply::rail) (this->*c.member.pointer).setVoltage(on);
            };
            (power(circuit), ...);
        },
        circuits());
}

void Computer::stepControlPanel() {
    std::scoped_lock lock(cycleLock_);
    noteInput();
    noteRelaysBefore();
    controlPanel_.step();
}

void Computer::applyPower() {
    distributePower(powerSwitch_.isOn());
    runCycle();
}

void Computer::loadByte(std::uint16_t address, std::uint8_t byte) {
    // Through the interface: GCC's bounds sanitizer mishandles a call through
    // a member-function pointer on an object of a final class.
    SixtyFourKbRAM& panel = controlPanel_;
    std::scoped_lock lock(cycleLock_);
    noteInput();
    noteRelaysBefore();
    for (int i = 0; i < 16; ++i) {
        const bool bit = ((address >> i) & 1) != 0;
        (panel.*addressLineSetters[i])(bit);
        addressLamps_[i].setState(lampState(bit));
    }
    applyDataIn(panel, byte);
    panel.setWrite(true);
    panel.step();
}

std::uint8_t Computer::readByte(std::uint16_t address) {
    SixtyFourKbRAM& panel = controlPanel_;
    std::scoped_lock lock(cycleLock_);
    noteInput();
    noteRelaysBefore();
    applyAddress(panel, address);
    panel.setWrite(false);
    panel.step();
    return readDataOut(panel);
}

void Computer::replaceMemory(bool fastRam) {
    std::scoped_lock lock(cycleLock_);
    noteInput();
    controlPanel_.replaceMemory(fastRam);
}

bool Computer::carryValue() const { return arithmeticUnit_.carry(); }
bool Computer::zeroValue() const { return arithmeticUnit_.zero(); }

std::unique_ptr<SixtyFourKbRAM> Computer::installMemory(std::unique_ptr<SixtyFourKbRAM> memory) {
    std::scoped_lock lock(cycleLock_);
    noteInput();
    return controlPanel_.installMemory(std::move(memory));
}

void Computer::copyState(MachineSnapshot& snapshot) {
    std::scoped_lock lock(cycleLock_);
    snapshot.programCounter = programCounterValue();
    snapshot.operand = operandValue();
    snapshot.code = codeValue();
    snapshot.accumulator = accumulatorValue();
    snapshot.zeroFlag = zeroFlagLamp_.isOn();
    snapshot.carryFlag = carryFlagLamp_.isOn();
    snapshot.clock = clockLamp_.isOn();
    snapshot.phase.reset();
    for (int k = 0; k < 4; ++k)
        if (phaseLamps_[k].isOn()) snapshot.phase = k;
    snapshot.powered = powerSwitch_.isOn();
    snapshot.memory = controlPanel_.memoryCopy();
    snapshot.memorySteps = controlPanel_.stepCount();
    controlPanel_.copyRecentWrites(snapshot.recentWrites);
}

bool Computer::cycleLockFree() {
    if (!cycleLock_.try_lock()) return false;
    cycleLock_.unlock();
    return true;
}

// ---- Stepping back ----

template <class Self, class F>
void Computer::forEachControl(Self& self, F&& f) {
    for (auto& lamp : self.addressLamps_) f(lamp);
    for (auto& lamp : self.phaseLamps_) f(lamp);
    f(self.clockLamp_);
    for (auto& lamp : self.accumulatorLamps_) f(lamp);
    for (auto& lamp : self.codeLamps_) f(lamp);
    for (auto& lamp : self.operandLamps_) f(lamp);
    f(self.zeroFlagLamp_);
    f(self.carryFlagLamp_);
    for (auto& lamp : self.controlPanel_.dataLamps) f(lamp);
    f(self.resetSwitch_);
    for (auto& control : self.controlPanel_.addressSwitches) f(control);
    for (auto& control : self.controlPanel_.dataSwitches) f(control);
    f(self.controlPanel_.writeSwitch);
    f(self.controlPanel_.takeoverSwitch);
}

bool Computer::captureState(State& state) const {
    const SixtyFourKbRAM& memory = controlPanel_.memory();
    if (!memory.saveState(state.memory)) return false;
    state.memoryInUse = &memory;
    state.lines = controlPanel_.appliedLines();
    const auto& relays = MachineMap::get().relays();
    state.relays.resize(relays.size());
    const auto* base = reinterpret_cast<const unsigned char*>(this);
    for (std::size_t i = 0; i < relays.size(); ++i) std::memcpy(&state.relays[i], base + relays[i].offset, 1);
    state.controls.clear();
    forEachControl(*this, [&](const PanelControl& c) { state.controls.push_back(c.state()); });
    return true;
}

bool Computer::restoreState(const State& state) {
    std::scoped_lock lock(cycleLock_);
    if (state.memoryInUse != &controlPanel_.memory()) return false;
    if (!controlPanel_.restoreState(state.memory)) return false;
    controlPanel_.restoreAppliedLines(state.lines);
    const auto& relays = MachineMap::get().relays();
    auto* base = reinterpret_cast<unsigned char*>(this);
    for (std::size_t i = 0; i < relays.size() && i < state.relays.size(); ++i)
        std::memcpy(base + relays[i].offset, &state.relays[i], 1);
    std::size_t k = 0;
    forEachControl(*this, [&](PanelControl& c) {
        if (k < state.controls.size()) c.setState(state.controls[k++]);
    });
    return true;
}

std::uint16_t Computer::programCounterValue() const {
    unsigned value = 0;
    for (int i = 0; i < 16; ++i) value |= unsigned{programCounter_.q(i)} << i;
    return static_cast<std::uint16_t>(value);
}

std::uint16_t Computer::operandValue() const {
    unsigned value = 0;
    for (int i = 0; i < 8; ++i) {
        value |= unsigned{lowOperand_.q(i)} << i;
        value |= unsigned{highOperand_.q(i)} << (i + 8);
    }
    return static_cast<std::uint16_t>(value);
}

std::uint8_t Computer::dataOut() {
    unsigned byte = unsigned{controlPanel_.getDataOutBit0()};
    byte |= unsigned{controlPanel_.getDataOutBit1()} << 1;
    byte |= unsigned{controlPanel_.getDataOutBit2()} << 2;
    byte |= unsigned{controlPanel_.getDataOutBit3()} << 3;
    byte |= unsigned{controlPanel_.getDataOutBit4()} << 4;
    byte |= unsigned{controlPanel_.getDataOutBit5()} << 5;
    byte |= unsigned{controlPanel_.getDataOutBit6()} << 6;
    byte |= unsigned{controlPanel_.getDataOutBit7()} << 7;
    return static_cast<std::uint8_t>(byte);
}

void Computer::clockStep() {
    clockStopGate_.setInput(0, decoder_.haltLine());
    clockStopGate_.setInput(1, resetSwitch_.isOn());
    clockStopGate_.step();
    clockOscillator_.setStop(clockStopGate_.output());
    clockOscillator_.step();
    clockLamp_.setState(lampState(clockOscillator_.clock()));
}

void Computer::phaseStep() {
    phaseResetGate_.setInput(0, resetSwitch_.isOn());
    phaseResetGate_.setInput(1, shortCycleGate_.output());
    phaseResetGate_.step();
    phaseSequencer_.setReset(phaseResetGate_.output());
    phaseSequencer_.setClock(clockOscillator_.clock());
    phaseSequencer_.step();
    for (int k = 0; k < 4; ++k) phaseLamps_[k].setState(lampState(phaseSequencer_.phase(k)));
}

void Computer::counterStep() {
    const bool reset = resetSwitch_.isOn();
    programCounter_.setClear(reset);
    highOperand_.setClear(reset);
    lowOperand_.setClear(reset);
    for (int i = 0; i < 8; ++i) {
        programCounter_.setLoadData(i, lowOperand_.q(i));
        programCounter_.setLoadData(i + 8, highOperand_.q(i));
    }

    jumpFlipFlop_.setPreset(reset);
    jumpFlipFlop_.setData(jumpConditionGate_.output());
    jumpFlipFlop_.setClock(phaseSequencer_.phase(3));
    // Cleared by the code strobe (as it stood at the end of the last cycle)
    // rather than by phase 1: one-byte instructions never reach phase 1, and
    // a flip-flop still set from a taken jump would otherwise resample the
    // jump's stale condition when the target's phase 3 begins and run the
    // target twice. For three-byte instructions both clear in the same cycle.
    // The strobe passes only while Reset is off: a one-cycle Reset right after
    // a code strobe would otherwise clear as it presets, leave the flip-flop
    // unset, and restart at 0001h.
    jumpClearRelay_.setVoltage(codeStrobe_.output());
    jumpClearRelay_.setCoil(reset);
    jumpClearRelay_.tick();
    jumpFlipFlop_.setClear(jumpClearRelay_.normallyClosed());
    jumpFlipFlop_.step();

    counterLoadGate_.setInput(0, jumpFlipFlop_.q());
    counterLoadGate_.setInput(1, phaseSequencer_.phase(0));
    counterLoadGate_.setInput(2, clockOscillator_.clock());
    counterLoadGate_.step();

    programCounter_.setLoad(counterLoadGate_.output());
    programCounter_.setClock(phaseSequencer_.countPulse());
    programCounter_.step();
}

void Computer::addressStep() {
    logicPairGateA_.setInput(0, decoder_.line<0x42>());
    logicPairGateA_.setInput(1, decoder_.line<0x40>());
    logicPairGateA_.step();
    logicPairGateB_.setInput(0, decoder_.line<0x41>());
    logicPairGateB_.setInput(1, decoder_.line<0x10>());
    logicPairGateB_.step();
    memoryReadGroupGate_.setInput(0, logicPairGateA_.output());
    memoryReadGroupGate_.setInput(1, logicPairGateB_.output());
    memoryReadGroupGate_.step();
    addressingGroupGate_.setInput(0, memoryReadGroupGate_.output());
    addressingGroupGate_.setInput(1, decoder_.line<0x11>());
    addressingGroupGate_.step();
    operandAccessGate_.setInput(0, addressingGroupGate_.output());
    operandAccessGate_.setInput(1, memoryLoadGate_.output());
    operandAccessGate_.step();
    operandAddressGate_.setInput(0, operandAccessGate_.output());
    operandAddressGate_.setInput(1, phaseSequencer_.phase(3));
    operandAddressGate_.step();

    addressSelector_.setSelect(operandAddressGate_.output());
    for (int i = 0; i < 8; ++i) {
        addressSelector_.setA(i, programCounter_.q(i));
        addressSelector_.setA(i + 8, programCounter_.q(i + 8));
        addressSelector_.setB(i, lowOperand_.q(i));
        addressSelector_.setB(i + 8, highOperand_.q(i));
    }
    addressSelector_.step();

    for (int i = 0; i < 16; ++i) addressBuffer_.setA(i, addressSelector_.output(i));
    addressBuffer_.step();

    for (int i = 0; i < 16; ++i) addressLamps_[i].setState(lampState(addressBuffer_.output(i)));
}

void Computer::memoryStep() {
    controlPanel_.setAddressBit0(addressBuffer_.output(0));
    controlPanel_.setAddressBit1(addressBuffer_.output(1));
    controlPanel_.setAddressBit2(addressBuffer_.output(2));
    controlPanel_.setAddressBit3(addressBuffer_.output(3));
    controlPanel_.setAddressBit4(addressBuffer_.output(4));
    controlPanel_.setAddressBit5(addressBuffer_.output(5));
    controlPanel_.setAddressBit6(addressBuffer_.output(6));
    controlPanel_.setAddressBit7(addressBuffer_.output(7));
    controlPanel_.setAddressBit8(addressBuffer_.output(8));
    controlPanel_.setAddressBit9(addressBuffer_.output(9));
    controlPanel_.setAddressBit10(addressBuffer_.output(10));
    controlPanel_.setAddressBit11(addressBuffer_.output(11));
    controlPanel_.setAddressBit12(addressBuffer_.output(12));
    controlPanel_.setAddressBit13(addressBuffer_.output(13));
    controlPanel_.setAddressBit14(addressBuffer_.output(14));
    controlPanel_.setAddressBit15(addressBuffer_.output(15));

    // The accumulator is offered to the memory in every cycle.
    controlPanel_.setDataInBit0(arithmeticUnit_.accumulatorBit(0));
    controlPanel_.setDataInBit1(arithmeticUnit_.accumulatorBit(1));
    controlPanel_.setDataInBit2(arithmeticUnit_.accumulatorBit(2));
    controlPanel_.setDataInBit3(arithmeticUnit_.accumulatorBit(3));
    controlPanel_.setDataInBit4(arithmeticUnit_.accumulatorBit(4));
    controlPanel_.setDataInBit5(arithmeticUnit_.accumulatorBit(5));
    controlPanel_.setDataInBit6(arithmeticUnit_.accumulatorBit(6));
    controlPanel_.setDataInBit7(arithmeticUnit_.accumulatorBit(7));

    // In the first cycle that reads Reset on, the store's code is still latched
    // and the ring is forced to phase 3: Reset must hold Write off itself.
    writeEnableRelay_.setVoltage(clockOscillator_.clockOff());
    writeEnableRelay_.setCoil(resetSwitch_.isOn());
    writeEnableRelay_.tick();
    writeGate_.setInput(0, decoder_.line<0x11>());
    writeGate_.setInput(1, writeEnableRelay_.normallyClosed());
    writeGate_.setInput(2, phaseSequencer_.phase(3));
    writeGate_.step();
    controlPanel_.setWrite(writeGate_.output());

    controlPanel_.step();
}

void Computer::latchStep() {
    const bool reset = resetSwitch_.isOn();
    const std::uint8_t data = dataOut();
    const bool clockOff = clockOscillator_.clockOff();

    codeStrobe_.setInput(0, phaseSequencer_.phase(0));
    codeStrobe_.setInput(1, clockOff);
    codeStrobe_.step();
    decoder_.setClear(reset);
    decoder_.setClock(codeStrobe_.output());
    for (int i = 0; i < 8; ++i) decoder_.setData(i, (data >> i) & 1);
    decoder_.step();
    for (int k = 0; k < 8; ++k) codeLamps_[k].setState(lampState(decoder_.q(7 - k)));

    highStrobe_.setInput(0, phaseSequencer_.phase(1));
    highStrobe_.setInput(1, clockOff);
    highStrobe_.step();
    highOperand_.setClear(reset);
    for (int i = 0; i < 8; ++i) highOperand_.setData(i, (data >> i) & 1);
    highOperand_.setClock(highStrobe_.output());
    highOperand_.step();

    lowStrobe_.setInput(0, phaseSequencer_.phase(2));
    lowStrobe_.setInput(1, clockOff);
    lowStrobe_.step();
    lowOperand_.setClear(reset);
    for (int i = 0; i < 8; ++i) lowOperand_.setData(i, (data >> i) & 1);
    lowOperand_.setClock(lowStrobe_.output());
    lowOperand_.step();

    for (int k = 0; k < 8; ++k) {
        operandLamps_[k].setState(lampState(highOperand_.q(7 - k)));
        operandLamps_[k + 8].setState(lampState(lowOperand_.q(7 - k)));
    }
}

void Computer::controlStep() {
    const bool clockOff = clockOscillator_.clockOff();
    const bool phase3 = phaseSequencer_.phase(3);
    const bool carry = arithmeticUnit_.carry();
    const bool zero = arithmeticUnit_.zero();

    shortCycleGate_.setInput(0, decoder_.oneByteLine());
    shortCycleGate_.setInput(1, phaseSequencer_.phase(0));
    shortCycleGate_.setInput(2, clockOff);
    shortCycleGate_.step();

    carryRelay_.setCoil(carry);
    carryRelay_.tick();
    jumpIfCarryGate_.setInput(0, carry);
    jumpIfCarryGate_.setInput(1, decoder_.line<0x32>());
    jumpIfCarryGate_.step();
    jumpIfNoCarryGate_.setInput(0, carryRelay_.normallyClosed());
    jumpIfNoCarryGate_.setInput(1, decoder_.line<0x34>());
    jumpIfNoCarryGate_.step();

    zeroRelay_.setCoil(zero);
    zeroRelay_.tick();
    jumpIfZeroGate_.setInput(0, zero);
    jumpIfZeroGate_.setInput(1, decoder_.line<0x31>());
    jumpIfZeroGate_.step();
    jumpIfNotZeroGate_.setInput(0, zeroRelay_.normallyClosed());
    jumpIfNotZeroGate_.setInput(1, decoder_.line<0x33>());
    jumpIfNotZeroGate_.step();

    loadGroupGate_.setInput(0, memoryReadGroupGate_.output());
    loadGroupGate_.setInput(1, decoder_.line<0x20>());
    loadGroupGate_.setInput(2, decoder_.line<0x21>());
    loadGroupGate_.step();
    memoryLoadGate_.setInput(0, loadGroupGate_.output());
    memoryLoadGate_.setInput(1, decoder_.line<0x22>());
    memoryLoadGate_.setInput(2, decoder_.line<0x23>());
    memoryLoadGate_.step();
    memoryLatchGate_.setInput(0, memoryLoadGate_.output());
    memoryLatchGate_.setInput(1, clockOff);
    memoryLatchGate_.setInput(2, phase3);
    memoryLatchGate_.step();

    shiftPairGateA_.setInput(0, decoder_.line<0x44>());
    shiftPairGateA_.setInput(1, decoder_.line<0x45>());
    shiftPairGateA_.step();
    shiftPairGateB_.setInput(0, decoder_.line<0x46>());
    shiftPairGateB_.setInput(1, decoder_.line<0x47>());
    shiftPairGateB_.step();
    shiftGroupGate_.setInput(0, shiftPairGateA_.output());
    shiftGroupGate_.setInput(1, shiftPairGateB_.output());
    shiftGroupGate_.step();
    shiftLatchGate_.setInput(0, shiftGroupGate_.output());
    shiftLatchGate_.setInput(1, clockOff);
    shiftLatchGate_.setInput(2, phase3);
    shiftLatchGate_.step();

    accumulatorClockGate_.setInput(0, memoryLatchGate_.output());
    accumulatorClockGate_.setInput(1, shiftLatchGate_.output());
    accumulatorClockGate_.step();

    jumpGroupGate_.setInput(0, decoder_.line<0x30>());
    jumpGroupGate_.setInput(1, jumpIfCarryGate_.output());
    jumpGroupGate_.setInput(2, jumpIfZeroGate_.output());
    jumpGroupGate_.step();
    jumpConditionGate_.setInput(0, jumpGroupGate_.output());
    jumpConditionGate_.setInput(1, jumpIfNoCarryGate_.output());
    jumpConditionGate_.setInput(2, jumpIfNotZeroGate_.output());
    jumpConditionGate_.step();
}

void Computer::arithmeticStep() {
    arithmeticUnit_.setClear(resetSwitch_.isOn());
    arithmeticUnit_.setCodeLine<0x10>(decoder_.line<0x10>());
    arithmeticUnit_.setCodeLine<0x20>(decoder_.line<0x20>());
    arithmeticUnit_.setCodeLine<0x21>(decoder_.line<0x21>());
    arithmeticUnit_.setCodeLine<0x22>(decoder_.line<0x22>());
    arithmeticUnit_.setCodeLine<0x23>(decoder_.line<0x23>());
    arithmeticUnit_.setCodeLine<0x40>(decoder_.line<0x40>());
    arithmeticUnit_.setCodeLine<0x41>(decoder_.line<0x41>());
    arithmeticUnit_.setCodeLine<0x42>(decoder_.line<0x42>());
    arithmeticUnit_.setCodeLine<0x44>(decoder_.line<0x44>());
    arithmeticUnit_.setCodeLine<0x45>(decoder_.line<0x45>());
    arithmeticUnit_.setCodeLine<0x46>(decoder_.line<0x46>());
    arithmeticUnit_.setCodeLine<0x47>(decoder_.line<0x47>());
    arithmeticUnit_.setAccumulatorClock(accumulatorClockGate_.output());
    const std::uint8_t data = dataOut();
    for (int i = 7; i >= 0; --i) arithmeticUnit_.setOperand(i, (data >> i) & 1);
    arithmeticUnit_.step();

    for (int k = 0; k < 8; ++k)
        accumulatorLamps_[k].setState(lampState(arithmeticUnit_.accumulatorBit(7 - k)));
    zeroFlagLamp_.setState(lampState(arithmeticUnit_.zero()));
    carryFlagLamp_.setState(lampState(arithmeticUnit_.carry()));
}

}  // namespace tarnwick
