// Speed of the memories. Built with the project (RelWithDebInfo):
//
//   cmake --build build --target memory_bench && build/bench/memory_bench
//
// RelayMemoryStep/lanes (a step with one address line changed, so that it
// runs rather than being skipped; the widest lanes the processor offers, as the
// product uses them), /lanes16 (the baseline instruction set), /lanes32 (AVX2,
// where present) and /tree report, besides their time, the floor measured in
// the same process: one tick of each of 10,280,899 relay bytes in a flat
// array, the least any step of the relay-built memory can cost, vectorised
// (relay_floor.cpp). Counters: step_ms, floor_ms and
// ratio = step / floor; scalar_floor_ms and scalar_ratio give the same loop
// as -O2 compiles it here, unvectorised, as earlier figures were taken;
// avx512_floor_ms and avx512_ratio the loop with AVX-512, where present. All
// are timed in the thread's CPU time. Peak memory of a process holding one
// relay-built memory:
//
//   /usr/bin/time -v build/bench/memory_bench --benchmark_filter=RelayMemoryStep/lanes$

#include <benchmark/benchmark.h>
#include <time.h>

#include <cstddef>
#include <cstdint>
#include <memory>

#include "memory/FastRAM.h"
#include "memory/MemoryLines.h"
#include "memory/RelayLaneRAM.h"
#include "memory/RelayMemory.h"
#include "relay/Relay.h"
#include "relay_floor.h"

namespace {

using tarnwick::FastRAM;
using tarnwick::Relay;
using tarnwick::RelayLaneRAM;
using tarnwick::RelayMemoryKind;
using tarnwick::SixtyFourKbRAM;

// The memories measured: the lanes as the product builds them (the widest
// the processor offers), the lanes at each narrower width, the tree.
using Make = std::unique_ptr<SixtyFourKbRAM> (*)();
std::unique_ptr<SixtyFourKbRAM> lanes() { return tarnwick::makeRelayMemory(RelayMemoryKind::Lanes); }
std::unique_ptr<SixtyFourKbRAM> lanes16() {
    return std::make_unique<RelayLaneRAM>(RelayLaneRAM::LaneWidth::Sse2);
}
std::unique_ptr<SixtyFourKbRAM> lanes32() {
    return std::make_unique<RelayLaneRAM>(RelayLaneRAM::LaneWidth::Avx2);
}
std::unique_ptr<SixtyFourKbRAM> tree() { return tarnwick::makeRelayMemory(RelayMemoryKind::Tree); }

constexpr std::size_t kRelays = 10'280'899;

// The floor and the step are timed in this thread's CPU time, so that the
// ratio holds on a busy machine.
double threadSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// The floor loop as this file's -O2 compiles it.
void tickAllScalar(Relay* relays, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) relays[i].tick();
}

// CPU seconds per floor pass, averaged over about a fifth of a second once the
// array is warm.
template <class Pass>
double measureFloor(Pass pass) {
    auto relays = std::make_unique<Relay[]>(kRelays);
    auto once = [&] {
        pass(relays.get(), kRelays);
        benchmark::ClobberMemory();
    };
    benchmark::DoNotOptimize(relays.get());
    for (int i = 0; i < 3; ++i) once();
    long passes = 0;
    const double start = threadSeconds();
    double elapsed = 0;
    do {
        once();
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
    for (auto _ : state) {
        tarnwick::bench::tickAll(relays.get(), kRelays);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(kRelays));
}
BENCHMARK(Floor)->Unit(benchmark::kMillisecond);

void RelayMemoryStep(benchmark::State& state, Make make) {
    auto ram = make();
    prepare(*ram);
    const double floor = measureFloor(tarnwick::bench::tickAll);
    const double scalarFloor = measureFloor(tickAllScalar);
    ram->step();
    // Address line 0 goes on and off, so that every step runs: a step with
    // the lines of the step before is skipped by the lanes (RelayMemorySkipped).
    bool line = false;
    const double start = threadSeconds();
    for (auto _ : state) {
        line = !line;
        ram->setAddressBit0(line);
        ram->step();
        benchmark::DoNotOptimize(ram->getDataOutBit0());
    }
    const double step = (threadSeconds() - start) / static_cast<double>(state.iterations());
    state.counters["step_ms"] = step * 1e3;
    state.counters["floor_ms"] = floor * 1e3;
    state.counters["ratio"] = step / floor;
    state.counters["scalar_floor_ms"] = scalarFloor * 1e3;
    state.counters["scalar_ratio"] = step / scalarFloor;
    if (__builtin_cpu_supports("avx512bw")) {
        const double widestFloor = measureFloor(tarnwick::bench::tickAllAvx512);
        state.counters["avx512_floor_ms"] = widestFloor * 1e3;
        state.counters["avx512_ratio"] = step / widestFloor;
    }
}
BENCHMARK_CAPTURE(RelayMemoryStep, lanes, lanes)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(RelayMemoryStep, lanes16, lanes16)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(RelayMemoryStep, lanes32, lanes32)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(RelayMemoryStep, tree, tree)->Unit(benchmark::kMillisecond);

// A step with the lines of the step before: the lanes skip it.
void RelayMemorySkipped(benchmark::State& state) {
    auto ram = lanes();
    prepare(*ram);
    ram->step();
    for (auto _ : state) {
        ram->step();
        benchmark::DoNotOptimize(ram->getDataOutBit0());
    }
}
BENCHMARK(RelayMemorySkipped);

// What the machine does once per cycle: 26 line settings, a step, 8 reads.
void RelayMemoryAccess(benchmark::State& state, Make make) {
    auto ram = make();
    prepare(*ram);
    std::uint16_t address = 0;
    for (auto _ : state) {
        tarnwick::applyAddress(*ram, address);
        tarnwick::applyDataIn(*ram, static_cast<std::uint8_t>(address));
        ram->setWrite((address & 1) != 0);
        ram->step();
        benchmark::DoNotOptimize(tarnwick::readDataOut(*ram));
        address = static_cast<std::uint16_t>(address * 5 + 1);
    }
}
BENCHMARK_CAPTURE(RelayMemoryAccess, lanes, lanes)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(RelayMemoryAccess, lanes16, lanes16)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(RelayMemoryAccess, tree, tree)->Unit(benchmark::kMillisecond);

// With one step, so that every page of the relays has been touched.
void BuildAndDestroy(benchmark::State& state, Make make) {
    for (auto _ : state) {
        auto ram = make();
        ram->step();
        benchmark::DoNotOptimize(ram->getDataOutBit0());
        ram.reset();
    }
}
BENCHMARK_CAPTURE(BuildAndDestroy, lanes, lanes)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BuildAndDestroy, tree, tree)->Unit(benchmark::kMillisecond);

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
