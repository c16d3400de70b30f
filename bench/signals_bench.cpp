// Cost of recording signals for the timing diagram.
//
//   build/bench/signals_bench
//
// SignalCycle/plain is one machine cycle on the byte-array memory with no
// recorder; SignalCycle/recording the same cycle with a SignalRecorder of 32
// rows on the cycle hook, so the difference is what recording adds to a
// cycle (the target: at most 5%). SignalRecord/32 is one record() of 32 rows
// alone. SignalSnapshot/32 is the copy the Signals window takes per frame of
// a full ring (8,192 entries) of 32 rows, into the previous frame's copy; the
// simulation thread waits at most that long for the recorder's lock.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <memory>
#include <vector>

#include "app/Session.h"
#include "bench/BenchSession.h"
#include "machine/Computer.h"
#include "machine/MachineMap.h"
#include "machine/NamedSignals.h"
#include "machine/SignalRecorder.h"

namespace {

using tarnwick::Computer;

// 32 rows: the panel's signals, then relays and signals from every section.
std::vector<tarnwick::NamedSignal> thirtyTwoRows() {
    std::vector<tarnwick::NamedSignal> rows = tarnwick::panelSignals();
    const auto& map = tarnwick::MachineMap::get();
    for (std::size_t k = 0; rows.size() < 24 && k < map.signals().size(); k += 7)
        rows.push_back(*tarnwick::findNamedSignal(map.signals()[k].name));
    for (std::size_t k = 0; rows.size() < 32; k += 97)
        rows.push_back(*tarnwick::findNamedSignal(map.relays()[k].name));
    return rows;
}

void SignalCycle(benchmark::State& state) {
    const bool recording = state.range(0) != 0;
    auto session = tarnwick::bench::runningSession(true);
    Computer& computer = session->computer();
    tarnwick::SignalRecorder recorder;
    if (recording) {
        recorder.setRows(thirtyTwoRows());
        computer.addCycleWatcher(&recorder);
    }
    for (auto _ : state) computer.runCycle();
    computer.removeCycleWatcher(&recorder);
    benchmark::DoNotOptimize(computer.accumulatorValue());
}
BENCHMARK(SignalCycle)->ArgName("recording")->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

void SignalRecord(benchmark::State& state) {
    auto session = tarnwick::bench::runningSession(true);
    tarnwick::SignalRecorder recorder;
    recorder.setRows(thirtyTwoRows());
    for (auto _ : state) recorder.record(session->computer());
    state.counters["rows"] = 32;
}
BENCHMARK(SignalRecord)->Arg(32)->Unit(benchmark::kMicrosecond);

void SignalSnapshot(benchmark::State& state) {
    auto session = tarnwick::bench::runningSession(true);
    tarnwick::SignalRecorder recorder;
    recorder.setRows(thirtyTwoRows());
    for (std::size_t k = 0; k < recorder.capacity(); ++k) recorder.record(session->computer());
    // As the window takes it: into the copy of the previous frame.
    tarnwick::SignalRecorder::Snapshot copy;
    for (auto _ : state) {
        recorder.record(session->computer());
        recorder.snapshot(copy);
        benchmark::DoNotOptimize(copy.cycles.data());
    }
}
BENCHMARK(SignalSnapshot)->Arg(32)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
