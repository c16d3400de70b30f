// View > Signals, offscreen: the rows it records equal tarnwick-run's trace
// cycle for cycle, a bus row reads what the lamps show, the cursor and the
// keyboard, rows added, removed and moved, Export VCD, and the window across
// a memory swap, Power off, Reset and the front panel closing.

#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "app/MemoryLoader.h"
#include "gui/FrontPanel.h"
#include "gui/SignalsWindow.h"
#include "machine/Lamps.h"
#include "memory/MemoryFile.h"
#include "tests/gui/PanelTestSupport.h"
#include "tests/tools/run/RunToolSupport.h"
#include "tools/run/CommandLine.h"

using namespace tarnwick;
using namespace tarnwick::test;

namespace {

std::string examplePath(const char* name) { return std::string(TARNWICK_EXAMPLES_DIR) + "/" + name; }

using testing::jsonNumber;

// tarnwick-run --trace's lines for the first `cycles` cycles, by cycle number.
std::vector<std::string> traceOf(const std::string& image, int cycles) {
    std::vector<std::string> trace;
    for (const std::string& line : testing::lines(
             testing::runInProcess({"--trace", "--max-cycles", std::to_string(cycles), image}).out))
        if (line.rfind("{\"cycle\":", 0) == 0) trace.push_back(line);
    return trace;
}

// The panel's start-up with the image loaded, Pause on, Reset off: then
// every stepCycle() is one cycle the trace numbers too.
void loadAndRelease(Machine& machine, const std::string& path) {
    const MemoryFileResult file = readMemoryFile(path);
    QVERIFY2(file, file.error.c_str());
    machine.computer().pauseSwitch().setState(1);
    machine.computer().powerSwitch().setState(1);
    machine.powerCommand();
    QVERIFY(writeMemoryImage(machine.computer(), *file.image));
    machine.computer().resetSwitch().setState(0);
    machine.resetCommand();
}

int rowOf(const SignalsWindow& w, const std::string& name) {
    const auto names = w.rowNames();
    const auto found = std::find(names.begin(), names.end(), name);
    return found == names.end() ? -1 : static_cast<int>(found - names.begin());
}

std::uint64_t rowValue(const SignalsWindow& w, const std::string& name, std::size_t entry) {
    const int row = rowOf(w, name);
    if (row < 0) return ~0ull;
    return w.shown().rows[static_cast<std::size_t>(row)].values[entry];
}

}  // namespace

class SignalsWindowTest : public QObject {
    Q_OBJECT

private slots:
    void viewMenuOpensItWithThePanelsSignals() {
        FrontPanel program;
        MainWindow& window = program.window();
        window.show();
        QAction* item = window.signalsAction();
        QVERIFY(item);
        QCOMPARE(item->text(), QStringLiteral("&Signals"));
        QCOMPARE(item->shortcut(), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S));
        // View sits between Options and Help.
        const QList<QAction*> menus = window.menuBar()->actions();
        const auto at = [&](QMenu* m) { return menus.indexOf(m->menuAction()); };
        QVERIFY(at(window.optionsMenu()) < at(window.viewMenu()));
        QVERIFY(at(window.viewMenu()) < at(window.helpMenu()));

