// Speed of the two memories. Built with the project (RelWithDebInfo):
//
//   cmake --build build --target memory_bench && build/bench/memory_bench
//
// RelayMemoryStep reports, besides its time, the floor measured in the same
// process (one tick of each of 10,280,899 relay bytes in a flat array, the
// least any step of the relay-built memory can cost) and step / floor as the
// counter "ratio"; both are timed in the thread's CPU time. Peak memory of a
// process holding one relay-built memory:
//
//   /usr/bin/time -v build/bench/memory_bench --benchmark_filter=BuildAndDestroy

#include <benchmark/benchmark.h>

#include <time.h>

#include <cstddef>
#include <cstdint>
#include <memory>

#include "memory/FastRAM.h"
#include "memory/MemoryLines.h"
#include "memory/SixtyFourKilobyteRAM.h"
#include "relay/Relay.h"

namespace {

using tarnwick::FastRAM;
using tarnwick::Relay;
using tarnwick::SixtyFourKbRAM;
using tarnwick::SixtyFourKilobyteRAM;

constexpr std::size_t kRelays = 10'280'899;

// The floor and the step are timed in this thread's CPU time, so that the
// ratio holds on a busy machine.
double threadSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// One pass of the floor: every relay ticked once, nothing else.
void tickAll(Relay* relays) {
    for (std::size_t i = 0; i < kRelays; ++i) relays[i].tick();
    benchmark::ClobberMemory();
}

// CPU seconds per floor pass, averaged over about a fifth of a second once the
// array is warm.
double measureFloor() {
    auto relays = std::make_unique<Relay[]>(kRelays);
    benchmark::DoNotOptimize(relays.get());
    for (int i = 0; i < 3; ++i) tickAll(relays.get());
    long passes = 0;
    const double start = threadSeconds();
    double elapsed = 0;
    do {
        tickAll(relays.get());
        ++passes;
        elapsed = threadSeconds() - start;
    } while (elapsed < 0.2);
    return elapsed / static_cast<double>(passes);
}

void prepare(SixtyFourKbRAM& ram) {
    ram.setVoltage(true);
    tarnwick::applyAddress(ram, 0x1234);
    tarnwick::applyDataIn(ram, 0xA5);
    ram.setWrite(true);
    ram.step();
    ram.setWrite(false);
}

void Floor(benchmark::State& state) {
    auto relays = std::make_unique<Relay[]>(kRelays);
    benchmark::DoNotOptimize(relays.get());
    for (auto _ : state) tickAll(relays.get());
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(kRelays));
}
BENCHMARK(Floor)->Unit(benchmark::kMillisecond);

void RelayMemoryStep(benchmark::State& state) {
    SixtyFourKilobyteRAM ram;
    prepare(ram);
    const double floor = measureFloor();
    ram.step();
    const double start = threadSeconds();
    for (auto _ : state) {
        ram.step();
        benchmark::DoNotOptimize(ram.getDataOutBit0());
    }
    const double step = (threadSeconds() - start) / static_cast<double>(state.iterations());
    state.counters["floor_ms"] = floor * 1e3;
    state.counters["step_ms"] = step * 1e3;
    state.counters["ratio"] = step / floor;
}
BENCHMARK(RelayMemoryStep)->Unit(benchmark::kMillisecond);

// What the machine does once per cycle: 26 line settings, a step, 8 reads.
void RelayMemoryAccess(benchmark::State& state) {
    SixtyFourKilobyteRAM ram;
    prepare(ram);
    std::uint16_t address = 0;
    for (auto _ : state) {
        tarnwick::applyAddress(ram, address);
        tarnwick::applyDataIn(ram, static_cast<std::uint8_t>(address));
        ram.setWrite((address & 1) != 0);
        ram.step();
        benchmark::DoNotOptimize(tarnwick::readDataOut(ram));
        address = static_cast<std::uint16_t>(address * 5 + 1);
    }
}
BENCHMARK(RelayMemoryAccess)->Unit(benchmark::kMillisecond);

void BuildAndDestroy(benchmark::State& state) {
    for (auto _ : state) {
        auto ram = std::make_unique<SixtyFourKilobyteRAM>();
        benchmark::DoNotOptimize(ram.get());
        ram.reset();
    }
}
BENCHMARK(BuildAndDestroy)->Unit(benchmark::kMillisecond);

void FastRAMStep(benchmark::State& state) {
    FastRAM ram;
    prepare(ram);
    for (auto _ : state) {
        ram.step();
        benchmark::DoNotOptimize(ram.getDataOutBit0());
    }
}
BENCHMARK(FastRAMStep);

}  // namespace

BENCHMARK_MAIN();
