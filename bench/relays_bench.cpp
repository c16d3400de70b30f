// Cost of the Relays and Signals windows. The Relays window: its copy of the relays under the cycle lock,
// the relay-built memory's picture, a whole frame, and what they do to the
// machine's cycles when a frame is taken every 40 cycles (25 frames a second
// at the fastest clock, 1 ms a cycle).
//
//   build/bench/relays_bench
//
// RelaysCopy/processor and RelaysCopy/memory are the time the cycle lock is
// held for a frame. CyclesWithView/* run cycles with the window's work every
// 40th cycle and report "overhead", their time per cycle over the same
// cycles' without it, minus one; the targets: at most 0.10 (a step of the
// relay-built memory slowed by at most 10%, the byte-array machine keeping
// 90% of its rate). RelaysFrame/* is a frame on the window thread: the copy,
// the lamps drawn into an image, and for the memory its picture.
// SignalsFrame is a frame of View > Signals: 32 rows over a full ring of
// 8,192 cycles copied from the recorder and drawn.

#include <benchmark/benchmark.h>

#include <QImage>
#include <QPainter>
#include <QTabWidget>
#include <algorithm>
#include <cstdint>
#include <iterator>
#include <memory>
#include <vector>

#include "app/Machine.h"
#include "app/Session.h"
#include "bench/BenchQt.h"
#include "bench/BenchSession.h"
#include "gui/MemoryPictureView.h"
#include "gui/RelayBoard.h"
#include "gui/RelaysWindow.h"
#include "gui/SignalsWindow.h"
#include "machine/Computer.h"
#include "machine/MachineMap.h"
#include "machine/RelaySnapshot.h"
#include "memory/MemoryLines.h"
#include "memory/RelayLaneRAM.h"

namespace {

using tarnwick::Computer;

constexpr int cyclesPerFrame = 40;

using tarnwick::bench::runningSession;

void RelaysCopyProcessor(benchmark::State& state) {
    auto session = runningSession(true);
    tarnwick::RelaySnapshot snapshot;
    session->computer().keepRelaysBeforeStep(true);
    for (auto _ : state) {
        session->computer().copyRelays(snapshot, false);
        benchmark::DoNotOptimize(snapshot.relays.data());
    }
}
BENCHMARK(RelaysCopyProcessor)->Name("RelaysCopy/processor")->Unit(benchmark::kMicrosecond);

void RelaysCopyMemory(benchmark::State& state) {
    auto session = runningSession(false);
    tarnwick::RelaySnapshot snapshot;
    for (auto _ : state) {
        session->computer().copyRelays(snapshot, true);
        benchmark::DoNotOptimize(snapshot.memory->columns.data());
    }
}
BENCHMARK(RelaysCopyMemory)->Name("RelaysCopy/memory")->Unit(benchmark::kMicrosecond);

// Cycles alone, then the same number with the window's copy every 40th
// cycle and the relays before each step kept; both on the same program,
// both in this thread's CPU time (the copy runs on the cycling thread, as it
// holds the cycle lock).
void CyclesWithView(benchmark::State& state, bool fastRam) {
    auto session = runningSession(fastRam);
    Computer& computer = session->computer();
    tarnwick::RelaySnapshot snapshot;
    double plain = 0;
    double viewed = 0;
    for (auto _ : state) {
        state.PauseTiming();
        computer.keepRelaysBeforeStep(false);
        const double t0 = tarnwick::bench::threadSeconds();
        for (int k = 0; k < cyclesPerFrame; ++k) computer.runCycle();
        const double t1 = tarnwick::bench::threadSeconds();
        computer.keepRelaysBeforeStep(true);
        for (int k = 0; k < cyclesPerFrame; ++k) computer.runCycle();
        computer.copyRelays(snapshot, true);
        const double t2 = tarnwick::bench::threadSeconds();
        state.ResumeTiming();
        plain += t1 - t0;
        viewed += t2 - t1;
    }
    state.counters["overhead"] = viewed / plain - 1;
    state.counters["cycle_us"] = plain / static_cast<double>(state.iterations() * cyclesPerFrame) * 1e6;
    state.counters["viewed_cycle_us"] =
        viewed / static_cast<double>(state.iterations() * cyclesPerFrame) * 1e6;
}
BENCHMARK_CAPTURE(CyclesWithView, fast, true)->Name("CyclesWithView/fast")->Iterations(200);
BENCHMARK_CAPTURE(CyclesWithView, relay, false)->Name("CyclesWithView/relay")->Iterations(20);

// A frame as the window makes it, drawn into an image instead of a screen.
void RelaysFrame(benchmark::State& state, bool fastRam) {
    tarnwick::Machine machine(fastRam);
    machine.computer().powerSwitch().setState(1);
    machine.powerCommand();
    machine.computer().resetSwitch().setState(0);
    tarnwick::RelaysWindow window(machine.computer(), nullptr);
    if (!fastRam) window.tabs()->setCurrentIndex(tarnwick::RelaysWindow::memoryTab);
    QImage lamps(window.board()->size(), QImage::Format_RGB32);
    for (auto _ : state) {
        machine.computer().runCycle();  // so that the frame has something new to draw
        window.refresh();
        window.board()->render(&lamps);
        if (!fastRam) {
            QImage picture(window.memoryPicture()->size(), QImage::Format_RGB32);
            window.memoryPicture()->render(&picture);
        }
    }
}
BENCHMARK_CAPTURE(RelaysFrame, processor, true)->Name("RelaysFrame/processor")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(RelaysFrame, memory, false)->Name("RelaysFrame/memory")->Unit(benchmark::kMillisecond);

// A frame of View > Signals with 32 rows and a full ring: the copy of the
// recording and the diagram drawn into an image.
void SignalsFrame(benchmark::State& state) {
    tarnwick::Machine machine(true);
    tarnwick::bench::loadLoopingProgram(machine);
    tarnwick::SignalsWindow window(machine, nullptr);
    window.resize(900, 700);
    const auto& map = tarnwick::MachineMap::get();
    for (std::size_t k = 0; window.rowNames().size() < 32 && k < map.relays().size(); k += 97)
        window.addRow(map.relays()[k].name);
    for (std::size_t k = 0; k < window.recorder().capacity(); ++k) machine.computer().runCycle();
    QImage diagram(window.diagram()->size(), QImage::Format_RGB32);
    for (auto _ : state) {
        machine.computer().runCycle();
        window.refresh();
        window.diagram()->render(&diagram);
    }
    state.counters["rows"] = static_cast<double>(window.rowNames().size());
}
BENCHMARK(SignalsFrame)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) { return tarnwick::bench::runWithQt(argc, argv); }
