#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "app/MemoryTransfer.h"
#include "app/StepHistory.h"
#include "app/StopConditions.h"
#include "machine/Computer.h"
#include "memory/MemoryFile.h"

namespace tarnwick {

// The one machine of the program: the simulated computer plus its run
// control. The machine owns its computer; the window and the tests reach the
// lamps, switches and registers through computer(). While Power is on and Reset and Pause are off, a
// simulation thread runs one machine cycle per clock period; the window thread runs the commands, which may
// run cycles of their own. The cycle lock keeps the two threads' cycles and memory steps apart.
class Machine {
public:
    // Clock period limits in units of 100 ns: the slider's range and default.
    static constexpr std::int32_t defaultClockPeriod = 100000;   // 10 ms
    static constexpr std::int32_t fastestClockPeriod = 10000;    // 1 ms
    static constexpr std::int32_t slowestClockPeriod = 5000000;  // 0.5 s

    // The control panel starts with the relay-built memory unless
    // startWithFastRam is set (tests and tools that never use it).
    explicit Machine(bool startWithFastRam = false);
    // Stops and joins the simulation thread before anything it uses goes.
    virtual ~Machine();

    // The simulated computer. Its commands (a cycle, a memory step) take the
    // cycle lock themselves; the run control above them lives here.
    Computer& computer() { return computer_; }
    const Computer& computer() const { return computer_; }

    std::int32_t clockPeriod();
    void setClockPeriod(std::int32_t period);

    // Starts the simulation thread when the machine is runnable and no thread
    // is alive. Also the Pause command.
    void startSimulation();
    // Turns the Power switch off and waits until the simulation thread has
    // ended (at most one clock period plus one cycle).
    void stopSimulation();

    // The Power switch was clicked: power every circuit with its state, run one
    // cycle, start the thread if the machine is now runnable.
    void powerCommand();
    // The Reset switch was clicked: one cycle reads it, then maybe start.
    void resetCommand();
    // "Use Fast Ram": stop, Power off, Reset on, Pause off, and replace the
    // memory with a new one of the other kind (empty, unpowered).
    void toggleFastRam();

    // Chooses a memory file: a path, or nothing when the user cancelled.
    using FileChooser = std::function<std::optional<std::string>()>;
    // "Load Memory File" on the calling thread: stop, Power on (one cycle),
    // ask for a file, and write its address range into memory one memory
    // step per address, with a 10 ms pause per address while the byte array
    // is in use. afterEachAddress runs after each address on this thread.
    // Returns a message naming the problem when the file is rejected; then
    // nothing is written. (The front panel uses startLoad below instead.)
    std::optional<std::string> loadMemoryFile(const FileChooser& chooseFile,
                                              const std::function<void()>& afterEachAddress = {});

    // Turns a chosen path into the image to load, or the reason it cannot be
    // loaded (readMemoryFile when none is given).
    using ImageReader = std::function<MemoryFileResult(const std::string& path)>;
    // The same load with its own reader, and a callback that may return
    // false after any address to stop the load there: what was written
    // stays, and the result is no error.
    std::optional<std::string> loadMemoryFile(const FileChooser& chooseFile,
                                              const std::function<bool()>& continueAfterAddress,
                                              const ImageReader& read);

    // The address range of the last image a load started to write, if any.
    struct AddressRange {
        std::uint16_t first = 0;
        std::uint16_t last = 0;
    };
    std::optional<AddressRange> lastLoadedRange() const { return lastLoadedRange_; }
    // What a save offers: the last load's range grown to take in every
    // address written since that load (by the program or by hand), or
    // 0000h to 00FFh when nothing was loaded or written.
    AddressRange defaultSaveRange() const;

    // A load and a save for a window that must keep answering: the memory
    // steps run on a worker thread (MemoryTransfer), each under the cycle
    // lock, and `finished` runs on that worker when it is done. The window
    // thread then calls finishTransfer. Nothing else may command the machine
    // in between; stopTransfer ends it early, after the current address.
    //
    // The start of every load, before the file is chosen: stop the thread,
    // Power on, the Power command.
    void powerOnForLoad();
    // Reads the chosen file and starts writing it, with the pause per address
    // of the memory in use. Returns the reason when the file is rejected;
    // then nothing is started.
    std::optional<std::string> startLoad(const std::string& path, const ImageReader& read,
                                         MemoryTransfer::Finished finished);
    // Holds the simulation thread and Takeover as readMemory does, and starts
    // reading first to last. False, doing nothing, while a transfer runs.
    bool startSave(std::uint16_t first, std::uint16_t last, MemoryTransfer::Finished finished);
    void stopTransfer() { transfer_.requestStop(); }
    bool transferActive() const { return transfer_.active(); }
    // Waits for the worker, puts back what a save held, and says how it went:
    // a save's bytes, or nothing when it was stopped (a load: nothing).
    struct TransferResult {
        bool stopped = false;
        std::optional<std::vector<std::uint8_t>> bytes;
    };
    TransferResult finishTransfer();

