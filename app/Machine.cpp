#include "app/Machine.h"

#include "app/MemoryFile.h"

#ifdef __linux__
#include <sys/prctl.h>
#endif

namespace tarnwick {

Machine::Machine(bool startWithFastRam) : Computer(startWithFastRam) {
    setClockPeriod(defaultClockPeriod);
}

Machine::~Machine() { stopSimulation(); }

std::int32_t Machine::clockPeriod() {
    std::lock_guard lock(periodLock);
    return period_;
}

void Machine::setClockPeriod(std::int32_t period) {
    std::lock_guard lock(periodLock);
    period_ = period;
}

bool Machine::runnable() const {
    return powerSwitch.isOn() && !resetSwitch.isOn() && !pauseSwitch.isOn();
}

bool Machine::simulationAlive() {
    std::lock_guard lock(threadStateLock);
    return threadAlive;
}

void Machine::startSimulation() {
    if (!runnable()) return;
    std::lock_guard lock(threadStateLock);
    if (threadAlive) return;  // the running thread sees the runnable switches at its next check
    if (simulationThread.joinable()) simulationThread.join();  // has ended already
    threadAlive = true;
    simulationThread = std::thread(&Machine::runSimulationThread, this);
}

void Machine::stopSimulation() {
    if (!simulationThread.joinable()) return;
    powerSwitch.setState(0);
    simulationThread.join();
}

void Machine::armClockTimer() {
    clockTimer = Clock::now() + std::chrono::nanoseconds(std::int64_t{clockPeriod()} * 100);
}

void Machine::runSimulationThread() {
#ifdef __linux__
    // The default 50 us timer slack is 5% of the fastest clock period.
    prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
#endif
    armClockTimer();
    for (;;) {
        {
            std::lock_guard lock(threadStateLock);
            if (!runnable()) {
                threadAlive = false;
                break;
            }
        }
        // A one-shot timer: sleep until it expires, then run its routine here.
        std::this_thread::sleep_until(*clockTimer);
        onClockExpiry();
    }
    clockTimer.reset();
}

void Machine::onClockExpiry() {
    runCycle();
    // Re-armed only after the cycle, so the interval is the period plus the
    // cycle's own time and a new period takes effect from here.
    armClockTimer();
    threadCycles_.fetch_add(1, std::memory_order_release);
}

void Machine::powerCommand() {
    distributePower(powerSwitch.isOn());
    runCycle();
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
    useFastRam = !useFastRam;
    {
        std::lock_guard lock(cycleLock);
        controlPanel.replaceMemory(useFastRam);
    }
    // Building the relay-built memory may have failed and fallen back to the
    // byte array: the flag follows the memory actually in use.
    useFastRam = controlPanel.fastRam;
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
    });
    return std::nullopt;
}

}  // namespace tarnwick
