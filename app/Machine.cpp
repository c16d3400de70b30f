#include "app/Machine.h"

#include <array>
#include <system_error>

#include "app/MemoryLoader.h"

#ifdef __linux__
#include <sys/prctl.h>
#endif

namespace tarnwick {

Machine::Machine(bool startWithFastRam) : Computer(startWithFastRam) { setClockPeriod(defaultClockPeriod); }

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
    return powerSwitch.isOn() && !resetSwitch.isOn() && !pauseSwitch.isOn() &&
           !held_.load(std::memory_order_acquire);
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
    return loadMemoryFile(chooseFile,
                          [&] {
                              if (afterEachAddress) afterEachAddress();
                              return true;
                          },
                          {});
}

std::optional<std::string> Machine::loadMemoryFile(const FileChooser& chooseFile,
                                                   const std::function<bool()>& continueAfterAddress,
                                                   const ImageReader& read) {
    stopSimulation();
    powerSwitch.setState(1);
    powerCommand();  // the memory is powered before the first write

    const std::optional<std::string> path = chooseFile();
    if (!path) return std::nullopt;

    MemoryFileResult file = read ? read(*path) : readMemoryFile(*path);
    if (!file) return file.error;
    if (!file.image->empty())
        lastLoadedRange_ = AddressRange{static_cast<std::uint16_t>(file.image->first),
                                        static_cast<std::uint16_t>(file.image->last)};

    writeMemoryImage(*this, *file.image, [&](std::int32_t) {
        if (continueAfterAddress && !continueAfterAddress()) return false;
        // The byte array is so fast that the lamps would not be seen to move.
        if (useFastRam) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        return true;
    });
    return std::nullopt;
}

std::optional<std::vector<std::uint8_t>> Machine::readMemory(
    std::uint16_t first, std::uint16_t last, const std::function<bool()>& continueAfterAddress) {
    const bool wasRunning = simulationAlive();
    held_.store(true, std::memory_order_release);
    if (simulationThread_.joinable()) simulationThread_.join();  // ends at its next check

    // With Takeover on the panel would pass its own switches to the memory.
    const std::uint8_t takeover = controlPanel.takeoverSwitch.state();
    std::array<std::uint8_t, 8> lamps{};
    for (std::size_t b = 0; b < lamps.size(); ++b) lamps[b] = controlPanel.dataLamps[b].state();
    controlPanel.takeoverSwitch.setState(0);

    bool stopped = false;
    std::vector<std::uint8_t> bytes = readMemoryRange(*this, first, last, [&] {
        stopped = continueAfterAddress && !continueAfterAddress();
        return !stopped;
    });

    controlPanel.takeoverSwitch.setState(takeover);
    for (std::size_t b = 0; b < lamps.size(); ++b) controlPanel.dataLamps[b].setState(lamps[b]);
    held_.store(false, std::memory_order_release);
    if (wasRunning) startSimulation();
    if (stopped) return std::nullopt;
    return bytes;
}

void Machine::joinEndedSimulation() {
    if (runnable() || !simulationThread_.joinable()) return;
    simulationThread_.join();  // not runnable: it ends within a period
}

int Machine::stepCycle() {
    if (!canStep()) return 0;
    joinEndedSimulation();
    runCycle();
    return 1;
}

int Machine::stepInstruction() {
    if (!canStep()) return 0;
    joinEndedSimulation();
    int cycles = 0;
    while (cycles < instructionStepLimit) {
        runCycle();
        ++cycles;
        if (codeStrobe.output() || codeValue() == 0xFF) break;
    }
    return cycles;
}

}  // namespace tarnwick
