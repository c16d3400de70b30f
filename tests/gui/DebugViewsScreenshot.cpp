// Renders the Memory and Program windows, without a display, to two PNGs:
// the worked example loaded, a breakpoint on its store, run until it stops
// there (Memory window) and on to its halt (Program window at the store).
//
//     QT_QPA_PLATFORM=offscreen tarnwick_debug_views_screenshot docs/memory-window.png
//     docs/program-window.png
//
// Exits non-zero if a picture could not be made.

#include <QApplication>
#include <QPixmap>
#include <QTableView>
#include <cstdio>
#include <vector>

#include "app/Machine.h"
#include "gui/FrontPanel.h"
#include "gui/MemoryWindow.h"
#include "gui/ProgramWindow.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s MEMORY.png PROGRAM.png\n", argv[0]);
        return 2;
    }
    tarnwick::FrontPanel frontPanel;
    tarnwick::Machine& machine = frontPanel.machine();
    tarnwick::MainWindow& window = frontPanel.window();

    // Load 5Ah, add 33h, store at 22h, halt; stepped on this thread to the
    // first cycle of the store, as a breakpoint there would leave it.
    const std::vector<std::uint8_t> program{0x10, 0x00, 0x20, 0x20, 0x00, 0x21, 0x11, 0x00, 0x22, 0xFF};
    machine.computer().powerSwitch().setState(1);
    machine.powerCommand();
    for (std::size_t a = 0; a < program.size(); ++a)
        machine.computer().loadByte(static_cast<std::uint16_t>(a), program[a]);
    machine.computer().loadByte(0x20, 0x5A);
    machine.computer().loadByte(0x21, 0x33);
    machine.computer().pauseSwitch().setState(1);
    machine.computer().resetSwitch().setState(0);
    machine.resetCommand();
    while (machine.computer().programCounterValue() != 0x0006) machine.computer().runCycle();
    machine.stopConditions.setBreakpoint(0x0006, true);

    tarnwick::ProgramWindow* programWindow = window.programWindow();
    programWindow->resize(560, 300);
    programWindow->show();
    programWindow->refresh();
    QApplication::processEvents();
    const QPixmap programShot = programWindow->grab();

    // On past the store: 8Dh has just been written at 0022h.
    for (int i = 0; i < 8; ++i) machine.computer().runCycle();
    tarnwick::MemoryWindow* memoryWindow = window.memoryWindow();
    memoryWindow->resize(620, 300);
    memoryWindow->show();
    memoryWindow->model()->refresh();
    memoryWindow->view()->scrollToTop();
    QApplication::processEvents();
    const QPixmap memoryShot = memoryWindow->grab();

    if (!memoryShot.save(QString::fromLocal8Bit(argv[1]), "PNG") ||
        !programShot.save(QString::fromLocal8Bit(argv[2]), "PNG")) {
        std::fprintf(stderr, "cannot write the pictures\n");
        return 1;
    }
    memoryWindow->close();
    programWindow->close();
    return 0;
}
