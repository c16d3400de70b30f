// The front panel's entry point: build the machine, open its window, run the
// event loop, and stop the simulation thread before any window goes.

#include <QApplication>

#include "app/Machine.h"
#include "panel/qt/MainWindow.h"
#include "panel/qt/PanelLook.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tarnwick"));
    QApplication::setDesktopFileName(QStringLiteral("tarnwick"));
    QApplication::setWindowIcon(tarnwick::programIcon());

    // The machine outlives its windows: the lamps and switches detach from
    // it as their windows are destroyed.
    tarnwick::Machine machine;
    int exitCode = 0;
    {
        tarnwick::MainWindow window(machine);
        window.show();
        exitCode = QApplication::exec();
        // Whatever ended the loop, no cycle may run while the windows go.
        machine.stopSimulation();
    }
    return exitCode;
}
