// Renders View > Signals, without a display, to a PNG: the countdown
// example run for 90 cycles with the panel's signals and two decoder lines,
// the cursor on a cycle, so the picture shows waveforms and bus values.
//
//     QT_QPA_PLATFORM=offscreen tarnwick_signals_window_screenshot docs/signals-window.png
//
// Exits non-zero if the picture could not be made.

#include <QApplication>
#include <QPixmap>
#include <cstdio>

#include "app/Machine.h"
#include "app/MemoryLoader.h"
#include "gui/FrontPanel.h"
#include "gui/SignalsWindow.h"
#include "memory/MemoryFile.h"
#include "tests/gui/WorkedExample.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s PROGRAM.RAM OUTPUT.png\n", argv[0]);
        return 2;
    }
    const tarnwick::MemoryFileResult file = tarnwick::readMemoryFile(argv[1]);
    if (!file) {
        std::fprintf(stderr, "%s\n", file.error.c_str());
        return 1;
    }

    tarnwick::FrontPanel frontPanel;
    tarnwick::Machine& machine = frontPanel.machine();
    frontPanel.window().showSignalsWindow();
    tarnwick::SignalsWindow& signals_ = *frontPanel.window().signalsWindow();
    signals_.addRow("decoder.line30");
    signals_.addRow("decoder.line40");
    signals_.resize(1000,
                    tarnwick::SignalsDiagram::rulerHeight + 18 * tarnwick::SignalsDiagram::rowHeight + 90);

    machine.computer().pauseSwitch().setState(1);
    tarnwick::testing::powerOnAndLoad(machine, *file.image);
    machine.resetCommand();
    for (int cycle = 0; cycle < 90; ++cycle) machine.stepCycle();
    QApplication::processEvents();
    signals_.refresh();
    if (signals_.shown().cycles.size() < 10) return 1;
    signals_.setCursorEntry(signals_.shown().cycles.size() - 12);
    QApplication::processEvents();

    const QPixmap shot = signals_.grab();
    if (!shot.save(QString::fromLocal8Bit(argv[2]), "PNG")) {
        std::fprintf(stderr, "cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
