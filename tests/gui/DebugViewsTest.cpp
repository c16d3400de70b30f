// The Memory and Program windows on a real front panel, offscreen.

#include <QAction>
#include <QLabel>
#include <QTableView>
#include <QtTest>
#include <chrono>
#include <thread>

#include "app/Machine.h"
#include "gui/FrontPanel.h"
#include "gui/MemoryWindow.h"
#include "gui/ProgramWindow.h"
#include "tests/gui/PanelTestSupport.h"

namespace tarnwick::test {

namespace {

// The worked example and a second store, written by hand as the loader does.
void loadWorkedExample(Machine& machine) {
    machine.computer().powerSwitch().setState(1);
    machine.powerCommand();
    const auto image = workedExample();
    for (std::size_t a = 0; a < image.size(); ++a)
        machine.computer().loadByte(static_cast<std::uint16_t>(a), image[a]);
}

QString shown(MemoryModel& model, std::uint16_t address) {
    return model
        .data(model.index(address / MemoryModel::rowBytes, address % MemoryModel::rowBytes), Qt::DisplayRole)
        .toString();
}

QString hexOf(std::uint8_t byte) { return QStringLiteral("%1").arg(byte, 2, 16, QLatin1Char('0')).toUpper(); }

}  // namespace

class DebugViewsTest : public QObject {
    Q_OBJECT

private slots:
    // The bytes shown are the relay-built memory's own, read back one memory
    // step per address, after a program stored into it.
    void memoryWindowShowsTheRelayBuiltMemory() {
        FrontPanel panel;
        Machine& machine = panel.machine();
        panel.window().command(MainWindow::useFastRamId, 0);  // the relay-built memory
        QVERIFY(!machine.computer().usesFastRam());
        loadWorkedExample(machine);
        machine.computer().resetSwitch().setState(0);
        for (int i = 0; i < 40; ++i) machine.computer().runCycle();  // runs to its halt, 8Dh stored at 0022h
        MemoryWindow* window = panel.window().memoryWindow();
        window->show();
        MemoryModel& model = *window->model();
        model.refresh();
        QCOMPARE(shown(model, 0x22), QStringLiteral("8D"));
        for (std::uint32_t a = 0; a < 0x100; ++a) {
            const auto address = static_cast<std::uint16_t>(a);
            QCOMPARE(shown(model, address), hexOf(machine.computer().readByte(address)));
        }
        window->close();
    }

    // Edits go through the machine only while no clock drives it; while
    // the simulation thread runs, the grid is read-only and a typed byte is
    // refused without a memory step.
    void editsOnlyWhileNoClockRuns() {
        FrontPanel panel;
        Machine& machine = panel.machine();
        loadWorkedExample(machine);  // Power on, Reset on
        MemoryWindow* window = panel.window().memoryWindow();
        window->show();
        MemoryModel& model = *window->model();
        const QModelIndex cell = model.index(0x30 / 16, 0x30 % 16);
        QVERIFY(model.flags(cell) & Qt::ItemIsEditable);
        QVERIFY(model.setData(cell, QStringLiteral("a7"), Qt::EditRole));
        QCOMPARE(machine.computer().readByte(0x30), 0xA7);
        QCOMPARE(shown(model, 0x30), QStringLiteral("A7"));
        QVERIFY(!model.setData(cell, QStringLiteral("1G"), Qt::EditRole));
        QVERIFY(!model.setData(cell, QStringLiteral("123"), Qt::EditRole));
        QVERIFY(window->statusLine()->text().contains(QStringLiteral("not a byte")));

        // Reset off with Pause off: the thread runs the program.
        machine.setClockPeriod(Machine::fastestClockPeriod);
        machine.computer().resetSwitch().setState(0);
        machine.resetCommand();
        QVERIFY(machine.simulationAlive());
        QVERIFY(!(model.flags(cell) & Qt::ItemIsEditable));
        const std::uint64_t stepsBefore = machine.computer().controlPanel().stepCount();
        const std::uint64_t cyclesBefore = machine.threadCycles();
        QVERIFY(!model.setData(cell, QStringLiteral("55"), Qt::EditRole));
        QVERIFY(!machine.editByte(0x30, 0x55));
        machine.stopSimulation();
        // Only the thread's cycles stepped the memory: one step each.
        QCOMPARE(machine.computer().controlPanel().stepCount() - stepsBefore,
                 machine.threadCycles() - cyclesBefore);
        QCOMPARE(machine.computer().readByte(0x30), 0xA7);
        window->close();
    }

