// The front panel's achieved cycle rate at the fastest clock (1 ms) with its
// windows open, against the same panel with none open: what a user sees.
//
//   build/bench/panel_bench        (offscreen unless QT_QPA_PLATFORM says otherwise)
//
// Each run opens the panel, starts the machine on a program that never
// halts and lets the window thread's event loop run for three seconds while
// the simulation thread cycles. cycles_per_second is the simulation
// thread's rate; window_cpu is the window thread's CPU time over the same
// seconds (1 would be a whole core). The windows are View > Relays (its
// Memory tab when the relay-built memory is in use, its Changes marks on)
// and View > Signals, then also View > Memory and View > Program.

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QCheckBox>
#include <QEventLoop>
#include <QTabWidget>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <iterator>

#include "app/Machine.h"
#include "app/MemoryLoader.h"
#include "bench/BenchQt.h"
#include "bench/BenchSession.h"
#include "gui/FrontPanel.h"
#include "gui/RelaysWindow.h"
#include "gui/SignalsWindow.h"

namespace {

using Clock = std::chrono::steady_clock;

enum class Windows { none, relaysAndSignals, all };

void openWindows(tarnwick::MainWindow& window, bool relayMemory, Windows windows) {
    if (windows == Windows::none) return;
    window.showRelaysWindow();
    tarnwick::RelaysWindow* relays = window.relaysWindow();
    relays->changesToggle()->setChecked(true);
    if (relayMemory) relays->tabs()->setCurrentIndex(tarnwick::RelaysWindow::memoryTab);
    window.showSignalsWindow();
    if (windows == Windows::all) {
        window.memoryWindow();
        window.programWindow();
    }
}

void panelRate(benchmark::State& state, bool relayMemory, Windows windows) {
    for (auto _ : state) {
        tarnwick::FrontPanel panel;
        tarnwick::Machine& machine = panel.machine();
        tarnwick::MainWindow& window = panel.window();
        if (machine.computer().usesFastRam() == relayMemory) machine.toggleFastRam();
        window.show();
        openWindows(window, relayMemory, windows);
        machine.computer().resetSwitch().setState(1);
        machine.computer().powerSwitch().setState(1);
        machine.powerCommand();
        tarnwick::writeMemoryImage(machine.computer(), tarnwick::bench::loopingProgram());
        machine.setClockPeriod(tarnwick::Machine::fastestClockPeriod);
        QApplication::processEvents();

        const std::uint64_t before = machine.threadCycles();
        const double cpuBefore = tarnwick::bench::threadSeconds();
        const auto start = Clock::now();
        machine.computer().resetSwitch().setState(0);
        machine.resetCommand();  // starts the simulation thread
        QEventLoop loop;
        QTimer::singleShot(3000, &loop, &QEventLoop::quit);
        loop.exec();
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        const std::uint64_t cycles = machine.threadCycles() - before;
        const double cpu = tarnwick::bench::threadSeconds() - cpuBefore;
        machine.stopSimulation();
        window.close();

        state.counters["cycles_per_second"] = static_cast<double>(cycles) / seconds;
        state.counters["window_cpu"] = cpu / seconds;
    }
}

void PanelByteArray(benchmark::State& state, Windows windows) { panelRate(state, false, windows); }
void PanelRelayMemory(benchmark::State& state, Windows windows) { panelRate(state, true, windows); }

BENCHMARK_CAPTURE(PanelByteArray, none, Windows::none)->Iterations(1)->Unit(benchmark::kSecond);
BENCHMARK_CAPTURE(PanelByteArray, relaysAndSignals, Windows::relaysAndSignals)
    ->Iterations(1)
    ->Unit(benchmark::kSecond);
BENCHMARK_CAPTURE(PanelByteArray, all, Windows::all)->Iterations(1)->Unit(benchmark::kSecond);
BENCHMARK_CAPTURE(PanelRelayMemory, none, Windows::none)->Iterations(1)->Unit(benchmark::kSecond);
BENCHMARK_CAPTURE(PanelRelayMemory, relaysAndSignals, Windows::relaysAndSignals)
    ->Iterations(1)
    ->Unit(benchmark::kSecond);
BENCHMARK_CAPTURE(PanelRelayMemory, all, Windows::all)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace

int main(int argc, char** argv) { return tarnwick::bench::runWithQt(argc, argv); }
