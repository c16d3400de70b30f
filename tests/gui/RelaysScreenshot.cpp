// Renders View > Relays, without a display, to a PNG: the worked example
// program a few cycles into its run, the arithmetic unit selected and the
// relays that changed in the last cycle ringed. A second file, if named,
// gets the Memory tab with the relay-built memory just written.
//
//     QT_QPA_PLATFORM=offscreen tarnwick_relays_screenshot docs/relays-window.png [docs/relays-memory.png]
//
// Exits non-zero if a picture could not be made.

#include <QApplication>
#include <QCheckBox>
#include <QPixmap>
#include <QTabWidget>
#include <cstdio>
#include <vector>

#include "app/Machine.h"
#include "app/MemoryLoader.h"
#include "gui/FrontPanel.h"
#include "gui/RelayBoard.h"
#include "gui/RelaysWindow.h"
#include "tests/gui/WorkedExample.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    if (argc != 2 && argc != 3) {
        std::fprintf(stderr, "usage: %s OUTPUT.png [MEMORY.png]\n", argv[0]);
        return 2;
    }

    tarnwick::FrontPanel frontPanel;
    tarnwick::Machine& machine = frontPanel.machine();
    tarnwick::MainWindow& window = frontPanel.window();
    window.show();

    const tarnwick::MemoryImage image = tarnwick::testing::workedExampleImage();
    tarnwick::testing::powerOnAndLoad(machine, image);
    window.showRelaysWindow();
    tarnwick::RelaysWindow* relays = window.relaysWindow();
    relays->resize(1000, 760);
    relays->changesToggle()->setChecked(true);
    for (int cycle = 0; cycle < 23; ++cycle) machine.computer().runCycle();
    relays->find(QStringLiteral("arithmeticUnit"));
    relays->refresh();
    QApplication::processEvents();
    if (!relays->grab().save(QString::fromLocal8Bit(argv[1]), "PNG")) {
        std::fprintf(stderr, "cannot write %s\n", argv[1]);
        return 1;
    }

    if (argc == 3) {
        machine.toggleFastRam();  // the relay-built memory, empty and unpowered
        machine.computer().powerSwitch().setState(1);
        machine.powerCommand();
        tarnwick::writeMemoryImage(machine.computer(), image);
        machine.computer().loadByte(0x1234, 0xA5);
        relays->tabs()->setCurrentIndex(tarnwick::RelaysWindow::memoryTab);
        relays->refresh();
        QApplication::processEvents();
        if (!relays->grab().save(QString::fromLocal8Bit(argv[2]), "PNG")) {
            std::fprintf(stderr, "cannot write %s\n", argv[2]);
            return 1;
        }
    }
    window.close();
    return 0;
}
