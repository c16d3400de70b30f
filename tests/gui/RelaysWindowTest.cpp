// View > Relays on a real Machine, without a display: what each lamp shows
// is read back from the painted pixels and compared with the relays the map
// reads from the machine, every one of them, at chosen cycles.

#include <QAbstractItemView>
#include <QCheckBox>
#include <QCompleter>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QSettings>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QtTest>
#include <vector>

#include "app/Machine.h"
#include "app/MemoryLoader.h"
#include "gui/FrontPanel.h"
#include "gui/MainWindow.h"
#include "gui/MemoryPictureView.h"
#include "gui/RelayBoard.h"
#include "gui/RelaysWindow.h"
#include "gui/SignalsWindow.h"
#include "machine/MachineMap.h"
#include "tests/gui/PanelTestSupport.h"

namespace tarnwick::test {
namespace {

// Load 5Ah, add 33h, store at 22h, halt.
MemoryImage workedExample() {
    MemoryImage image;
    image.first = 0;
    image.last = 0x21;
    image.bytes.assign(0x22, 0);
    const std::uint8_t program[] = {0x10, 0x00, 0x20, 0x20, 0x00, 0x21, 0x11, 0x00, 0x22, 0xFF};
    std::copy(std::begin(program), std::end(program), image.bytes.begin());
    image.bytes[0x20] = 0x5A;
    image.bytes[0x21] = 0x33;
    return image;
}

std::vector<std::uint8_t> relaysThroughMap(const Computer& computer) {
    std::vector<std::uint8_t> bytes;
    for (const auto& relay : MachineMap::get().relays())
        bytes.push_back(MachineMap::relay(computer, relay).bits());
    return bytes;
}

struct Front {
    Front() {
        window.show();
        window.activateWindow();
    }
    // Power on, the image loaded, Reset off, then cycles run here (no thread),
    // as many as asked.
    void runTo(int cycles) {
        machine.computer().powerSwitch().setState(1);
        machine.powerCommand();
        QVERIFY(writeMemoryImage(machine.computer(), workedExample()));
        machine.computer().resetSwitch().setState(0);
        for (int cycle = 0; cycle < cycles; ++cycle) machine.computer().runCycle();
    }
    RelaysWindow* openRelays() {
        window.relaysAction()->trigger();
        RelaysWindow* relays = window.relaysWindow();
        if (relays != nullptr) relays->refresh();
        return relays;
    }
    FrontPanel program;
    Machine& machine = program.machine();
    MainWindow& window = program.window();
};

// Every lamp's painted colour against its relay's normally-open contact.
void expectLampsMatchRelays(RelaysWindow& relays, const Computer& computer, const char* when) {
    const QImage image = relays.board()->grab().toImage();
    const auto& map = MachineMap::get().relays();
    int wrong = 0;
    int lit = 0;
    for (std::size_t k = 0; k < map.size(); ++k) {
        const QColor shown = image.pixelColor(relays.board()->lampRect(static_cast<int>(k)).center());
        const bool expected = MachineMap::relay(computer, map[k]).normallyOpen();
        lit += expected ? 1 : 0;
        const QColor wanted = expected ? RelayBoard::litColour : RelayBoard::unlitColour;
        if (shown != wanted && ++wrong <= 5)
            qWarning("%s: %s shows %s, its contact is %s", when, map[k].name.c_str(),
                     qPrintable(shown.name()), expected ? "closed" : "open");
    }
    QVERIFY2(wrong == 0,
             qPrintable(QStringLiteral("%1: %2 lamps wrong").arg(QLatin1StringView(when)).arg(wrong)));
    QVERIFY2(lit > 0 || QLatin1StringView(when).startsWith(QLatin1StringView("off")), when);
}

}  // namespace

class RelaysWindowTest : public QObject {
    Q_OBJECT

    QTemporaryDir settingsDir_;

private slots:
    void initTestCase() {
        QVERIFY(settingsDir_.isValid());
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsDir_.path());
    }
    void init() { QSettings(QStringLiteral("Tarnwick"), QStringLiteral("tarnwick")).clear(); }
    void cleanup() {
        for (QWidget* top : QApplication::topLevelWidgets())
            if (top->isVisible()) top->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        settle();
    }

    void everyLampShowsItsRelaysContactAtChosenCycles() {
        Front f;
        f.runTo(0);
        RelaysWindow* relays = f.openRelays();
        QVERIFY(relays != nullptr);
        QVERIFY(QTest::qWaitForWindowExposed(relays));
        QCOMPARE(relays->board()->circuits().front().name, QStringLiteral("clockStopGate"));
        int ran = 0;
        for (int cycle : {1, 6, 17, 29, 40}) {
            for (; ran < cycle; ++ran) f.machine.computer().runCycle();
            relays->refresh();
            expectLampsMatchRelays(*relays, f.machine.computer(),
                                   qPrintable(QStringLiteral("cycle %1").arg(cycle)));
            if (QTest::currentTestFailed()) return;
        }
    }

