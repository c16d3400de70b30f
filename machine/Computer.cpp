#include "machine/Computer.h"

#include <cstring>
#include <utility>

#include "machine/MachineMap.h"
#include "memory/MemoryLines.h"

namespace tarnwick {

namespace {

std::uint8_t lampState(bool on) { return on ? 1 : 0; }

}  // namespace

Computer::Computer(bool startWithFastRam) : controlPanel(startWithFastRam) {}

void Computer::runCycle() {
    std::scoped_lock lock(cycleLock_);
    if (CycleWatcher* watcher = watcher_.load(std::memory_order_acquire)) watcher->beforeCycle(*this);
    noteRelaysBefore();
    clockStep();
    phaseStep();
    counterStep();
    addressStep();
    memoryStep();
    latchStep();
    controlStep();
    arithmeticStep();
    if (cycleObserver_) cycleObserver_(*this);
}

void Computer::setCycleObserver(CycleObserver observer) {
    std::scoped_lock lock(cycleLock_);
    cycleObserver_ = std::move(observer);
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
    controlPanel.step();
}

void Computer::applyPower() {
    distributePower(powerSwitch.isOn());
    runCycle();
}

void Computer::loadByte(std::uint16_t address, std::uint8_t byte) {
    // Through the interface: GCC's bounds sanitizer mishandles a call through
    // a member-function pointer on an object of a final class.
    SixtyFourKbRAM& panel = controlPanel;
    std::scoped_lock lock(cycleLock_);
    noteInput();
    noteRelaysBefore();
    for (int i = 0; i < 16; ++i) {
        const bool bit = ((address >> i) & 1) != 0;
        (panel.*addressLineSetters[i])(bit);
        addressLamps[i].setState(lampState(bit));
    }
    applyDataIn(panel, byte);
    panel.setWrite(true);
    panel.step();
}

std::uint8_t Computer::readByte(std::uint16_t address) {
    SixtyFourKbRAM& panel = controlPanel;
    std::scoped_lock lock(cycleLock_);
    noteInput();
    noteRelaysBefore();
    applyAddress(panel, address);
    panel.setWrite(false);
    panel.step();
    return readDataOut(panel);
}

bool Computer::replaceMemory(bool fastRam) {
    std::scoped_lock lock(cycleLock_);
    noteInput();
    controlPanel.replaceMemory(fastRam);
    return controlPanel.fastRam;
}

std::unique_ptr<SixtyFourKbRAM> Computer::installMemory(std::unique_ptr<SixtyFourKbRAM> memory) {
    std::scoped_lock lock(cycleLock_);
    noteInput();
    return controlPanel.installMemory(std::move(memory));
}

void Computer::copyState(MachineSnapshot& snapshot) {
    std::scoped_lock lock(cycleLock_);
    snapshot.programCounter = programCounterValue();
    snapshot.operand = operandValue();
    snapshot.code = codeValue();
    snapshot.accumulator = accumulatorValue();
    snapshot.zeroFlag = zeroFlagLamp.isOn();
    snapshot.carryFlag = carryFlagLamp.isOn();
    snapshot.clock = clockLamp.isOn();
    snapshot.phase.reset();
    for (int k = 0; k < 4; ++k)
        if (phaseLamps[k].isOn()) snapshot.phase = k;
    snapshot.powered = powerSwitch.isOn();
    snapshot.memory = controlPanel.memoryCopy();
    snapshot.memorySteps = controlPanel.stepCount();
    controlPanel.copyRecentWrites(snapshot.recentWrites);
}

bool Computer::cycleLockFree() {
    if (!cycleLock_.try_lock()) return false;
    cycleLock_.unlock();
    return true;
}

// ---- Stepping back ----

template <class Self, class F>
void Computer::forEachControl(Self& self, F&& f) {
    for (auto& lamp : self.addressLamps) f(lamp);
    for (auto& lamp : self.phaseLamps) f(lamp);
    f(self.clockLamp);
    for (auto& lamp : self.accumulatorLamps) f(lamp);
    for (auto& lamp : self.codeLamps) f(lamp);
    for (auto& lamp : self.operandLamps) f(lamp);
    f(self.zeroFlagLamp);
    f(self.carryFlagLamp);
    for (auto& lamp : self.controlPanel.dataLamps) f(lamp);
    f(self.resetSwitch);
    for (auto& control : self.controlPanel.addressSwitches) f(control);
    for (auto& control : self.controlPanel.dataSwitches) f(control);
    f(self.controlPanel.writeSwitch);
    f(self.controlPanel.takeoverSwitch);
}

bool Computer::captureState(State& state) const {
    const SixtyFourKbRAM& memory = controlPanel.memory();
    if (!memory.saveState(state.memory)) return false;
    state.memoryInUse = &memory;
    state.lines = controlPanel.appliedLines();
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
    if (state.memoryInUse != &controlPanel.memory()) return false;
    if (!controlPanel.restoreState(state.memory)) return false;
    controlPanel.restoreAppliedLines(state.lines);
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
    for (int i = 0; i < 16; ++i) value |= unsigned{programCounter.q(i)} << i;
    return static_cast<std::uint16_t>(value);
}

std::uint16_t Computer::operandValue() const {
    unsigned value = 0;
    for (int i = 0; i < 8; ++i) {
        value |= unsigned{lowOperand.q(i)} << i;
        value |= unsigned{highOperand.q(i)} << (i + 8);
    }
    return static_cast<std::uint16_t>(value);
}

std::uint8_t Computer::dataOut() {
    unsigned byte = unsigned{controlPanel.getDataOutBit0()};
    byte |= unsigned{controlPanel.getDataOutBit1()} << 1;
    byte |= unsigned{controlPanel.getDataOutBit2()} << 2;
    byte |= unsigned{controlPanel.getDataOutBit3()} << 3;
    byte |= unsigned{controlPanel.getDataOutBit4()} << 4;
    byte |= unsigned{controlPanel.getDataOutBit5()} << 5;
    byte |= unsigned{controlPanel.getDataOutBit6()} << 6;
    byte |= unsigned{controlPanel.getDataOutBit7()} << 7;
    return static_cast<std::uint8_t>(byte);
}

void Computer::clockStep() {
    clockStopGate.setInput(0, decoder.haltLine());
    clockStopGate.setInput(1, resetSwitch.isOn());
    clockStopGate.step();
    clockOscillator.setStop(clockStopGate.output());
    clockOscillator.step();
    clockLamp.setState(lampState(clockOscillator.clock()));
}

void Computer::phaseStep() {
    phaseResetGate.setInput(0, resetSwitch.isOn());
    phaseResetGate.setInput(1, shortCycleGate.output());
    phaseResetGate.step();
    phaseSequencer.setReset(phaseResetGate.output());
    phaseSequencer.setClock(clockOscillator.clock());
    phaseSequencer.step();
    for (int k = 0; k < 4; ++k) phaseLamps[k].setState(lampState(phaseSequencer.phase(k)));
}

void Computer::counterStep() {
    const bool reset = resetSwitch.isOn();
    programCounter.setClear(reset);
    highOperand.setClear(reset);
    lowOperand.setClear(reset);
    for (int i = 0; i < 8; ++i) {
        programCounter.setLoadData(i, lowOperand.q(i));
        programCounter.setLoadData(i + 8, highOperand.q(i));
    }

    jumpFlipFlop.setPreset(reset);
    jumpFlipFlop.setData(jumpConditionGate.output());
    jumpFlipFlop.setClock(phaseSequencer.phase(3));
    // Cleared by the code strobe (as it stood at the end of the last cycle)
    // rather than by phase 1: one-byte instructions never reach phase 1, and
    // a flip-flop still set from a taken jump would otherwise resample the
    // jump's stale condition when the target's phase 3 begins and run the
    // target twice. For three-byte instructions both clear in the same cycle.
    // The strobe passes only while Reset is off: a one-cycle Reset right after
    // a code strobe would otherwise clear as it presets, leave the flip-flop
    // unset, and restart at 0001h.
    jumpClearRelay.setVoltage(codeStrobe.output());
    jumpClearRelay.setCoil(reset);
    jumpClearRelay.tick();
    jumpFlipFlop.setClear(jumpClearRelay.normallyClosed());
    jumpFlipFlop.step();

    counterLoadGate.setInput(0, jumpFlipFlop.q());
    counterLoadGate.setInput(1, phaseSequencer.phase(0));
    counterLoadGate.setInput(2, clockOscillator.clock());
    counterLoadGate.step();

    programCounter.setLoad(counterLoadGate.output());
    programCounter.setClock(phaseSequencer.countPulse());
    programCounter.step();
}

void Computer::addressStep() {
    logicPairGateA.setInput(0, decoder.line<0x42>());
    logicPairGateA.setInput(1, decoder.line<0x40>());
    logicPairGateA.step();
    logicPairGateB.setInput(0, decoder.line<0x41>());
    logicPairGateB.setInput(1, decoder.line<0x10>());
    logicPairGateB.step();
    memoryReadGroupGate.setInput(0, logicPairGateA.output());
    memoryReadGroupGate.setInput(1, logicPairGateB.output());
    memoryReadGroupGate.step();
    addressingGroupGate.setInput(0, memoryReadGroupGate.output());
    addressingGroupGate.setInput(1, decoder.line<0x11>());
    addressingGroupGate.step();
    operandAccessGate.setInput(0, addressingGroupGate.output());
    operandAccessGate.setInput(1, memoryLoadGate.output());
    operandAccessGate.step();
    operandAddressGate.setInput(0, operandAccessGate.output());
    operandAddressGate.setInput(1, phaseSequencer.phase(3));
    operandAddressGate.step();

    addressSelector.setSelect(operandAddressGate.output());
    for (int i = 0; i < 8; ++i) {
        addressSelector.setA(i, programCounter.q(i));
        addressSelector.setA(i + 8, programCounter.q(i + 8));
        addressSelector.setB(i, lowOperand.q(i));
        addressSelector.setB(i + 8, highOperand.q(i));
    }
    addressSelector.step();

    for (int i = 0; i < 16; ++i) addressBuffer.setA(i, addressSelector.output(i));
    addressBuffer.step();

    for (int i = 0; i < 16; ++i) addressLamps[i].setState(lampState(addressBuffer.output(i)));
}

void Computer::memoryStep() {
    controlPanel.setAddressBit0(addressBuffer.output(0));
    controlPanel.setAddressBit1(addressBuffer.output(1));
    controlPanel.setAddressBit2(addressBuffer.output(2));
    controlPanel.setAddressBit3(addressBuffer.output(3));
    controlPanel.setAddressBit4(addressBuffer.output(4));
    controlPanel.setAddressBit5(addressBuffer.output(5));
    controlPanel.setAddressBit6(addressBuffer.output(6));
    controlPanel.setAddressBit7(addressBuffer.output(7));
    controlPanel.setAddressBit8(addressBuffer.output(8));
    controlPanel.setAddressBit9(addressBuffer.output(9));
    controlPanel.setAddressBit10(addressBuffer.output(10));
    controlPanel.setAddressBit11(addressBuffer.output(11));
    controlPanel.setAddressBit12(addressBuffer.output(12));
    controlPanel.setAddressBit13(addressBuffer.output(13));
    controlPanel.setAddressBit14(addressBuffer.output(14));
    controlPanel.setAddressBit15(addressBuffer.output(15));

    // The accumulator is offered to the memory in every cycle.
    controlPanel.setDataInBit0(arithmeticUnit.accumulatorBit(0));
    controlPanel.setDataInBit1(arithmeticUnit.accumulatorBit(1));
    controlPanel.setDataInBit2(arithmeticUnit.accumulatorBit(2));
    controlPanel.setDataInBit3(arithmeticUnit.accumulatorBit(3));
    controlPanel.setDataInBit4(arithmeticUnit.accumulatorBit(4));
    controlPanel.setDataInBit5(arithmeticUnit.accumulatorBit(5));
    controlPanel.setDataInBit6(arithmeticUnit.accumulatorBit(6));
    controlPanel.setDataInBit7(arithmeticUnit.accumulatorBit(7));

    // In the first cycle that reads Reset on, the store's code is still latched
    // and the ring is forced to phase 3: Reset must hold Write off itself.
    writeEnableRelay.setVoltage(clockOscillator.clockOff());
    writeEnableRelay.setCoil(resetSwitch.isOn());
    writeEnableRelay.tick();
    writeGate.setInput(0, decoder.line<0x11>());
    writeGate.setInput(1, writeEnableRelay.normallyClosed());
    writeGate.setInput(2, phaseSequencer.phase(3));
    writeGate.step();
    controlPanel.setWrite(writeGate.output());

    controlPanel.step();
}

void Computer::latchStep() {
    const bool reset = resetSwitch.isOn();
    const std::uint8_t data = dataOut();
    const bool clockOff = clockOscillator.clockOff();

    codeStrobe.setInput(0, phaseSequencer.phase(0));
    codeStrobe.setInput(1, clockOff);
    codeStrobe.step();
    decoder.setClear(reset);
    decoder.setClock(codeStrobe.output());
    for (int i = 0; i < 8; ++i) decoder.setData(i, (data >> i) & 1);
    decoder.step();
    for (int k = 0; k < 8; ++k) codeLamps[k].setState(lampState(decoder.q(7 - k)));

    highStrobe.setInput(0, phaseSequencer.phase(1));
    highStrobe.setInput(1, clockOff);
    highStrobe.step();
    highOperand.setClear(reset);
    for (int i = 0; i < 8; ++i) highOperand.setData(i, (data >> i) & 1);
    highOperand.setClock(highStrobe.output());
    highOperand.step();

    lowStrobe.setInput(0, phaseSequencer.phase(2));
    lowStrobe.setInput(1, clockOff);
    lowStrobe.step();
    lowOperand.setClear(reset);
    for (int i = 0; i < 8; ++i) lowOperand.setData(i, (data >> i) & 1);
    lowOperand.setClock(lowStrobe.output());
    lowOperand.step();

    for (int k = 0; k < 8; ++k) {
        operandLamps[k].setState(lampState(highOperand.q(7 - k)));
        operandLamps[k + 8].setState(lampState(lowOperand.q(7 - k)));
    }
}

void Computer::controlStep() {
    const bool clockOff = clockOscillator.clockOff();
    const bool phase3 = phaseSequencer.phase(3);
    const bool carry = arithmeticUnit.carry();
    const bool zero = arithmeticUnit.zero();

    shortCycleGate.setInput(0, decoder.oneByteLine());
    shortCycleGate.setInput(1, phaseSequencer.phase(0));
    shortCycleGate.setInput(2, clockOff);
    shortCycleGate.step();

    carryRelay.setCoil(carry);
    carryRelay.tick();
    jumpIfCarryGate.setInput(0, carry);
    jumpIfCarryGate.setInput(1, decoder.line<0x32>());
    jumpIfCarryGate.step();
    jumpIfNoCarryGate.setInput(0, carryRelay.normallyClosed());
    jumpIfNoCarryGate.setInput(1, decoder.line<0x34>());
    jumpIfNoCarryGate.step();

    zeroRelay.setCoil(zero);
    zeroRelay.tick();
    jumpIfZeroGate.setInput(0, zero);
    jumpIfZeroGate.setInput(1, decoder.line<0x31>());
    jumpIfZeroGate.step();
    jumpIfNotZeroGate.setInput(0, zeroRelay.normallyClosed());
    jumpIfNotZeroGate.setInput(1, decoder.line<0x33>());
    jumpIfNotZeroGate.step();

    loadGroupGate.setInput(0, memoryReadGroupGate.output());
    loadGroupGate.setInput(1, decoder.line<0x20>());
    loadGroupGate.setInput(2, decoder.line<0x21>());
    loadGroupGate.step();
    memoryLoadGate.setInput(0, loadGroupGate.output());
    memoryLoadGate.setInput(1, decoder.line<0x22>());
    memoryLoadGate.setInput(2, decoder.line<0x23>());
    memoryLoadGate.step();
    memoryLatchGate.setInput(0, memoryLoadGate.output());
    memoryLatchGate.setInput(1, clockOff);
    memoryLatchGate.setInput(2, phase3);
    memoryLatchGate.step();

    shiftPairGateA.setInput(0, decoder.line<0x44>());
    shiftPairGateA.setInput(1, decoder.line<0x45>());
    shiftPairGateA.step();
    shiftPairGateB.setInput(0, decoder.line<0x46>());
    shiftPairGateB.setInput(1, decoder.line<0x47>());
    shiftPairGateB.step();
    shiftGroupGate.setInput(0, shiftPairGateA.output());
    shiftGroupGate.setInput(1, shiftPairGateB.output());
    shiftGroupGate.step();
    shiftLatchGate.setInput(0, shiftGroupGate.output());
    shiftLatchGate.setInput(1, clockOff);
    shiftLatchGate.setInput(2, phase3);
    shiftLatchGate.step();

    accumulatorClockGate.setInput(0, memoryLatchGate.output());
    accumulatorClockGate.setInput(1, shiftLatchGate.output());
    accumulatorClockGate.step();

    jumpGroupGate.setInput(0, decoder.line<0x30>());
    jumpGroupGate.setInput(1, jumpIfCarryGate.output());
    jumpGroupGate.setInput(2, jumpIfZeroGate.output());
    jumpGroupGate.step();
    jumpConditionGate.setInput(0, jumpGroupGate.output());
    jumpConditionGate.setInput(1, jumpIfNoCarryGate.output());
    jumpConditionGate.setInput(2, jumpIfNotZeroGate.output());
    jumpConditionGate.step();
}

void Computer::arithmeticStep() {
    arithmeticUnit.setClear(resetSwitch.isOn());
    arithmeticUnit.setCodeLine<0x10>(decoder.line<0x10>());
    arithmeticUnit.setCodeLine<0x20>(decoder.line<0x20>());
    arithmeticUnit.setCodeLine<0x21>(decoder.line<0x21>());
    arithmeticUnit.setCodeLine<0x22>(decoder.line<0x22>());
    arithmeticUnit.setCodeLine<0x23>(decoder.line<0x23>());
    arithmeticUnit.setCodeLine<0x40>(decoder.line<0x40>());
    arithmeticUnit.setCodeLine<0x41>(decoder.line<0x41>());
    arithmeticUnit.setCodeLine<0x42>(decoder.line<0x42>());
    arithmeticUnit.setCodeLine<0x44>(decoder.line<0x44>());
    arithmeticUnit.setCodeLine<0x45>(decoder.line<0x45>());
    arithmeticUnit.setCodeLine<0x46>(decoder.line<0x46>());
    arithmeticUnit.setCodeLine<0x47>(decoder.line<0x47>());
    arithmeticUnit.setAccumulatorClock(accumulatorClockGate.output());
    const std::uint8_t data = dataOut();
    for (int i = 7; i >= 0; --i) arithmeticUnit.setOperand(i, (data >> i) & 1);
    arithmeticUnit.step();

    for (int k = 0; k < 8; ++k) accumulatorLamps[k].setState(lampState(arithmeticUnit.accumulatorBit(7 - k)));
    zeroFlagLamp.setState(lampState(arithmeticUnit.zero()));
    carryFlagLamp.setState(lampState(arithmeticUnit.carry()));
}

}  // namespace tarnwick
