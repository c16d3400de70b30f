// The RAM control panel's window driven by clicks: layout, Takeover, the
// address timer and the Write pulse, with either memory.

#include <QtTest>
#include <memory>

#include "app/MemoryLoader.h"
#include "gui/ControlPanelWindow.h"
#include "gui/IndicatorLampWidget.h"
#include "gui/ToggleSwitchWidget.h"
#include "machine/Computer.h"
#include "machine/Lamps.h"
#include "tests/gui/PanelTestSupport.h"

namespace tarnwick::test {
namespace {

void click(QWidget* widget) { QTest::mouseClick(widget, Qt::LeftButton, {}, widget->rect().center()); }

// Sets the panel's address and data switches by clicking those that differ.
void dial(ControlPanelWindow& window, std::uint16_t address, std::uint8_t data) {
    for (int k = 0; k < 16; ++k) {
        ToggleSwitchWidget* s = window.addressSwitch(k);
        if (s->control().isOn() != (((address >> k) & 1) != 0)) click(s);
    }
    for (int j = 0; j < 8; ++j) {
        ToggleSwitchWidget* s = window.dataSwitch(j);
        if (s->control().isOn() != (((data >> j) & 1) != 0)) click(s);
    }
}

std::uint8_t dataLamps(const Computer& computer) {
    return static_cast<std::uint8_t>(lampValue(computer.controlPanel().dataLamps, LampOrder::lowBitFirst));
}

// A computer with its memory powered, and the panel window shown.
struct Bench {
    explicit Bench(bool fastRam) : computer(fastRam) {
        computer.distributePower(true);
        host.resize(472, 373);
        window = new ControlPanelWindow(computer, &host);
        host.show();
    }
    // Puts a step-counting byte array in place of the memory.
    CountingRAM& countSteps() {
        auto counting = std::make_unique<CountingRAM>();
        CountingRAM& ram = *counting;
        computer.installMemory(std::move(counting));
        computer.distributePower(true);
        return ram;
    }

    Computer computer;
    QWidget host;
    ControlPanelWindow* window;
};

}  // namespace

class ControlPanelWindowTest : public QObject {
    Q_OBJECT

private slots:
    // Where each control stands in the window (its sunken edge included), as
    // fixed numbers: A15 at the left, A0 and D0 at the right of their rows.
    void controlsStandAtTheirPlacesWithTheirIds() {
        Bench bench(true);
        ControlPanelWindow& w = *bench.window;
        QCOMPARE(w.geometry(), QRect(10, 153, 452, 200));
        const int addressX[16] = {417, 391, 365, 339, 313, 287, 261, 235,
                                  209, 183, 157, 131, 105, 79,  53,  27};
        for (int k = 0; k < 16; ++k) {
            QCOMPARE(w.addressSwitch(k)->geometry(), QRect(addressX[k], 27, 24, 40));
            QCOMPARE(w.addressSwitch(k)->id(), 113 + k);
            QVERIFY(&w.addressSwitch(k)->control() == &bench.computer.controlPanel().addressSwitches[k]);
        }
        const int dataX[8] = {209, 183, 157, 131, 105, 79, 53, 27};
        for (int j = 0; j < 8; ++j) {
            QCOMPARE(w.dataSwitch(j)->geometry(), QRect(dataX[j], 95, 24, 40));
            QCOMPARE(w.dataSwitch(j)->id(), 129 + j);
            QVERIFY(&w.dataSwitch(j)->control() == &bench.computer.controlPanel().dataSwitches[j]);
            QCOMPARE(w.dataLamp(j)->geometry(), QRect(dataX[j], 170, 24, 24));
            QVERIFY(&w.dataLamp(j)->control() == &bench.computer.controlPanel().dataLamps[j]);
        }
        QCOMPARE(w.writeSwitch()->geometry(), QRect(339, 130, 24, 40));
        QCOMPARE(w.writeSwitch()->id(), 137);
        QCOMPARE(w.takeoverSwitch()->geometry(), QRect(389, 130, 24, 40));
        QCOMPARE(w.takeoverSwitch()->id(), 138);
    }

