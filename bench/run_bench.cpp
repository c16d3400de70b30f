// The simulation thread's achieved cycle rate at the fastest clock (1 ms),
// with the byte-array memory and with the relay-built one, against the ideal
// 1 / (1 ms + one cycle): what the slider's tooltip reports.
#include <benchmark/benchmark.h>

#include <chrono>
#include <thread>

#include "app/Machine.h"

namespace tarnwick {
namespace {

using Clock = std::chrono::steady_clock;

double secondsPerCycle(Machine& machine) {
    constexpr int cycles = 2000;
    const auto start = Clock::now();
    for (int i = 0; i < cycles; ++i) machine.computer().runCycle();
    return std::chrono::duration<double>(Clock::now() - start).count() / cycles;
}

void threadCycleRate(benchmark::State& state, bool fastRam) {
    Machine machine(fastRam);
    machine.computer().resetSwitch().setState(1);
    machine.computer().powerSwitch().setState(1);
    machine.powerCommand();
    // Timed with Reset off, the program counter running through memory: with
    // Reset on the lines never change and the relay-built memory skips its
    // steps.
    machine.computer().resetSwitch().setState(0);
    const double cycleSeconds = secondsPerCycle(machine);

    machine.setClockPeriod(Machine::fastestClockPeriod);
    for (auto _ : state) {
        const std::uint64_t before = machine.threadCycles();
        const auto start = Clock::now();
        machine.resetCommand();  // starts the thread
        std::this_thread::sleep_for(std::chrono::seconds(3));
        const std::uint64_t cycles = machine.threadCycles() - before;
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        machine.stopSimulation();
        machine.computer().powerSwitch().setState(1);

        const double achieved = cycles / seconds;
        const double ideal = 1.0 / (0.001 + cycleSeconds);
        state.counters["cycles_per_second"] = achieved;
        state.counters["ideal_per_second"] = ideal;
        state.counters["fraction_of_ideal"] = achieved / ideal;
        state.counters["cycle_us"] = cycleSeconds * 1e6;
    }
}
void BM_ThreadCycleRateAtFastestClock(benchmark::State& state) { threadCycleRate(state, true); }
void BM_ThreadCycleRateAtFastestClockRelayRam(benchmark::State& state) { threadCycleRate(state, false); }
BENCHMARK(BM_ThreadCycleRateAtFastestClock)->Iterations(1)->Unit(benchmark::kSecond);
BENCHMARK(BM_ThreadCycleRateAtFastestClockRelayRam)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace
}  // namespace tarnwick

BENCHMARK_MAIN();