    void changesRingExactlyTheRelaysThatChangedInTheLastCycle() {
        Front f;
        f.runTo(12);
        RelaysWindow* relays = f.openRelays();
        QVERIFY(relays != nullptr);
        QTest::mouseClick(relays->changesToggle(), Qt::LeftButton);
        QVERIFY(relays->board()->showChanges());
        const auto& map = MachineMap::get().relays();
        for (int cycle = 0; cycle < 6; ++cycle) {
            const std::vector<std::uint8_t> before = relaysThroughMap(f.machine.computer());
            f.machine.computer().runCycle();
            const std::vector<std::uint8_t> after = relaysThroughMap(f.machine.computer());
            relays->refresh();
            const QImage image = relays->board()->grab().toImage();
            int changed = 0;
            for (std::size_t k = 0; k < map.size(); ++k) {
                const bool differs = ((before[k] ^ after[k]) & 0x0C) != 0;
                changed += differs ? 1 : 0;
                const QColor ring =
                    image.pixelColor(relays->board()->lampRect(static_cast<int>(k)).topLeft());
                QVERIFY2((ring == RelayBoard::changedColour) == differs,
                         qPrintable(QStringLiteral("%1 after cycle %2: %3")
                                        .arg(QString::fromStdString(map[k].name))
                                        .arg(cycle)
                                        .arg(differs ? "changed, not ringed" : "ringed, unchanged")));
            }
            QVERIFY(changed > 0);
        }
        // Off: no rings.
        QTest::mouseClick(relays->changesToggle(), Qt::LeftButton);
        const QImage image = relays->board()->grab().toImage();
        for (std::size_t k = 0; k < map.size(); ++k)
            QVERIFY(image.pixelColor(relays->board()->lampRect(static_cast<int>(k)).topLeft()) !=
                    RelayBoard::changedColour);
    }

    void aCircuitClickedListsItsOutputsWithTheirValues() {
        Front f;
        f.runTo(40);  // the worked example has halted: accumulator 8Dh
        RelaysWindow* relays = f.openRelays();
        QVERIFY(relays != nullptr);
        RelayBoard* board = relays->board();
        const int circuit = board->circuitNamed(QStringLiteral("arithmeticUnit"));
        QVERIFY(circuit >= 0);
        QTest::mouseClick(board, Qt::LeftButton, {},
                          board->circuits()[static_cast<std::size_t>(circuit)].heading.center());
        QCOMPARE(board->selectedCircuit(), circuit);
        const auto items = relays->circuitDetails()->findItems(QStringLiteral("arithmeticUnit.accumulator"),
                                                               Qt::MatchExactly | Qt::MatchRecursive);
        QCOMPARE(items.size(), 1);
        QCOMPARE(f.machine.computer().accumulatorValue(), 0x8D);
        QCOMPARE(items.front()->text(1), QStringLiteral("8Dh"));
        // Every output listed reads what the map reads from the machine.
        const MachineMap& map = MachineMap::get();
        QTreeWidgetItem* outputs = relays->circuitDetails()->topLevelItem(0);
        QVERIFY(outputs->childCount() > 0);
        for (int i = 0; i < outputs->childCount(); ++i) {
            const auto* signal = map.findSignal(outputs->child(i)->text(0).toStdString());
            QVERIFY(signal != nullptr);
            const std::uint64_t value = MachineMap::value(f.machine.computer(), *signal);
            const QString text = outputs->child(i)->text(1);
            QCOMPARE(text.endsWith(QLatin1Char('h')) ? text.chopped(1).toULongLong(nullptr, 16)
                                                     : text.toULongLong(),
                     value);
        }
        // The tooltip of a lit relay names it and its contacts.
        const auto& relaysOfMap = map.relays();
        for (std::size_t k = 0; k < relaysOfMap.size(); ++k) {
            if (!MachineMap::relay(f.machine.computer(), relaysOfMap[k]).normallyOpen()) continue;
            const QString text = board->relayDescription(static_cast<int>(k));
            QVERIFY(text.startsWith(QString::fromStdString(relaysOfMap[k].name)));
            QVERIFY(text.contains(QStringLiteral("normally-open contact: carries current")));
            QVERIFY(text.contains(QStringLiteral("normally-closed contact: open")));
            QVERIFY(text.contains(QStringLiteral("coil: on")));
            break;
        }
    }