    void titleAndLabelsArePaintedInTheirBoxes() {
        Bench bench(true);
        const QImage image = bench.window->grab().toImage();
        const int e = ControlPanelWindow::edge;
        QCOMPARE(image.pixelColor(e + 100, e + 5), QColor(192, 192, 192));
        const QRect boxes[] = {
            {157, 6, 154, 15},  {7, 28, 13, 14},    {7, 54, 13, 14},    {7, 93, 13, 14},
            {7, 119, 13, 14},   {319, 128, 13, 14}, {319, 154, 13, 14}, {371, 128, 13, 14},
            {371, 154, 13, 14}, {417, 77, 21, 14},  {24, 77, 27, 14},   {209, 142, 21, 14},
            {27, 142, 21, 14},  {332, 176, 34, 14}, {373, 176, 52, 14},
        };
        for (const QRect& box : boxes)
            QVERIFY2(hasInk(image, box.translated(e, e)), qPrintable(QString::number(box.x())));
        // The space between the rows holds no text.
        QVERIFY(!hasInk(image, QRect(e + 60, e + 4, 80, 18)));
        // Labels keep to their boxes: "Write" and "Takeover" do not meet.
        QVERIFY(!hasInk(image, QRect(e + 367, e + 174, 5, 18)));
    }

    void handWriteStoresTheByteAndWriteSpringsBack_data() {
        QTest::addColumn<bool>("fastRam");
        QTest::newRow("byte array") << true;
        QTest::newRow("relay-built") << false;
    }
    void handWriteStoresTheByteAndWriteSpringsBack() {
        QFETCH(bool, fastRam);
        Bench bench(fastRam);
        Computer& c = bench.computer;
        ControlPanelWindow& w = *bench.window;

        click(w.takeoverSwitch());
        dial(w, 0x0012, 0x5A);
        QElapsedTimer pulse;
        pulse.start();
        click(w.writeSwitch());
        if (fastRam) QVERIFY(pulse.elapsed() >= ControlPanelWindow::writePulseFastMs - 1);

        QVERIFY(!c.controlPanel().writeSwitch.isOn());
        QCOMPARE(w.writeSwitch()->grab().toImage().pixelColor(12, 34), QColor(Qt::white));  // lever down
        QCOMPARE(dataLamps(c), std::uint8_t{0x5A});

        // Back to the machine side, whose lines all read 0: address 0 is empty.
        click(w.takeoverSwitch());
        QCOMPARE(dataLamps(c), std::uint8_t{0});
        QCOMPARE(readMemoryRange(c, 0x0011, 0x0013), (std::vector<std::uint8_t>{0x00, 0x5A, 0x00}));
    }

    void takeoverStepsAtOnceAndHandsTheMemoryToTheSwitches() {
        Bench bench(true);
        Computer& c = bench.computer;
        ControlPanelWindow& w = *bench.window;
        writeMemoryImage(c, MemoryImage{3, 3, {0xC3}});
        c.controlPanel().setWrite(false);

        // Takeover off: the switches reach nothing, however they are set.
        dial(w, 0x0003, 0xFF);
        click(w.writeSwitch());
        QCOMPARE(readMemoryRange(c, 0x0003, 0x0003), std::vector<std::uint8_t>{0xC3});

        click(w.takeoverSwitch());
        QCOMPARE(dataLamps(c), std::uint8_t{0xC3});
    }