    // Reads first to last through the control panel, as its Takeover switch
    // would show them with Takeover off, with the simulation thread held.
    // Afterwards the switches, the run state and the control panel's data
    // lamps are as before; the panel's machine-side lines hold the last
    // address read until the next cycle drives them. continueAfterAddress may
    // return false to stop early: then nothing is returned.
    std::optional<std::vector<std::uint8_t>> readMemory(
        std::uint16_t first, std::uint16_t last, const std::function<bool()>& continueAfterAddress = {});

    // Stepping while paused. Whether a step can run: Power on and Pause on,
    // so no clock drives the machine (a thread still finishing its last
    // period is waited for).
    bool canStep() const { return computer_.powerSwitch().isOn() && computer_.pauseSwitch().isOn(); }
    // Runs one machine cycle if canStep(); returns the cycles run (0 or 1).
    int stepCycle();
    // Runs cycles until the code register has latched the next instruction's
    // code: a cycle in phase 0 with the clock off, whose code strobe passes.
    // Stops early at a halt (code FFh latched) and after instructionStepLimit
    // cycles (a stopped clock never strobes). Returns the cycles run.
    int stepInstruction();
    // Two longest instructions: from any cycle, the next code strobe comes
    // within eight cycles while the clock runs.
    static constexpr int instructionStepLimit = 16;

    // Editing one byte by hand (the Memory window): only while no clock drives
    // the machine, Power on with Pause on or Reset on, and no load or save
    // runs. Window thread only.
    bool canEdit() const {
        return computer_.powerSwitch().isOn() &&
               (computer_.pauseSwitch().isOn() || computer_.resetSwitch().isOn()) && !transferActive();
    }
    // Writes byte at address as the loader does, one memory step through the
    // control panel under the cycle lock, once a thread still finishing its
    // last period has ended. False, writing nothing, unless canEdit().
    bool editByte(std::uint16_t address, std::uint8_t byte);

    // ---- Breakpoints, watchpoints and stepping back ----

    // Looked at after every cycle of the simulation thread: a condition met
    // turns Pause on, so that thread runs no further cycle, and the panel
    // shows the state of the cycle that met it. Any thread may change them.
    StopConditions stopConditions;
    // Told on the simulation thread after a condition stopped it (Pause is
    // already on). Set it before the machine runs.
    std::function<void(const StopConditions::Stop&)> stopped;
    // The condition that stopped the machine last, until the next start.
    std::optional<StopConditions::Stop> lastStop() const;

    // Stepping back while paused, as stepping forward (canStep()): one
    // cycle, or back to where the previous Step Instruction would have
    // stopped (the code strobe before the present state, at most
    // instructionStepLimit cycles back). Returns the cycles stepped back.
    int stepBackCycle();
    int stepBackInstruction();
    // Whether there is a cycle to step back to now (canStep() aside).
    bool canStepBack() const { return history_->cyclesBack() > 0; }
    const StepHistory& history() const { return *history_; }

    // Observation for tests and benchmarks: the cycles run by simulation
    // threads so far, counted after each re-arm of the clock timer.
    std::uint64_t threadCycles() const { return threadCycles_.load(std::memory_order_acquire); }
    // Whether a simulation thread is alive, and which one.
    bool simulationAlive();
    std::thread::id simulationThreadId() const { return simulationThread_.get_id(); }

protected:
    // Starts the simulation thread; throws std::system_error when the system
    // has no thread to give. A seam for tests.
    virtual std::thread launchSimulationThread();

private:
    using Clock = std::chrono::steady_clock;

    // First of the members: the history and the thread use it.
    Computer computer_;

    bool runnable() const;
    // Ends a thread that is still finishing after its switches stopped it.
    void joinEndedSimulation();
    void runSimulationThread();
    void onClockExpiry();
    void armClockTimer();

    std::mutex periodLock_;
    std::int32_t period_ = 0;  // guarded by periodLock_

    // The pending expiry of the running thread's one-shot timer. Touched only
    // by the simulation thread.
    std::optional<Clock::time_point> clockTimer_;
    std::thread simulationThread_;

    // Guards threadAlive_, so that the thread's decision to end and
    // startSimulation's look at it cannot cross: a thread that found the
    // machine not runnable is already marked dead when startSimulation looks.
    std::mutex threadStateLock_;
    bool threadAlive_ = false;

    std::atomic<std::uint64_t> threadCycles_{0};

    // Keeps the thread from running while a read needs the memory to itself.
    std::atomic<bool> held_{false};
    std::optional<AddressRange> lastLoadedRange_;

    // What a read changes for its duration, to be put back afterwards.
    struct ReadHold {
        bool wasRunning = false;
        std::uint8_t takeover = 0;
        std::array<std::uint8_t, 8> dataLamps{};
    };
    ReadHold holdForRead();
    void releaseAfterRead(const ReadHold& hold);
    // A load's image is accepted: its range remembered, earlier writes forgotten.
    void noteLoad(const MemoryImage& image);
    std::chrono::milliseconds pausePerAddress() const;

    std::optional<ReadHold> saveHold_;
    MemoryTransfer transfer_;

    // Records every cycle of this machine, whoever runs it.
    std::unique_ptr<StepHistory> history_;
    // 0 for none, else 1 + kind in the high half and the address in the low.
    std::atomic<std::uint32_t> lastStop_{0};
    bool checkStop();
};

}  // namespace tarnwick
