#include "app/Machine.h"

#include "app/MemoryLoader.h"

#include <system_error>

#ifdef __linux__
#include <sys/prctl.h>
#endif

namespace tarnwick {

Machine::Machine(bool startWithFastRam) : Computer(startWithFastRam) {
    setClockPeriod(defaultClockPeriod);
}

Machine::~Machine() { stopSimulation(); }

std::int32_t Machine::clockPeriod() {
    std::lock_guard lock(periodLock_);
    return period_;
}

void Machine::setClockPeriod(std::int32_t period) {
    std::lock_guard lock(periodLock_);
    period_ = period;
}

bool Machine::runnable() const {
    return powerSwitch.isOn() && !resetSwitch.isOn() && !pauseSwitch.isOn();
}

bool Machine::simulationAlive() {
    std::lock_guard lock(threadStateLock_);
    return threadAlive_;
}

void Machine::startSimulation() {
    if (!runnable()) return;
    std::lock_guard lock(threadStateLock_);
    if (threadAlive_) return;  // the running thread sees the runnable switches at its next check
    if (simulationThread_.joinable()) simulationThread_.join();  // has ended already
    try {
        simulationThread_ = launchSimulationThread();
    } catch (const std::system_error&) {
        // No thread to be had (the system is out of them): the machine stays
        // stopped, as if Pause were on, and the next command may try again.
        return;
    }
    threadAlive_ = true;
}

std::thread Machine::launchSimulationThread() { return std::thread(&Machine::runSimulationThread, this); }

void Machine::stopSimulation() {
    if (!simulationThread_.joinable()) return;
    powerSwitch.setState(0);
    simulationThread_.join();
}

void Machine::armClockTimer() {
    clockTimer_ = Clock::now() + std::chrono::nanoseconds(std::int64_t{clockPeriod()} * 100);
}

void Machine::runSimulationThread() {
#ifdef __linux__
    // The default 50 us timer slack is 5% of the fastest clock period.
    prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
#endif
    armClockTimer();
    for (;;) {
        {
            std::lock_guard lock(threadStateLock_);
            if (!runnable()) {
                threadAlive_ = false;
                break;
            }
        }
        // A one-shot timer: sleep until it expires, then run its routine here.
        std::this_thread::sleep_until(*clockTimer_);
        onClockExpiry();
    }
    clockTimer_.reset();
}

void Machine::onClockExpiry() {
    runCycle();
    // Re-armed only after the cycle, so the interval is the period plus the
    // cycle's own time and a new period takes effect from here.
    armClockTimer();
    threadCycles_.fetch_add(1, std::memory_order_release);
}

void Machine::powerCommand() {
    applyPower();
    startSimulation();
}

void Machine::resetCommand() {
    runCycle();
    startSimulation();
}

void Machine::toggleFastRam() {
    stopSimulation();
    powerSwitch.setState(0);
    resetSwitch.setState(1);
    pauseSwitch.setState(0);
    // Building the relay-built memory may have failed and fallen back to the
    // byte array: the flag follows the memory actually in use.
    useFastRam = replaceMemory(!useFastRam);
}

std::optional<std::string> Machine::loadMemoryFile(const FileChooser& chooseFile,
                                                   const std::function<void()>& afterEachAddress) {
    stopSimulation();
    powerSwitch.setState(1);
    powerCommand();  // the memory is powered before the first write

    const std::optional<std::string> path = chooseFile();
    if (!path) return std::nullopt;

    MemoryFileResult file = readMemoryFile(*path);
    if (!file) return file.error;

    writeMemoryImage(*this, *file.image, [&](std::int32_t) {
        if (afterEachAddress) afterEachAddress();
        // The byte array is so fast that the lamps would not be seen to move.
        if (useFastRam) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        return true;
    });
    return std::nullopt;
}

}  // namespace tarnwick