    void addressClicksStepOnceAfterTheLastOfThem() {
        Bench bench(true);
        CountingRAM& ram = bench.countSteps();
        ControlPanelWindow& w = *bench.window;
        const int timerMs = ControlPanelWindow::addressTimerMs;

        // Takeover off: the timer runs out without a step.
        click(w.addressSwitch(0));
        QTest::qWait(timerMs + 200);
        QCOMPARE(ram.steps.load(), 0);

        click(w.takeoverSwitch());
        QCOMPARE(ram.steps.load(), 1);

        click(w.addressSwitch(1));
        click(w.addressSwitch(2));
        click(w.addressSwitch(3));
        QCOMPARE(ram.steps.load(), 1);
        QTRY_COMPARE_WITH_TIMEOUT(ram.steps.load(), 2, 5000);
        QTest::qWait(timerMs + 200);
        QCOMPARE(ram.steps.load(), 2);

        // Each click restarts the wait.
        click(w.addressSwitch(4));
        QTest::qWait(timerMs * 3 / 5);
        click(w.addressSwitch(5));
        QElapsedTimer sinceLast;
        sinceLast.start();
        QTest::qWait(timerMs * 3 / 5);
        if (sinceLast.elapsed() < timerMs - 50) QCOMPARE(ram.steps.load(), 2);
        QTRY_COMPARE_WITH_TIMEOUT(ram.steps.load(), 3, 5000);
        QTest::qWait(timerMs + 200);
        QCOMPARE(ram.steps.load(), 3);
    }

    // While a load or save runs the panel is disabled: an address step asked
    // for just before waits, and runs once the panel is enabled again.
    void aDisabledPanelHoldsItsAddressStepUntilEnabled() {
        Bench bench(true);
        CountingRAM& ram = bench.countSteps();
        ControlPanelWindow& w = *bench.window;
        click(w.takeoverSwitch());
        QCOMPARE(ram.steps.load(), 1);
        click(w.addressSwitch(2));
        w.setEnabled(false);
        QVERIFY(!w.addressTimer().isActive());
        QTest::qWait(ControlPanelWindow::addressTimerMs + 200);
        QCOMPARE(ram.steps.load(), 1);
        click(w.addressSwitch(3));  // disabled: no click, no flip
        QVERIFY(!bench.computer.controlPanel().addressSwitches[3].isOn());
        w.setEnabled(true);
        QTRY_COMPARE_WITH_TIMEOUT(ram.steps.load(), 2, 5000);
        w.setEnabled(false);
        w.setEnabled(true);
        QTest::qWait(ControlPanelWindow::addressTimerMs + 200);
        QCOMPARE(ram.steps.load(), 2);  // nothing was pending the second time
    }

    void dataSwitchesAloneStepNothing() {
        Bench bench(true);
        CountingRAM& ram = bench.countSteps();
        ControlPanelWindow& w = *bench.window;
        click(w.takeoverSwitch());
        QCOMPARE(ram.steps.load(), 1);
        for (int j = 0; j < 8; ++j) click(w.dataSwitch(j));
        QTest::qWait(ControlPanelWindow::addressTimerMs + 200);
        QCOMPARE(ram.steps.load(), 1);
        QCOMPARE(dataLamps(bench.computer), std::uint8_t{0});  // shown only at the next step
    }

    void writeWithTakeoverOffWaitsWritesNothingAndSpringsBack() {
        Bench bench(true);
        CountingRAM& ram = bench.countSteps();
        ControlPanelWindow& w = *bench.window;
        QElapsedTimer pulse;
        pulse.start();
        click(w.writeSwitch());
        QVERIFY(pulse.elapsed() >= ControlPanelWindow::writePulseIdleMs - 1);
        QCOMPARE(ram.steps.load(), 0);
        QVERIFY(!bench.computer.controlPanel().writeSwitch.isOn());
    }

    void notificationsWithANonZeroCodeAreIgnored() {
        Bench bench(true);
        CountingRAM& ram = bench.countSteps();
        bench.computer.controlPanel().takeoverSwitch.setState(1);
        bench.window->command(ControlPanelWindow::takeoverSwitchId, 1);
        bench.window->command(ControlPanelWindow::firstAddressSwitchId, 1);
        QVERIFY(!bench.window->addressTimer().isActive());
        QCOMPARE(ram.steps.load(), 0);
        bench.window->command(ControlPanelWindow::takeoverSwitchId, 0);
        QCOMPARE(ram.steps.load(), 1);
    }
};

}  // namespace tarnwick::test

QTEST_MAIN(tarnwick::test::ControlPanelWindowTest)
#include "ControlPanelWindowTest.moc"
