// Speed of one machine cycle.
//
//   build/bench/machine_bench
//
// MachineCycle/fast runs the computer on the byte-array memory; the target
// is at most 10 us per cycle (1% of the fastest clock period, 1 ms).
// MachineCycle/relay runs it on the relay-built memory for two turns of the
// program's 36-cycle loop and reports, as the counter "ratio", its CPU time
// over that of the same memory's steps alone fed the same lines (step_ms per
// step); the target is at most 1.2. RelayMemoryStep is a step alone with
// one address line changing, the memory's cheapest step that runs (a step
// with unchanged lines is skipped).

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <memory>
#include <vector>

#include "app/Session.h"
#include "bench/BenchSession.h"
#include "machine/Computer.h"
#include "memory/MemoryLines.h"
#include "memory/RelayMemory.h"

namespace {

using tarnwick::Computer;

using tarnwick::bench::threadSeconds;

void MachineCycleFast(benchmark::State& state) {
    auto session = tarnwick::bench::runningSession(true);
    Computer& computer = session->computer();
    for (auto _ : state) computer.runCycle();
    benchmark::DoNotOptimize(computer.accumulatorValue());
}
BENCHMARK(MachineCycleFast)->Name("MachineCycle/fast");

using Lines = tarnwick::SixtyFourKilobyteRAMControlPanel::Lines;

void MachineCycleRelay(benchmark::State& state) {
    auto session = tarnwick::bench::runningSession(false);
    Computer* computer = &session->computer();
    std::vector<Lines> applied;
    double cycleSeconds = 0;
    for (auto _ : state) {
        const double start = threadSeconds();
        computer->runCycle();
        cycleSeconds += threadSeconds() - start;
        state.PauseTiming();
        applied.push_back(computer->controlPanel().lines());
        state.ResumeTiming();
    }
    // The relay-built memory's step costs more when its inputs change, so the
    // step alone is timed on the same memory fed the same sequence of lines
    // the cycles gave it (the program loops, so the sequence repeats).
    tarnwick::SixtyFourKbRAM& memory = computer->controlPanel().memory();
    double stepSeconds = 0;
    for (const Lines& lines : applied) {
        tarnwick::applyAddress(memory, lines.address);
        tarnwick::applyDataIn(memory, lines.dataIn);
        memory.setWrite(lines.write);
        const double start = threadSeconds();
        memory.step();
        stepSeconds += threadSeconds() - start;
    }
    state.counters["ratio"] = cycleSeconds / stepSeconds;
    state.counters["step_ms"] = stepSeconds / static_cast<double>(applied.size()) * 1e3;
}
BENCHMARK(MachineCycleRelay)->Name("MachineCycle/relay")->Unit(benchmark::kMillisecond)->Iterations(72);

void RelayMemoryStep(benchmark::State& state) {
    const auto memory = tarnwick::makeRelayMemory(tarnwick::RelayMemoryKind::Lanes);
    memory->setVoltage(true);
    tarnwick::applyAddress(*memory, 0x1234);
    bool line = false;
    for (auto _ : state) {
        line = !line;
        memory->setAddressBit0(line);
        memory->step();
    }
}
BENCHMARK(RelayMemoryStep)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
