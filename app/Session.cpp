#include "app/Session.h"

#include "app/MemoryLoader.h"

namespace tarnwick {

Session::Session(bool fastRam) : Session(std::make_unique<Computer>(fastRam)) {}

Session::Session(std::unique_ptr<Computer> computer) : computer_(std::move(computer)) {
    // As the front panel starts (Power off, Reset on), then the Power command.
    computer_->resetSwitch().setState(1);
    computer_->powerSwitch().setState(1);
    computer_->applyPower();
}

bool Session::load(const MemoryImage& image) { return writeMemoryImage(*computer_, image); }

void Session::runCycle() {
    computer_->runCycle();
    if (cycle_ == 0) {
        const bool going = computer_->clockLamp().isOn() && computer_->phaseLamps()[0].isOn();
        if (!going) {
            ++cyclesBeforeFirst_;
            return;
        }
    }
    ++cycle_;
    if (afterEachCycle) afterEachCycle(*this);
}

void Session::releaseReset() {
    cycle_ = 0;
    cyclesBeforeFirst_ = 0;
    computer_->resetSwitch().setState(0);
    runCycle();
}

void Session::pressReset(int cycles) {
    computer_->resetSwitch().setState(1);
    for (int i = 0; i < cycles; ++i) computer_->runCycle();
    releaseReset();
}

bool Session::start() {
    releaseReset();
    while (!started() && cyclesBeforeFirst_ < startLimit) runCycle();
    return started();
}

Session::End Session::run(std::uint64_t maxCycles) {
    lastStop_.reset();
    while (!(started() && halted()) && cycle_ < maxCycles && cyclesBeforeFirst_ < startLimit) {
        runCycle();
        if (!started()) continue;
        if ((lastStop_ = stopConditions.check(*computer_)))
            return lastStop_->kind == StopConditions::Kind::breakpoint ? End::breakpoint : End::watchpoint;
    }
    if (started() && halted()) return End::halted;
    if (!started() && cyclesBeforeFirst_ >= startLimit) return End::didNotStart;
    return End::cycleLimit;
}

}  // namespace tarnwick
