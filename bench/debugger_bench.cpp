// What the debugger costs a running machine.
//
//   build/bench/debugger_bench
//
// DebuggerCycle/<memory>/<what>: one machine cycle on the byte array
// ("fast") or the relay-built memory ("relay"), plain, with the step-back
// history recording (a checkpoint every 256 or 2,048 cycles and a look at
// the inputs before each cycle), and with eight breakpoints and a watchpoint
// looked at after each cycle. The target for each: at most 5% over plain.
// The relay runs take 8,192 cycles an iteration batch, so that checkpoints
// (10 MB each) fall inside the measurement. StepBack/<memory> is one Step
// Back Cycle at its worst: a checkpoint restored and the most cycles replayed.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <memory>
#include <optional>

#include "app/Session.h"
#include "app/StepHistory.h"
#include "app/StopConditions.h"
#include "bench/BenchSession.h"
#include "memory/RelayMemory.h"

namespace {

using tarnwick::Computer;

enum What { plain, history, stops };

void DebuggerCycle(benchmark::State& state, bool fastRam, What what) {
    auto session = tarnwick::bench::runningSession(fastRam);
    Computer& computer = session->computer();
    std::optional<tarnwick::StepHistory> recorder;
    if (what == history) recorder.emplace(computer);
    tarnwick::StopConditions conditions;
    if (what == stops) {
        // Never met by this program, so every cycle pays the full look.
        for (std::uint16_t a : {0x100, 0x200, 0x300, 0x400, 0x500, 0x600, 0x700, 0x800})
            conditions.setBreakpoint(a, true);
        conditions.setWatchpoint(0x0023, true);
    }
    std::uint64_t met = 0;
    for (auto _ : state) {
        computer.runCycle();
        if (what == stops && conditions.check(computer)) ++met;
    }
    benchmark::DoNotOptimize(met);
    if (recorder) state.counters["history_MB"] = static_cast<double>(recorder->bytesHeld()) / 1e6;
}

void StepBack(benchmark::State& state, bool fastRam) {
    auto session = tarnwick::bench::runningSession(fastRam);
    Computer& computer = session->computer();
    tarnwick::StepHistory recorder(computer);
    const std::uint64_t interval =
        fastRam ? tarnwick::StepHistory::smallMemory.interval : tarnwick::StepHistory::relayMemory.interval;
    for (auto _ : state) {
        state.PauseTiming();
        // Just before the next checkpoint, so a step back replays
        // interval - 1 cycles from the one before.
        do computer.runCycle();
        while (recorder.cycle() % interval != 0);
        state.ResumeTiming();
        benchmark::DoNotOptimize(recorder.stepBack(1));
    }
}

BENCHMARK_CAPTURE(DebuggerCycle, fast / plain, true, plain);
BENCHMARK_CAPTURE(DebuggerCycle, fast / history, true, history);
BENCHMARK_CAPTURE(DebuggerCycle, fast / stops, true, stops);
BENCHMARK_CAPTURE(DebuggerCycle, relay / plain, false, plain)->Iterations(8192);
BENCHMARK_CAPTURE(DebuggerCycle, relay / history, false, history)->Iterations(8192);
BENCHMARK_CAPTURE(DebuggerCycle, relay / stops, false, stops)->Iterations(8192);
BENCHMARK_CAPTURE(StepBack, fast, true)->Unit(benchmark::kMillisecond)->Iterations(20);
BENCHMARK_CAPTURE(StepBack, relay, false)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
