// Renders the front panel, without a display, to a PNG: the worked example
// program loaded and run to its halt, so the picture shows lamps at work.
//
//     QT_QPA_PLATFORM=offscreen tarnwick_front_panel_screenshot docs/front-panel.png
//
// Exits non-zero if the picture could not be made or is not the panel's size.

#include <QApplication>
#include <QImage>
#include <QMenuBar>
#include <QPainter>
#include <QPixmap>
#include <QSettings>
#include <QTemporaryDir>
#include <cstdio>
#include <vector>

#include "app/Machine.h"
#include "app/MemoryLoader.h"
#include "gui/FrontPanel.h"
#include "tests/gui/WorkedExample.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT.png\n", argv[0]);
        return 2;
    }

    // The recent-file list is no part of the picture: leave the user's alone.
    QTemporaryDir settingsDir;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsDir.path());

    tarnwick::FrontPanel frontPanel;
    tarnwick::Machine& machine = frontPanel.machine();
    tarnwick::MainWindow& window = frontPanel.window();
    window.show();

    // The worked example, run on this thread.
    tarnwick::testing::powerOnAndLoad(machine, tarnwick::testing::workedExampleImage());
    for (int cycle = 0; cycle < 40; ++cycle) machine.computer().runCycle();
    QApplication::processEvents();

    // The client area with its menu bar, as the window shows it.
    const QPixmap shot = window.grab();
    if (shot.width() != tarnwick::MainWindow::clientWidth ||
        shot.height() != tarnwick::MainWindow::clientHeight + window.menuBar()->height()) {
        std::fprintf(stderr, "unexpected panel size %dx%d\n", shot.width(), shot.height());
        return 1;
    }
    if (!shot.save(QString::fromLocal8Bit(argv[1]), "PNG")) {
        std::fprintf(stderr, "cannot write %s\n", argv[1]);
        return 1;
    }
    window.close();
    return 0;
}
