#include "app/Machine.h"

#include <algorithm>
#include <array>
#include <system_error>

#include "app/MemoryLoader.h"

#ifdef __linux__
#include <sys/prctl.h>
#endif

namespace tarnwick {

Machine::Machine(bool startWithFastRam)
    : computer_(startWithFastRam), history_(std::make_unique<StepHistory>(computer_)) {
    setClockPeriod(defaultClockPeriod);
}

Machine::~Machine() {
    transfer_.requestStop();
    transfer_.finish();
    stopSimulation();
}

std::int32_t Machine::clockPeriod() {
    std::lock_guard lock(periodLock_);
    return period_;
}

void Machine::setClockPeriod(std::int32_t period) {
    std::lock_guard lock(periodLock_);
    period_ = period;
}

bool Machine::runnable() const {
    return computer_.powerSwitch().isOn() && !computer_.resetSwitch().isOn() &&
           !computer_.pauseSwitch().isOn() && !held_.load(std::memory_order_acquire);
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
    lastStop_.store(0, std::memory_order_release);
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
    computer_.powerSwitch().setState(0);
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
    computer_.runCycle();
    checkStop();
    // Re-armed only after the cycle, so the interval is the period plus the
    // cycle's own time and a new period takes effect from here.
    armClockTimer();
    threadCycles_.fetch_add(1, std::memory_order_release);
}

void Machine::powerCommand() {
    computer_.applyPower();
    startSimulation();
}

void Machine::resetCommand() {
    computer_.runCycle();
    startSimulation();
}

void Machine::toggleFastRam() {
    stopSimulation();
    computer_.powerSwitch().setState(0);
    computer_.resetSwitch().setState(1);
    computer_.pauseSwitch().setState(0);
    // The memory in use says which kind it is, whoever installed it.
    computer_.replaceMemory(!computer_.usesFastRam());
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

void Machine::powerOnForLoad() {
    stopSimulation();
    computer_.powerSwitch().setState(1);
    powerCommand();  // the memory is powered before the first write
}

void Machine::noteLoad(const MemoryImage& image) {
    if (!image.empty())
        lastLoadedRange_ =
            AddressRange{static_cast<std::uint16_t>(image.first), static_cast<std::uint16_t>(image.last)};
    // Writes before this load belong to another program.
    computer_.controlPanel().forgetWrites();
}

std::chrono::milliseconds Machine::pausePerAddress() const {
    // The byte array is so fast that the lamps would not be seen to move.
    return std::chrono::milliseconds(computer_.usesFastRam() ? 10 : 0);
}

std::optional<std::string> Machine::loadMemoryFile(const FileChooser& chooseFile,
                                                   const std::function<bool()>& continueAfterAddress,
                                                   const ImageReader& read) {
    powerOnForLoad();

    const std::optional<std::string> path = chooseFile();
    if (!path) return std::nullopt;

    MemoryFileResult file = read ? read(*path) : readMemoryFile(*path);
    if (!file) return file.error;
    noteLoad(*file.image);

    const std::chrono::milliseconds pause = pausePerAddress();
    writeMemoryImage(computer_, *file.image, [&](std::int32_t) {
        if (continueAfterAddress && !continueAfterAddress()) return false;
        std::this_thread::sleep_for(pause);
        return true;
    });
    return std::nullopt;
}

std::optional<std::string> Machine::startLoad(const std::string& path, const ImageReader& read,
                                              MemoryTransfer::Finished finished) {
    if (transfer_.active()) return "a load or save is already running";
    MemoryFileResult file = read ? read(path) : readMemoryFile(path);
    if (!file) return file.error;
    noteLoad(*file.image);
    transfer_.startWrite(computer_, std::move(*file.image), pausePerAddress(), std::move(finished));
    return std::nullopt;
}

Machine::ReadHold Machine::holdForRead() {
    ReadHold hold;
    hold.wasRunning = simulationAlive();
    held_.store(true, std::memory_order_release);
    if (simulationThread_.joinable()) simulationThread_.join();  // ends at its next check

    // With Takeover on the panel would pass its own switches to the memory.
    hold.takeover = computer_.controlPanel().takeoverSwitch.state();
    for (std::size_t b = 0; b < hold.dataLamps.size(); ++b)
        hold.dataLamps[b] = computer_.controlPanel().dataLamps[b].state();
    computer_.controlPanel().takeoverSwitch.setState(0);
    return hold;
}

void Machine::releaseAfterRead(const ReadHold& hold) {
    computer_.controlPanel().takeoverSwitch.setState(hold.takeover);
    for (std::size_t b = 0; b < hold.dataLamps.size(); ++b)
        computer_.controlPanel().dataLamps[b].setState(hold.dataLamps[b]);
    held_.store(false, std::memory_order_release);
    if (hold.wasRunning) startSimulation();
}

std::optional<std::vector<std::uint8_t>> Machine::readMemory(
    std::uint16_t first, std::uint16_t last, const std::function<bool()>& continueAfterAddress) {
    const ReadHold hold = holdForRead();
    bool stopped = false;
    std::vector<std::uint8_t> bytes = readMemoryRange(computer_, first, last, [&] {
        stopped = continueAfterAddress && !continueAfterAddress();
        return !stopped;
    });
    releaseAfterRead(hold);
    if (stopped) return std::nullopt;
    return bytes;
}

bool Machine::startSave(std::uint16_t first, std::uint16_t last, MemoryTransfer::Finished finished) {
    if (transfer_.active()) return false;
    saveHold_ = holdForRead();
    return transfer_.startRead(computer_, first, last, std::move(finished));
}

Machine::TransferResult Machine::finishTransfer() {
    const bool wasSave = saveHold_.has_value();
    MemoryTransfer::Outcome outcome = transfer_.finish();
    TransferResult result;
    result.stopped = outcome.stopped;
    if (wasSave) {
        releaseAfterRead(*saveHold_);
        saveHold_.reset();
        if (!outcome.stopped) result.bytes = std::move(outcome.bytes);
    }
    return result;
}

Machine::AddressRange Machine::defaultSaveRange() const {
    std::optional<AddressRange> range = lastLoadedRange_;
    if (const auto written = computer_.controlPanel().writtenSpan()) {
        if (!range) range = AddressRange{written->first, written->last};
        range->first = std::min(range->first, written->first);
        range->last = std::max(range->last, written->last);
    }
    return range.value_or(AddressRange{0x0000, 0x00FF});
}

void Machine::joinEndedSimulation() {
    if (runnable() || !simulationThread_.joinable()) return;
    simulationThread_.join();  // not runnable: it ends within a period
}

int Machine::stepCycle() {
    if (!canStep()) return 0;
    joinEndedSimulation();
    computer_.runCycle();
    return 1;
}

bool Machine::editByte(std::uint16_t address, std::uint8_t byte) {
    if (!canEdit()) return false;
    joinEndedSimulation();
    computer_.loadByte(address, byte);
    return true;
}

int Machine::stepInstruction() {
    if (!canStep()) return 0;
    joinEndedSimulation();
    int cycles = 0;
    while (cycles < instructionStepLimit) {
        computer_.runCycle();
        ++cycles;
        if (computer_.codeStrobed() || computer_.codeValue() == 0xFF) break;
    }
    return cycles;
}

// ---- Breakpoints, watchpoints and stepping back ----

bool Machine::checkStop() {
    const std::optional<StopConditions::Stop> stop = stopConditions.check(computer_);
    if (!stop) return false;
    const std::uint32_t kind = stop->kind == StopConditions::Kind::breakpoint ? 1 : 2;
    lastStop_.store((kind << 16) | stop->address, std::memory_order_release);
    // Pause before the thread's next look at the switches: no further cycle.
    computer_.pauseSwitch().setState(1);
    if (stopped) stopped(*stop);
    return true;
}

std::optional<StopConditions::Stop> Machine::lastStop() const {
    const std::uint32_t stop = lastStop_.load(std::memory_order_acquire);
    if (stop == 0) return std::nullopt;
    const auto kind = (stop >> 16) == 1 ? StopConditions::Kind::breakpoint : StopConditions::Kind::watchpoint;
    return StopConditions::Stop{kind, static_cast<std::uint16_t>(stop & 0xFFFFu)};
}

int Machine::stepBackCycle() {
    if (!canStep()) return 0;
    joinEndedSimulation();
    return static_cast<int>(history_->stepBack(1));
}

int Machine::stepBackInstruction() {
    if (!canStep()) return 0;
    joinEndedSimulation();
    const auto latched = [](const Computer& c) { return c.codeStrobed(); };
    return static_cast<int>(history_->stepBackTo(latched, instructionStepLimit));
}

}  // namespace tarnwick