    // Go to takes an address in hex and, for a source, its labels.
    void goToAnAddressOrALabel() {
        FrontPanel panel;
        MemoryWindow* window = panel.window().memoryWindow();
        window->show();
        QVERIFY(window->goTo(QStringLiteral("0234h")));
        QCOMPARE(window->view()->currentIndex().row(), 0x23);
        QCOMPARE(window->view()->currentIndex().column(), 4);
        QVERIFY(window->goTo(QStringLiteral("0x1F")));
        QCOMPARE(window->view()->currentIndex().row(), 1);
        QVERIFY(!window->goTo(QStringLiteral("nowhere")));
        QVERIFY(window->statusLine()->text().contains(QStringLiteral("nowhere")));
        QVERIFY(!window->goTo(QStringLiteral("12345")));
        window->close();
    }

    // The disassembly of memory marks the instruction being executed with
    // its phase, the register line reads as the lamps do, and a click in the
    // gutter sets and clears a breakpoint in the machine.
    void programWindowFollowsTheMachine() {
        FrontPanel panel;
        Machine& machine = panel.machine();
        loadWorkedExample(machine);
        machine.computer().resetSwitch().setState(0);
        for (int i = 0; i < 3; ++i) machine.computer().runCycle();  // LDA, phase 0 clock on
        ProgramWindow* window = panel.window().programWindow();
        window->show();
        window->refresh();
        ProgramModel& model = *window->model();
        QVERIFY(model.currentRow());
        const int row = *model.currentRow();
        QCOMPARE(model.addressOfRow(row), std::optional<std::uint16_t>(0x0000));
        QVERIFY(model.data(model.index(row, ProgramModel::textColumn), Qt::DisplayRole)
                    .toString()
                    .contains(QStringLiteral("lda"), Qt::CaseInsensitive));
        // Through ADD to the STA at 0006h.
        while (machine.computer().programCounterValue() < 0x0006) machine.computer().runCycle();
        window->refresh();
        QCOMPARE(model.addressOfRow(*model.currentRow()), std::optional<std::uint16_t>(0x0006));
        const QString registers = window->registerLine()->text();
        QVERIFY2(registers.contains(QStringLiteral("A 8Dh")), qPrintable(registers));

        // The gutter of the HLT line at 0009h.
        int hltRow = -1;
        for (int r = 0; r < model.rowCount(); ++r)
            if (model.addressOfRow(r) == std::optional<std::uint16_t>(0x0009)) hltRow = r;
        QVERIFY(hltRow >= 0);
        const QRect gutter = window->view()->visualRect(model.index(hltRow, ProgramModel::gutterColumn));
        QTest::mouseClick(window->view()->viewport(), Qt::LeftButton, {}, gutter.center());
        QVERIFY(machine.stopConditions.hasBreakpoint(0x0009));
        QVERIFY(model.data(model.index(hltRow, ProgramModel::gutterColumn), Qt::DisplayRole)
                    .toString()
                    .contains(QChar(0x25CF)));
        QTest::mouseClick(window->view()->viewport(), Qt::LeftButton, {}, gutter.center());
        QVERIFY(!machine.stopConditions.hasBreakpoint(0x0009));
        window->close();
    }

    // Run to Cursor from Reset on stops before the instruction on the
    // cursor's line is fetched, and leaves no breakpoint behind.
    void runToCursorStopsAtTheCursor() {
        FrontPanel panel;
        Machine& machine = panel.machine();
        machine.setClockPeriod(Machine::fastestClockPeriod);
        loadWorkedExample(machine);
        ProgramWindow* window = panel.window().programWindow();
        window->show();
        window->refresh();
        ProgramModel& model = *window->model();
        int staRow = -1;
        for (int r = 0; r < model.rowCount(); ++r)
            if (model.addressOfRow(r) == std::optional<std::uint16_t>(0x0006)) staRow = r;
        QVERIFY(staRow >= 0);
        window->view()->setCurrentIndex(model.index(staRow, ProgramModel::textColumn));
        panel.window().command(MainWindow::runToCursorId, 0);
        QTRY_VERIFY_WITH_TIMEOUT(machine.computer().pauseSwitch().isOn() && !machine.simulationAlive(),
                                 20000);
        QTRY_VERIFY_WITH_TIMEOUT(!machine.stopConditions.hasBreakpoint(0x0006), 5000);
        QCOMPARE(machine.computer().programCounterValue(), 0x0006);
        QCOMPARE(machine.computer().accumulatorValue(), 0x8D);
        QCOMPARE(machine.computer().readByte(0x22), 0x00);  // the store has not run
        window->close();
    }

    // Closing the front panel closes both windows.
    void closingThePanelClosesTheViews() {
        FrontPanel panel;
        panel.window().show();
        panel.window().command(MainWindow::viewMemoryId, 0);
        panel.window().command(MainWindow::viewProgramId, 0);
        QVERIFY(panel.window().memoryWindow()->isVisible());
        QVERIFY(panel.window().programWindow()->isVisible());
        panel.window().close();
        QVERIFY(!panel.window().memoryWindow()->isVisible());
        QVERIFY(!panel.window().programWindow()->isVisible());
    }
};

}  // namespace tarnwick::test

QTEST_MAIN(tarnwick::test::DebugViewsTest)
#include "DebugViewsTest.moc"