        QVERIFY(!window.signalsWindow());
        item->trigger();
        SignalsWindow* signals_ = window.signalsWindow();
        QVERIFY(signals_ && signals_->isVisible());
        std::vector<std::string> expected(std::begin(panelSignalNames), std::end(panelSignalNames));
        QCOMPARE(signals_->rowNames(), expected);
        // Closing the front panel closes it too.
        window.close();
        QVERIFY(!signals_->isVisible());
    }

    void recordedRowsEqualTheTraceCycleForCycle() {
        for (const char* name : {"countdown.RAM", "multiply.RAM", "runlight.RAM", "add16.RAM"}) {
            const int cycles = 150;
            const std::vector<std::string> trace = traceOf(examplePath(name), cycles);
            QVERIFY2(trace.size() > 20, name);

            FrontPanel program;
            Machine& machine = program.machine();
            program.window().showSignalsWindow();
            SignalsWindow& w = *program.window().signalsWindow();
            loadAndRelease(machine, examplePath(name));
            while (machine.computer().codeValue() != 0xFF &&
                   w.recorder().snapshot().cycles.back() < std::uint64_t(cycles))
                QCOMPARE(machine.stepCycle(), 1);
            w.refresh();

            const SignalRecorder::Snapshot& s = w.shown();
            std::size_t compared = 0;
            for (std::size_t e = 0; e < s.cycles.size(); ++e) {
                const std::uint64_t cycle = s.cycles[e];
                if (cycle == 0) continue;
                QVERIFY2(cycle <= trace.size(), name);
                const std::string& line = trace[cycle - 1];
                QCOMPARE(jsonNumber(line, "cycle"), std::optional<std::uint64_t>(cycle));
                const QByteArray where = QByteArray(name) + " cycle " + QByteArray::number(qulonglong(cycle));
                auto expect = [&](const std::string& row, const char* key) {
                    QVERIFY2(jsonNumber(line, key) == rowValue(w, row, e), where + " " + key);
                };
                expect("clockOscillator.clock", "clock");
                expect("controlPanel.address", "address");
                expect("decoder.q", "code");
                expect("arithmeticUnit.accumulator", "accumulator");
                expect("arithmeticUnit.zero", "zero");
                expect("arithmeticUnit.carry", "carry");
                QVERIFY2(jsonNumber(line, "operand") ==
                             rowValue(w, "highOperand.q", e) * 256 + rowValue(w, "lowOperand.q", e),
                         where + " operand");
                std::optional<std::uint64_t> phase;
                for (int k = 0; k < 4; ++k)
                    if (rowValue(w, "phaseSequencer.phase[" + std::to_string(k) + "]", e)) phase = k;
                QVERIFY2(jsonNumber(line, "phase") == phase, where + " phase");
                ++compared;
            }
            // Every numbered cycle run is in the window, each once, in order.
            QVERIFY2(compared >= std::min<std::size_t>(trace.size(), cycles) - 1, name);
        }
    }

    void aBusRowAndTheCursorReadWhatTheLampsShow() {
        FrontPanel program;
        Machine& machine = program.machine();
        program.window().showSignalsWindow();
        SignalsWindow& w = *program.window().signalsWindow();
        loadAndRelease(machine, examplePath("countdown.RAM"));
        for (int i = 0; i < 40; ++i) QCOMPARE(machine.stepCycle(), 1);
        w.refresh();
        const std::size_t last = w.shown().cycles.size() - 1;
        QCOMPARE(rowValue(w, "controlPanel.address", last),
                 std::uint64_t(lampValue(machine.computer().addressLamps(), LampOrder::lowBitFirst)));
        QCOMPARE(rowValue(w, "arithmeticUnit.accumulator", last),
                 std::uint64_t(lampValue(machine.computer().accumulatorLamps(), LampOrder::highBitFirst)));
        QCOMPARE(rowValue(w, "decoder.q", last),
                 std::uint64_t(lampValue(machine.computer().codeLamps(), LampOrder::highBitFirst)));

        // The cursor on the newest entry: its cycle and the lamps' values.
        QTest::keyClick(w.diagram(), Qt::Key_End);
        QCOMPARE(w.cursorEntry(), std::optional<std::size_t>(last));
        const std::uint64_t cycle = *w.cursorCycle();
        QVERIFY(cycle > 30);
        const int accumulator = rowOf(w, "arithmeticUnit.accumulator");
        QCOMPARE(w.valueText(accumulator),
                 QStringLiteral("%1")
                     .arg(lampValue(machine.computer().accumulatorLamps(), LampOrder::highBitFirst), 2, 16,
                          QLatin1Char('0'))
                     .toUpper());
        QTest::keyClick(w.diagram(), Qt::Key_Left);
        QCOMPARE(*w.cursorCycle(), cycle - 1);
        QTest::keyClick(w.diagram(), Qt::Key_Right);
        QCOMPARE(*w.cursorCycle(), cycle);
        // New cycles do not move the cursor off its cycle.
        QCOMPARE(machine.stepCycle(), 1);
        w.refresh();
        QCOMPARE(*w.cursorCycle(), cycle);

        // Zoom keeps within its bounds; the view shows the cursor.
        w.setZoom(1000);
        QCOMPARE(w.zoom(), SignalsWindow::maximumZoom);
        w.setZoom(0);
        QCOMPARE(w.zoom(), SignalsWindow::minimumZoom);
        const QImage picture = w.grab().toImage();
        QVERIFY(hasInk(picture, QRect(SignalsDiagram::nameWidth + 20, 40, 200, 100)));
    }

    void rowsAreAddedRemovedAndMoved() {
        FrontPanel program;
        program.window().showSignalsWindow();
        SignalsWindow& w = *program.window().signalsWindow();
        const std::size_t panelRows = w.rowNames().size();
        QVERIFY(w.addRow("decoder.line10"));
        QVERIFY(!w.addRow("decoder.line10"));  // already shown
        QVERIFY(!w.addRow("decoder.nosuch"));
        QCOMPARE(w.rowNames().back(), std::string("decoder.line10"));
        w.moveRow(static_cast<int>(panelRows), -1);
        QCOMPARE(w.rowNames()[panelRows - 1], std::string("decoder.line10"));
        w.removeRow(0);
        QCOMPARE(w.rowNames().size(), panelRows);
        QCOMPARE(w.rowNames().front(), std::string("phaseSequencer.phase[0]"));

        // From the searchable list: a pattern narrows it, the choice is added.
        ModalWatch<SignalChooser> chooser([](SignalChooser* dialog) {
            dialog->filter()->setText(QStringLiteral("clockStopGate.relays[*]"));
            int shown = 0;
            for (int i = 0; i < dialog->list()->count(); ++i) {
                QListWidgetItem* item = dialog->list()->item(i);
                if (item->isHidden()) continue;
                ++shown;
                item->setSelected(true);
            }
            QCOMPARE(shown, 2);
            dialog->accept();
        });
        QTest::mouseClick(w.addButton(), Qt::LeftButton);
        TARNWICK_VERIFY_MODAL(chooser);
        QCOMPARE(w.rowNames().back(), std::string("clockStopGate.relays[1]"));
    }

    void exportWritesTheShownRowsAndRangeWholeOrNotAtAll() {
        FrontPanel program;
        Machine& machine = program.machine();
        program.window().showSignalsWindow();
        SignalsWindow& w = *program.window().signalsWindow();
        w.resize(SignalsDiagram::nameWidth + 40 * SignalsWindow::defaultZoom + 40, 500);
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        loadAndRelease(machine, examplePath("countdown.RAM"));
        for (int i = 0; i < 200; ++i) QCOMPARE(machine.stepCycle(), 1);
        w.refresh();
        const auto range = w.visibleRange();
        QVERIFY(range);
        QVERIFY(range->second - range->first + 1 < w.shown().cycles.size());  // a part of the recording

        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("shown.vcd"));
        w.setExportFileChooser([path] { return std::optional<QString>(path); });
        QTest::mouseClick(w.exportButton(), Qt::LeftButton);
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(file.readAll());
        // Every row, in its section's scope; the last timestep is the range's length.
        for (const char* var : {"$var wire 1 ~0 clock $end", "$var wire 16 ~5 address [15:0] $end",
                                "$scope module arithmetic $end", "$scope module arithmeticUnit $end"})
            QVERIFY2(text.contains(QLatin1String(var)), var);
        QVERIFY(text.contains(QStringLiteral("\n#%1\n").arg(range->second - range->first)));
        QVERIFY(!text.contains(QStringLiteral("\n#%1\n").arg(range->second - range->first + 1)));

        // A path that cannot be written leaves nothing behind.
        const QString bad = dir.filePath(QStringLiteral("no/such/dir.vcd"));
        QVERIFY(w.exportVcd(bad).has_value());
        QVERIFY(!QFile::exists(bad));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
                 QStringList{QStringLiteral("shown.vcd")});
    }

    void recordingGoesOnAcrossMemorySwapPowerOffAndReset() {
        FrontPanel program;
        Machine& machine = program.machine();
        MainWindow& window = program.window();
        window.showSignalsWindow();
        SignalsWindow& w = *window.signalsWindow();
        loadAndRelease(machine, examplePath("countdown.RAM"));
        for (int i = 0; i < 10; ++i) QCOMPARE(machine.stepCycle(), 1);
        QCOMPARE(w.recorder().snapshot().cycles.back(), std::uint64_t(10));

        // Power off: its cycle is recorded, unnumbered.
        machine.computer().powerSwitch().setState(0);
        machine.powerCommand();
        QCOMPARE(w.recorder().snapshot().cycles.back(), std::uint64_t(0));

        // The relay-built memory and back: each swap's cycles are recorded,
        // and cycles number from 1 again once the clock goes.
        for (int swap = 0; swap < 2; ++swap) {
            const std::uint64_t before = w.recorder().snapshot().recorded;
            window.command(MainWindow::useFastRamId, 0);
            loadAndRelease(machine, examplePath("countdown.RAM"));
            for (int i = 0; i < 6; ++i) QCOMPARE(machine.stepCycle(), 1);
            const auto s = w.recorder().snapshot();
            QVERIFY(s.recorded > before + 6);
            QCOMPARE(s.cycles.back(), std::uint64_t(6));
            QCOMPARE(s.rows[5].values.back(),
                     std::uint64_t(lampValue(machine.computer().addressLamps(), LampOrder::lowBitFirst)));
        }

        // Reset: numbering starts again.
        machine.computer().resetSwitch().setState(1);
        machine.resetCommand();
        QCOMPARE(w.recorder().snapshot().cycles.back(), std::uint64_t(0));
        machine.computer().resetSwitch().setState(0);
        machine.resetCommand();
        for (int i = 0; i < 3; ++i) QCOMPARE(machine.stepCycle(), 1);
        QCOMPARE(w.recorder().snapshot().cycles.back(), std::uint64_t(3));
    }

    void recordsWhileTheClockRunsAndPaintsFromItsCopy() {
        FrontPanel program;
        Machine& machine = program.machine();
        MainWindow& window = program.window();
        window.showSignalsWindow();
        SignalsWindow& w = *window.signalsWindow();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        loadAndRelease(machine, examplePath("runlight.RAM"));
        machine.setClockPeriod(Machine::fastestClockPeriod);
        machine.computer().pauseSwitch().setState(0);
        machine.startSimulation();
        // The timer repaints from copies while the simulation thread records.
        QTRY_VERIFY_WITH_TIMEOUT(w.shown().cycles.size() > 50, 10000);
        QTRY_VERIFY_WITH_TIMEOUT(w.shown().cycles.back() > 50, 10000);
        machine.stopSimulation();
        w.refresh();
        const auto& s = w.shown();
        // Numbered entries run on one by one, with no cycle lost or doubled
        // (stopping turns Power off: that last cycle is unnumbered).
        std::size_t followed = 0;
        for (std::size_t e = 1; e < s.cycles.size(); ++e) {
            if (s.cycles[e - 1] == 0 || s.cycles[e] == 0) continue;
            QCOMPARE(s.cycles[e], s.cycles[e - 1] + 1);
            ++followed;
        }
        QVERIFY(followed > 50);
    }
};

QTEST_MAIN(SignalsWindowTest)
#include "SignalsWindowTest.moc"
