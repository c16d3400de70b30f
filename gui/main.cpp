// The front panel's entry point: build the machine and its window, run the
// event loop.

#include <QApplication>

#include "gui/FrontPanel.h"
#include "gui/PanelLook.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tarnwick"));
    QApplication::setDesktopFileName(QStringLiteral("tarnwick"));
    QApplication::setWindowIcon(tarnwick::programIcon());

    tarnwick::FrontPanel frontPanel;
    frontPanel.window().show();
    return QApplication::exec();
}
