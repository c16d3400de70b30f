// What the Memory and Program windows cost a machine cycle.
//
//   build/bench/views_bench
//
// ViewedCycle/plain is a cycle as the simulation thread runs it, its stop
// conditions looked at (none set). ViewedCycle/viewed adds what the two
// windows ask of the machine with eight breakpoints set: a snapshot under
// the cycle lock (the 64-KB copy of memory and the registers) for each
// window every 40 ms, which at the fastest clock (1 ms) is one every 20
// cycles. The target is at most 5% more than plain. The /relay pair is the
// same on the relay-built memory.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <memory>

#include "app/Session.h"
#include "app/StopConditions.h"
#include "bench/BenchSession.h"
#include "machine/MachineSnapshot.h"

namespace {

constexpr int cyclesPerSnapshot = 20;

void run(benchmark::State& state, bool fastRam, bool viewed) {
    auto session = tarnwick::bench::runningSession(fastRam);
    tarnwick::Computer& computer = session->computer();
    tarnwick::StopConditions stops;
    // Breakpoints the program never reaches: every cycle is looked at, none stops.
    if (viewed)
        for (std::uint16_t address : {0x0100, 0x0200, 0x0300, 0x1000, 0x2000, 0x4000, 0x8000, 0xF000})
            stops.setBreakpoint(address, true);
    auto snapshot = std::make_unique<tarnwick::MachineSnapshot>();
    int sinceSnapshot = 0;
    for (auto _ : state) {
        computer.runCycle();
        benchmark::DoNotOptimize(stops.check(computer));
        if (viewed && ++sinceSnapshot == cyclesPerSnapshot) {
            sinceSnapshot = 0;
            computer.copyState(*snapshot);  // the Memory window's
            computer.copyState(*snapshot);  // the Program window's
            benchmark::DoNotOptimize(snapshot->memory[0x22]);
        }
    }
}

void ViewedCycleFastPlain(benchmark::State& state) { run(state, true, false); }
void ViewedCycleFastViewed(benchmark::State& state) { run(state, true, true); }
void ViewedCycleRelayPlain(benchmark::State& state) { run(state, false, false); }
void ViewedCycleRelayViewed(benchmark::State& state) { run(state, false, true); }

BENCHMARK(ViewedCycleFastPlain)->Name("ViewedCycle/plain");
BENCHMARK(ViewedCycleFastViewed)->Name("ViewedCycle/viewed");
BENCHMARK(ViewedCycleRelayPlain)
    ->Name("ViewedCycle/relay/plain")
    ->Unit(benchmark::kMillisecond)
    ->Iterations(40);
BENCHMARK(ViewedCycleRelayViewed)
    ->Name("ViewedCycle/relay/viewed")
    ->Unit(benchmark::kMillisecond)
    ->Iterations(40);

}  // namespace

BENCHMARK_MAIN();
