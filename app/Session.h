#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

#include "app/StopConditions.h"
#include "machine/Computer.h"
#include "machine/Lamps.h"
#include "memory/MemoryFile.h"

namespace tarnwick {

// A computer worked without a window, the way the front panel starts one:
// Power on with Reset on, an image loaded, Reset off, then cycles. Cycles are
// numbered from the first that ends with the clock lamp and phase lamp 0 lit
// (cycle 1); the cycles before it are counted apart. tarnwick-run, the tests,
// the benchmarks and the fuzzers all start a computer through this.
class Session {
public:
    // The clock starts within two cycles of Reset going off; a machine that
    // has not started after this many is reported as not starting.
    static constexpr int startLimit = 16;

    // A powered computer with Reset on: the byte array, or the relay-built
    // memory when fastRam is false.
    explicit Session(bool fastRam = true);
    // The same around a computer the caller built.
    explicit Session(std::unique_ptr<Computer> computer);

    // Writes the image as the loader does. False (and nothing written) for an
    // image that is not consistent().
    bool load(const MemoryImage& image);

    // Reset off, and the one cycle the Reset command runs; numbered if the
    // clock is already going.
    void releaseReset();
    // Reset on for the given number of cycles, then releaseReset(); the
    // numbering starts again.
    void pressReset(int cycles);
    // One more cycle, numbered once the machine has started.
    void runCycle();
    // releaseReset(), then cycles until cycle 1 has run. False if the clock
    // did not start within startLimit cycles.
    bool start();

    // Why run() stopped.
    enum class End { halted, cycleLimit, didNotStart, breakpoint, watchpoint };
    // Cycles until the code register holds FFh, cycle maxCycles has run,
    // a stop condition is met (see stopConditions) or the machine fails to
    // start; call after releaseReset(). A halt in the cycle of the limit
    // counts as a halt; a stop condition met in the cycle of a halt or of
    // the limit counts as the stop. Called again, it goes on from there.
    End run(std::uint64_t maxCycles);

    // Breakpoints and watchpoints run() stops at, looked at after every
    // numbered cycle. None by default.
    StopConditions stopConditions;
    // The condition the last run() stopped at, if it stopped at one.
    std::optional<StopConditions::Stop> lastStop() const { return lastStop_; }

    // Runs after every numbered cycle (a trace, say).
    std::function<void(const Session&)> afterEachCycle;

    bool started() const { return cycle_ > 0; }
    bool halted() const { return computer_->codeValue() == 0xFF; }
    std::uint64_t cycle() const { return cycle_; }
    int cyclesBeforeFirst() const { return cyclesBeforeFirst_; }
    LampReading lamps() const { return readLamps(*computer_); }
    Computer& computer() { return *computer_; }
    const Computer& computer() const { return *computer_; }
    std::uint8_t peek(std::uint16_t address) { return computer_->readByte(address); }

private:
    std::unique_ptr<Computer> computer_;
    std::uint64_t cycle_ = 0;
    int cyclesBeforeFirst_ = 0;
    std::optional<StopConditions::Stop> lastStop_;
};

}  // namespace tarnwick