    void theSearchBoxFindsRelaysCircuitsAndSignals() {
        Front f;
        f.runTo(3);
        RelaysWindow* relays = f.openRelays();
        QVERIFY(relays != nullptr);
        RelayBoard* board = relays->board();
        QTest::keyClicks(relays->searchBox(), QStringLiteral("programCounter"));
        relays->searchBox()->completer()->popup()->hide();  // Return then reaches the box itself
        QTest::keyClick(relays->searchBox(), Qt::Key_Return);
        QCOMPARE(board->selectedCircuit(), board->circuitNamed(QStringLiteral("programCounter")));

        const auto* relay =
            MachineMap::get().findRelay("arithmeticUnit.adder.bits[3].carryOutGate.relays[1]");
        QVERIFY(relay != nullptr);
        QVERIFY(relays->find(QString::fromStdString(relay->name)));
        QCOMPARE(board->selectedCircuit(), board->circuitNamed(QStringLiteral("arithmeticUnit")));
        QVERIFY(relays->statusLine()->text().contains(QString::fromStdString(relay->name)));

        QVERIFY(relays->find(QStringLiteral("controlPanel.address")));
        QCOMPARE(board->selectedCircuit(), board->circuitNamed(QStringLiteral("controlPanel")));
        QVERIFY(relays->circuitDetails()->currentItem() != nullptr);
        QCOMPARE(relays->circuitDetails()->currentItem()->text(0), QStringLiteral("controlPanel.address"));

        QVERIFY(relays->find(QStringLiteral("carryoutgate")));  // a part of a name, any case
        QVERIFY(!relays->find(QStringLiteral("noSuchRelay")));
        QVERIFY(relays->statusLine()->text().contains(QStringLiteral("noSuchRelay")));
    }

    void theRelayMemoryIsPicturedAndSurvivesSwapsPowerOffAndReset() {
        Front f;
        RelaysWindow* relays = f.openRelays();
        QVERIFY(relays != nullptr);
        relays->tabs()->setCurrentIndex(RelaysWindow::memoryTab);
        QVERIFY2(relays->memoryPicture()->isHidden(), "the byte array is in use at start");

        f.machine.toggleFastRam();  // the relay-built memory
        QVERIFY(!f.machine.computer().controlPanel().usesFastRam());
        f.machine.computer().powerSwitch().setState(1);
        f.machine.powerCommand();
        f.machine.computer().loadByte(0x1234, 0xFF);  // block 72, row 6: the write's path
        relays->refresh();
        QVERIFY(relays->snapshot().relayMemory);
        QVERIFY(!relays->memoryPicture()->isHidden());
        const QImage& picture = relays->memoryPicture()->image();
        for (int column = 0; column < 8; ++column) {
            const QColor written = picture.pixelColor(MemoryPictureView::columnPosition(72, 6, column));
            const QColor other = picture.pixelColor(MemoryPictureView::columnPosition(72, 5, column));
            QVERIFY2(written.red() > other.red(), qPrintable(QStringLiteral("column %1").arg(column)));
        }
        expectLampsMatchRelays(*relays, f.machine.computer(), "relay memory");

        f.machine.computer().powerSwitch().setState(0);
        f.machine.powerCommand();
        relays->refresh();
        expectLampsMatchRelays(*relays, f.machine.computer(), "off");
        f.machine.computer().powerSwitch().setState(1);
        f.machine.powerCommand();
        f.machine.computer().resetSwitch().setState(1);
        f.machine.resetCommand();
        relays->refresh();
        expectLampsMatchRelays(*relays, f.machine.computer(), "reset");

        f.machine.toggleFastRam();  // back to the byte array
        relays->refresh();
        QVERIFY(!relays->snapshot().relayMemory);
        QVERIFY(relays->memoryPicture()->isHidden());
        expectLampsMatchRelays(*relays, f.machine.computer(), "off after the swap");
        // With the processor's tab shown the memory is not read at all.
        f.machine.toggleFastRam();
        relays->tabs()->setCurrentIndex(RelaysWindow::processorTab);
        relays->refresh();
        QVERIFY(!relays->snapshot().relayMemory);
    }

    // "Add to Signals" on a relay opens the timing diagram with that relay as
    // its last row; asking again adds no second row.
    void addToSignalsMakesARowOfTheTimingDiagram() {
        Front f;
        RelaysWindow* relays = f.openRelays();
        QVERIFY(relays != nullptr);
        QVERIFY(f.window.signalsWindow() == nullptr);
        const std::string name = MachineMap::get().relays()[7].name;
        emit relays->addToSignalsRequested(QString::fromStdString(name));
        SignalsWindow* signalsWindow = f.window.signalsWindow();
        QVERIFY(signalsWindow != nullptr);
        QVERIFY(signalsWindow->isVisible());
        QCOMPARE(signalsWindow->rowNames().back(), name);
        const std::size_t rows = signalsWindow->rowNames().size();
        emit relays->addToSignalsRequested(QString::fromStdString(name));
        QCOMPARE(signalsWindow->rowNames().size(), rows);
    }

    void closingTheFrontPanelClosesIt() {
        Front f;
        RelaysWindow* relays = f.openRelays();
        QVERIFY(relays != nullptr);
        QVERIFY(QTest::qWaitForWindowExposed(relays));
        f.window.close();
        QVERIFY(!relays->isVisible());
    }
};

}  // namespace tarnwick::test

QTEST_MAIN(tarnwick::test::RelaysWindowTest)
#include "RelaysWindowTest.moc"
