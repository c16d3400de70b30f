// The whole front panel on a real Machine, driven through its menus, keys,
// switches and slider as a user would.

#include <fcntl.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QAccessible>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QSettings>
#include <QSlider>
#include <QStyleOptionSlider>
#include <QTemporaryDir>
#include <QtTest>
#include <algorithm>
#include <thread>

#include "TarnwickVersion.h"
#include "app/Machine.h"
#include "app/MemoryLoader.h"
#include "gui/AboutBox.h"
#include "gui/AddressRangeDialog.h"
#include "gui/ControlPanelWindow.h"
#include "gui/FrontPanel.h"
#include "gui/ImageFiles.h"
#include "gui/IndicatorLampWidget.h"
#include "gui/MainWindow.h"
#include "gui/PanelLook.h"
#include "gui/StartUp.h"
#include "gui/ToggleSwitchWidget.h"
#include "machine/Lamps.h"
#include "tests/gui/PaintProbe.h"
#include "tests/gui/PanelTestSupport.h"

namespace tarnwick::test {
namespace {

void click(QWidget* widget) { QTest::mouseClick(widget, Qt::LeftButton, {}, widget->rect().center()); }

QWidget* windowOf(const PanelControl& control) { return dynamic_cast<PanelControlWidget*>(control.window()); }

bool isLampYellow(QColor c) { return c.red() > 200 && c.green() > 200 && c.blue() < 80; }

// The program's machine and window, shown.
struct Front {
    Front() {
        window.show();
        window.activateWindow();
    }

    // Opens a drop-down of the menu bar with a click on its title.
    void openMenu(QMenu* menu) {
        QMenuBar* bar = window.menuBar();
        QTest::mouseClick(bar, Qt::LeftButton, {}, bar->actionGeometry(menu->menuAction()).center());
    }
    // Opens the drop-down and clicks one of its items.
    void chooseFromMenu(QMenu* menu, const QString& text) {
        openMenu(menu);
        QAction* item = nullptr;
        for (QAction* action : menu->actions())
            if (action->text() == text) item = action;
        QVERIFY2(item, qPrintable(text));
        QVERIFY(QTest::qWaitForWindowExposed(menu));
        QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(item).center());
    }
    bool checkMarkShown() {
        openMenu(window.optionsMenu());
        const bool shown = window.useFastRamAction()->isChecked();
        window.optionsMenu()->hide();
        return shown;
    }
    // Loads a memory file through the menu and the real file dialog, typing
    // the path into its file-name field as a user would. (selectFile() leaves
    // that field alone while it has the keyboard focus, and the dialog then
    // refuses to close: typing is what works whatever the focus.)
    void loadThroughTheDialog(const QString& path) {
        ModalWatch<QFileDialog> picked([path](QFileDialog* dialog) {
            QCOMPARE(dialog->windowTitle(), QStringLiteral("Open memory file"));
            QCOMPARE(dialog->nameFilters(),
                     (QStringList{QStringLiteral("Memory files (*.RAM)"), QStringLiteral("All files (*.*)"),
                                  QStringLiteral("Assembler sources (*.asm)")}));
            QCOMPARE(dialog->selectedNameFilter(), QStringLiteral("Memory files (*.RAM)"));
            auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
            QVERIFY2(name, "the dialog has no file-name field");
            name->setText(path);
            QCOMPARE(dialog->selectedFiles(), QStringList{path});
            static_cast<QDialog*>(dialog)->accept();  // the Open button: checks the file, then closes
        });
        chooseFromMenu(window.fileMenu(), QStringLiteral("&Load Memory File..."));
        TARNWICK_VERIFY_MODAL(picked);
        QVERIFY(picked.acted());
        waitUntilIdle();
    }
    // A load or save runs on its worker after the command returns.
    void waitUntilIdle(int withinMs = 20000) { QTRY_VERIFY_WITH_TIMEOUT(!window.busy(), withinMs); }
    // Loads through the menu with the file already chosen: no dialog.
    void loadThroughTheMenu(const QString& path) {
        window.setMemoryFileChooser(
            [path] { return std::optional<std::string>(QFile::encodeName(path).toStdString()); });
        chooseFromMenu(window.fileMenu(), QStringLiteral("&Load Memory File..."));
        window.setMemoryFileChooser({});
        waitUntilIdle();
    }

    QAction* fileItem(const QString& text) {
        for (QAction* action : window.fileMenu()->actions())
            if (action->text() == text) return action;
        return nullptr;
    }
    // The address the lamps show: the last one a load wrote.
    unsigned addressShown() const {
        return lampValue(machine.computer().addressLamps(), LampOrder::lowBitFirst);
    }

    FrontPanel program;
    Machine& machine = program.machine();
    MainWindow& window = program.window();
};

// A 32 KB memory file of 11h bytes, 0 to 7FFFh: five minutes and more to load.
QString writeBigFile(const QTemporaryDir& dir) {
    const QString path = dir.filePath(QStringLiteral("BIG.RAM"));
    return writeMemoryFile(path, 0, 0x7FFF, std::vector<std::uint8_t>(0x8000, 0x11)) ? path : QString();
}

bool writeText(const QString& path, const char* text) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(text) == qint64(qstrlen(text));
}

// LDA x, HLT, x: 42h.
constexpr const char* smallSource = "        lda x\n        hlt\nx:      db 42h\n";

std::uint8_t dataLampsValue(Machine& machine) {
    return static_cast<std::uint8_t>(
        lampValue(machine.computer().controlPanel().dataLamps, LampOrder::lowBitFirst));
}

// Writes a file and loads it without the dialog's help, for tests about
// something else.
void loadImage(Machine& machine, std::int32_t first, const std::vector<std::uint8_t>& image) {
    MemoryImage memoryImage{first, first + static_cast<std::int32_t>(image.size()) - 1, image};
    machine.computer().powerSwitch().setState(1);
    machine.powerCommand();
    QVERIFY(writeMemoryImage(machine.computer(), memoryImage));
}

// Adds the byte at 10h to the accumulator and jumps back, for ever: every
// lamp group keeps changing.
std::vector<std::uint8_t> countingLoop() {
    std::vector<std::uint8_t> image(0x11, 0);
    const std::uint8_t program[] = {0x20, 0x00, 0x10, 0x30, 0x00, 0x00};
    std::copy(std::begin(program), std::end(program), image.begin());
    image[0x10] = 0x01;
    return image;
}

}  // namespace

class MainWindowTest : public QObject {
    Q_OBJECT

    TemporarySettings settings_;

private slots:
    // Remembered files and folders go to a folder of this run's own, never
    // the user's settings.
    void initTestCase() { QVERIFY(settings_.valid()); }
    // Each test starts with nothing remembered, whatever ran before it.
    void init() { TemporarySettings::clear(); }

    // Each test starts with no window, no modal and no pending deletion left
    // by another, whatever ran before it.
    void cleanup() {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal) modal->close();
        for (QWidget* top : QApplication::topLevelWidgets())
            if (top->isVisible()) top->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        settle();
        QVERIFY2(!modal, "a modal window was left open");
    }

    void startsWithTheByteArrayResetOnPowerAndPauseOff() {
        Front f;
        QCOMPARE(f.window.windowTitle(), QStringLiteral("Tarnwick Simulation"));
        QVERIFY(f.machine.computer().usesFastRam());
        QVERIFY(f.machine.computer().controlPanel().usesFastRam());
        QVERIFY(!f.machine.computer().powerSwitch().isOn());
        QVERIFY(f.machine.computer().resetSwitch().isOn());
        QVERIFY(!f.machine.computer().pauseSwitch().isOn());
        QCOMPARE(f.window.speedSlider()->value(), 100000);
        QCOMPARE(f.machine.clockPeriod(), 100000);
        QVERIFY(f.checkMarkShown());
        // The Reset lever is drawn up, Power's down.
        QCOMPARE(f.window.resetSwitch()->grab().toImage().pixelColor(12, 6), QColor(Qt::white));
        QCOMPARE(f.window.powerSwitch()->grab().toImage().pixelColor(12, 33), QColor(Qt::white));
    }

    void menusHoldTheirItems() {
        Front f;
        auto texts = [](QMenu* menu) {
            QStringList list;
            for (QAction* action : menu->actions())
                list << (action->isSeparator() ? QStringLiteral("-") : action->text());
            return list;
        };
        QStringList titles;
        for (QAction* action : f.window.menuBar()->actions()) titles << action->text();
        QCOMPARE(titles, (QStringList{"&File", "&Options", "&Run", "&View", "&Help"}));
        QCOMPARE(texts(f.window.fileMenu()), (QStringList{"&Load Memory File...", "&Reload", "Open &Recent",
                                                          "&Save Memory File...", "-", "E&xit"}));
        QCOMPARE(f.window.reloadAction()->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_R));
        QCOMPARE(f.window.openRecentMenu()->menuAction(), f.window.fileMenu()->actions().at(2));
        QCOMPARE(texts(f.window.optionsMenu()), (QStringList{"Use &Fast Ram"}));
        QCOMPARE(texts(f.window.runMenu()),
                 (QStringList{"Step &Cycle", "Step &Instruction", "Step &Back Cycle",
                              "Step Back I&nstruction", "-", "Run to C&ursor"}));
        QCOMPARE(f.window.runToCursorAction()->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_F10));
        QVERIFY(texts(f.window.viewMenu()).contains(QStringLiteral("&Memory")));
        QVERIFY(texts(f.window.viewMenu()).contains(QStringLiteral("&Program")));
        QCOMPARE(f.window.viewMemoryAction()->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_M));
        QCOMPARE(f.window.viewProgramAction()->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_P));
        QCOMPARE(f.window.stepCycleAction()->shortcut(), QKeySequence(Qt::Key_F10));
        QCOMPARE(f.window.stepInstructionAction()->shortcut(), QKeySequence(Qt::Key_F11));
        QCOMPARE(texts(f.window.helpMenu()), (QStringList{"&Documentation", "&About ..."}));
        QVERIFY(texts(f.window.viewMenu()).contains(QStringLiteral("&Relays")));
        QCOMPARE(f.window.relaysAction()->shortcut(), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_R));
        QVERIFY(f.window.useFastRamAction()->isCheckable());
    }

    void windowHasAFixedSizeAndNoMaximiseButton() {
        Front f;
        QVERIFY(QTest::qWaitForWindowExposed(&f.window));
        QCOMPARE(f.window.panel()->size(), QSize(469, 446));
        QCOMPARE(f.window.panel()->y(), f.window.menuBar()->height());
        QCOMPARE(f.window.minimumSize(), f.window.maximumSize());
        QVERIFY(!(f.window.windowFlags() & Qt::WindowMaximizeButtonHint));
        QVERIFY(f.window.windowFlags() & Qt::WindowMinimizeButtonHint);
        const QSize size = f.window.size();
        f.window.resize(size + QSize(100, 100));
        f.window.showMaximized();
        settle();
        QCOMPARE(f.window.size(), size);
    }

    void everyLampSwitchAndPanelStandsAtItsPlace() {
        Front f;
        Machine& m = f.machine;
        struct Place {
            const IndicatorLamp* lamp;
            int x, y;
        };
        // The positions as the panel's drawing gives them, written out: a
        // row's lamps stand 26 pixels apart, address bit 0 and phase 0 at
        // the right, accumulator, code and operand bit 7 (15) at the left.
        constexpr int rightToLeft[16] = {427, 401, 375, 349, 323, 297, 271, 245,
                                         219, 193, 167, 141, 115, 89,  63,  37};
        constexpr int leftToRight[16] = {37,  63,  89,  115, 141, 167, 193, 219,
                                         245, 271, 297, 323, 349, 375, 401, 427};
        std::vector<Place> lamps;
        for (int k = 0; k < 16; ++k) lamps.push_back({&m.computer().addressLamps()[k], rightToLeft[k], 123});
        for (int k = 0; k < 4; ++k) lamps.push_back({&m.computer().phaseLamps()[k], rightToLeft[k], 88});
        lamps.push_back({&m.computer().clockLamp(), 427, 53});
        for (int k = 0; k < 8; ++k)
            lamps.push_back({&m.computer().accumulatorLamps()[k], leftToRight[k], 362});
        for (int k = 0; k < 8; ++k) lamps.push_back({&m.computer().codeLamps()[k], leftToRight[k], 390});
        for (int k = 0; k < 16; ++k) lamps.push_back({&m.computer().operandLamps()[k], leftToRight[k], 418});
        lamps.push_back({&m.computer().zeroFlagLamp(), 323, 390});
        lamps.push_back({&m.computer().carryFlagLamp(), 401, 390});
        QCOMPARE(lamps.size(), size_t{55});

        for (const Place& place : lamps) {
            QWidget* widget = windowOf(*place.lamp);
            QVERIFY(widget);
            QCOMPARE(widget->parentWidget(), f.window.panel());
            QCOMPARE(widget->geometry(), QRect(place.x, place.y, 24, 24));
        }
        // Lighting each lamp in turn lights exactly that spot of the panel.
        for (const Place& place : lamps) {
            const_cast<IndicatorLamp*>(place.lamp)->setState(1);
            const QImage panel = f.window.panel()->grab().toImage();
            QVERIFY(isLampYellow(panel.pixelColor(place.x + 12, place.y + 14)));
            const_cast<IndicatorLamp*>(place.lamp)->setState(0);
        }

        struct SwitchPlace {
            ToggleSwitchWidget* widget;
            const ToggleSwitch* toggle;
            int x, id;
        };
        for (const SwitchPlace& s :
             {SwitchPlace{f.window.powerSwitch(), &m.computer().powerSwitch(), 42, 110},
              SwitchPlace{f.window.resetSwitch(), &m.computer().resetSwitch(), 113, 111},
              SwitchPlace{f.window.pauseSwitch(), &m.computer().pauseSwitch(), 183, 112}}) {
            QCOMPARE(s.widget->geometry(), QRect(s.x, 53, 24, 40));
            QCOMPARE(s.widget->id(), s.id);
            QCOMPARE(windowOf(*s.toggle), s.widget);
        }
        QCOMPARE(f.window.speedSlider()->geometry(), QRect(10, 10, 452, 40));
        QCOMPARE(f.window.controlPanelWindow()->geometry(), QRect(10, 153, 452, 200));
        QCOMPARE(f.window.controlPanelWindow()->parentWidget(), f.window.panel());
    }

    void labelsArePaintedOnThePanelGrey() {
        Front f;
        const QImage panel = f.window.panel()->grab().toImage();
        QCOMPARE(panel.pixelColor(300, 60), QColor(192, 192, 192));
        QCOMPARE(panel.pixelColor(11, 11), QColor(192, 192, 192));  // the slider's background
        const QRect boxes[] = {{36, 100, 37, 13}, {108, 100, 35, 13}, {178, 100, 37, 13}, {23, 55, 13, 13},
                               {94, 55, 13, 13},  {164, 55, 13, 13},  {23, 80, 13, 13},   {94, 80, 13, 13},
                               {164, 80, 13, 13}, {245, 368, 66, 13}, {245, 396, 32, 13}, {354, 396, 32, 13},
                               {432, 396, 32, 13}};
        for (const QRect& box : boxes) QVERIFY2(hasInk(panel, box), qPrintable(QString::number(box.x())));
        QVERIFY(!hasInk(panel, QRect(250, 60, 60, 20)));
        // Whatever face stands in for the label font, the text keeps to its
        // box: nothing between the last accumulator lamp and its label.
        QVERIFY(!hasInk(panel, QRect(243, 366, 2, 17)));
    }

    void sliderSetsThePeriodAtEveryMoveAndFastestIsLeft() {
        Front f;
        QSlider* slider = f.window.speedSlider();
        QStyleOptionSlider option;
        option.initFrom(slider);
        option.orientation = slider->orientation();
        option.minimum = slider->minimum();
        option.maximum = slider->maximum();
        option.sliderPosition = slider->sliderPosition();
        option.sliderValue = slider->value();
        option.upsideDown = slider->invertedAppearance();
        option.tickPosition = slider->tickPosition();
        option.tickInterval = slider->tickInterval();
        const QRect handle =
            slider->style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, slider);

        QPoint at = handle.center();
        QTest::mousePress(slider, Qt::LeftButton, {}, at);
        std::int32_t previous = f.machine.clockPeriod();
        for (int move = 0; move < 5; ++move) {
            at += QPoint(40, 0);
            QTest::mouseMove(slider, at);
            // Each move has set the period already, before any release.
            QCOMPARE(f.machine.clockPeriod(), slider->value());
            QVERIFY(f.machine.clockPeriod() > previous);  // rightwards is slower
            previous = f.machine.clockPeriod();
        }
        QTest::mouseRelease(slider, Qt::LeftButton, {}, at);

        slider->setFocus();
        QTest::keyClick(slider, Qt::Key_End);
        QCOMPARE(f.machine.clockPeriod(), 5000000);
        QTest::keyClick(slider, Qt::Key_Home);
        QCOMPARE(f.machine.clockPeriod(), 10000);
        option.sliderPosition = slider->sliderPosition();
        option.sliderValue = slider->value();
        const QRect fastest =
            slider->style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, slider);
        QVERIFY(fastest.center().x() < slider->width() / 10);
    }

    void workedExampleRunsToEightyDAndTheClockStops() {
        Front f;
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("ADD.RAM"));
        QVERIFY(writeMemoryFile(path, 0, 0x21, workedExample()));

        click(f.window.powerSwitch());
        QVERIFY(f.machine.computer().powerSwitch().isOn());
        f.loadThroughTheDialog(path);
        // The last address written, 21h, is on the address lamps.
        QCOMPARE(lampValue(f.machine.computer().addressLamps(), LampOrder::lowBitFirst), 0x21u);

        QTest::keyClick(f.window.speedSlider(), Qt::Key_Home);  // fastest clock
        click(f.window.resetSwitch());
        QVERIFY(!f.machine.computer().resetSwitch().isOn());
        QTRY_VERIFY_WITH_TIMEOUT(
            lampValue(f.machine.computer().codeLamps(), LampOrder::highBitFirst) == 0xFFu, 20000);
        QTRY_COMPARE_WITH_TIMEOUT(lampValue(f.machine.computer().accumulatorLamps(), LampOrder::highBitFirst),
                                  0x8Du, 20000);
        QVERIFY(!f.machine.computer().zeroFlagLamp().isOn());
        QVERIFY(!f.machine.computer().carryFlagLamp().isOn());

        // Halted: cycles go on, the clock lamp stays dark.
        const std::uint64_t cycles = f.machine.threadCycles();
        for (int sample = 0; sample < 20; ++sample) {
            QTest::qWait(10);
            QVERIFY(!f.machine.computer().clockLamp().isOn());
        }
        QVERIFY(f.machine.threadCycles() > cycles);
        QTRY_COMPARE_WITH_TIMEOUT(f.window.speedSlider()->toolTip(),
                                  QStringLiteral("Clock period 1 ms \u2014 halted"), 5000);

        // The stored sum, read by hand through the control panel.
        ControlPanelWindow* panel = f.window.controlPanelWindow();
        click(panel->takeoverSwitch());
        click(panel->addressSwitch(1));
        click(panel->addressSwitch(5));
        QTRY_COMPARE_WITH_TIMEOUT(
            lampValue(f.machine.computer().controlPanel().dataLamps, LampOrder::lowBitFirst), 0x8Du, 5000);
    }

    void addressLampsArePaintedWhileTheFileLoads() {
        Front f;
        QVERIFY(QTest::qWaitForWindowExposed(&f.window));
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("COUNT.RAM"));
        QVERIFY(writeMemoryFile(path, 0, 0x1F, std::vector<std::uint8_t>(0x20, 0x11)));
        PaintProbe lampZero(windowOf(f.machine.computer().addressLamps()[0]));
        settle();
        lampZero.reset();

        f.loadThroughTheMenu(path);
        // Bit 0 changes at every address; the lamp was painted as it went,
        // not once at the end.
        QVERIFY2(lampZero.paints >= 16, qPrintable(QString::number(lampZero.paints)));
        QCOMPARE(readMemoryRange(f.machine.computer(), 0x00, 0x1F), std::vector<std::uint8_t>(0x20, 0x11));
    }

    void rejectedFileIsReportedAndNothingIsWritten() {
        Front f;
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("SHORT.RAM"));
        // Claims 0 to 100h but holds ten bytes.
        QVERIFY(writeMemoryFile(path, 0, 0x100, {0x3E, 0x07}));
        QString report;
        ModalWatch<QMessageBox> shown([&report](QMessageBox* box) {
            report = box->text();
            box->accept();
        });
        f.loadThroughTheMenu(path);
        TARNWICK_VERIFY_MODAL(shown);
        QVERIFY2(report.contains(QStringLiteral("SHORT.RAM")), qPrintable(report));
        QVERIFY(f.machine.computer().powerSwitch().isOn());
        QCOMPARE(readMemoryRange(f.machine.computer(), 0, 1), (std::vector<std::uint8_t>{0, 0}));
    }

    void cancellingTheDialogLoadsNothingAndLeavesPowerOn() {
        Front f;
        ModalWatch<QFileDialog> cancelled([](QFileDialog* dialog) { dialog->reject(); });
        bool messageShown = false;
        ModalWatch<QMessageBox> message([&messageShown](QMessageBox* box) {
            messageShown = true;
            box->accept();
        });
        f.chooseFromMenu(f.window.fileMenu(), QStringLiteral("&Load Memory File..."));
        TARNWICK_VERIFY_MODAL(cancelled);
        // A message would have been shown before the menu command returned.
        QVERIFY(!messageShown);
        QVERIFY(f.machine.computer().powerSwitch().isOn());
    }

    void memoryKindSwitchesFromTheMenuAndTheMarkFollows() {
        Front f;
        loadImage(f.machine, 0, countingLoop());
        click(f.window.resetSwitch());
        QVERIFY(f.machine.simulationAlive());

        f.chooseFromMenu(f.window.optionsMenu(), QStringLiteral("Use &Fast Ram"));
        QVERIFY(!f.machine.computer().usesFastRam());
        QVERIFY(!f.machine.computer().controlPanel().usesFastRam());
        QVERIFY(!f.machine.simulationAlive());
        QVERIFY(!f.machine.computer().powerSwitch().isOn());
        QVERIFY(f.machine.computer().resetSwitch().isOn());
        QVERIFY(!f.machine.computer().pauseSwitch().isOn());
        QVERIFY(!f.checkMarkShown());

        f.chooseFromMenu(f.window.optionsMenu(), QStringLiteral("Use &Fast Ram"));
        QVERIFY(f.machine.computer().usesFastRam());
        QVERIFY(f.machine.computer().controlPanel().usesFastRam());
        QVERIFY(f.checkMarkShown());
        // The new memory is empty.
        click(f.window.powerSwitch());
        QCOMPARE(readMemoryRange(f.machine.computer(), 0, 5), std::vector<std::uint8_t>(6, 0));
    }

    // The presses real keyboards send for Alt + "?" and Alt + "/": on a US
    // layout "?" is Shift + "/", on a German one "?" is Shift + "ß" and "/"
    // is Shift + "7"; the bare forms are what a keyboard map may offer.
    void aboutBoxOpensFromTheKeysAsKeyboardsSendThem_data() {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        const int alt = Qt::AltModifier;
        const int altShift = Qt::AltModifier | Qt::ShiftModifier;
        QTest::newRow("US Alt + Shift + / (\"?\")") << int(Qt::Key_Question) << altShift;
        QTest::newRow("US Alt + /") << int(Qt::Key_Slash) << alt;
        QTest::newRow("German Alt + Shift + 7 (\"/\")") << int(Qt::Key_Slash) << altShift;
        QTest::newRow("Alt + ? without Shift") << int(Qt::Key_Question) << alt;
    }
    void aboutBoxOpensFromTheKeysAsKeyboardsSendThem() {
        QFETCH(int, key);
        QFETCH(int, modifiers);
        Front f;
        int opened = 0;
        ModalWatch<AboutBox> checked([&opened](AboutBox* box) {
            ++opened;
            QCOMPARE(box->windowTitle(), QStringLiteral("About"));
            QStringList texts;
            for (QLabel* label : box->findChildren<QLabel*>()) texts << label->text();
            QVERIFY(
                texts.contains(QStringLiteral("Tarnwick Version ") + QLatin1StringView(tarnwick::version)));
            QCOMPARE(box->okButton()->text(), QStringLiteral("OK"));
            QVERIFY(box->okButton()->isDefault());
            QTest::keyClick(box, Qt::Key_Escape);
        });
        f.window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&f.window));
        QTest::keyClick(&f.window, static_cast<Qt::Key>(key), Qt::KeyboardModifiers(modifiers));
        TARNWICK_VERIFY_MODAL(checked);
        QCOMPARE(opened, 1);
        QVERIFY(!QApplication::activeModalWidget());
    }

    void aboutBoxOpensFromTheMenu() {
        Front f;
        ModalWatch<AboutBox> closedWithOk([](AboutBox* box) { click(box->okButton()); });
        f.chooseFromMenu(f.window.helpMenu(), QStringLiteral("&About ..."));
        TARNWICK_VERIFY_MODAL(closedWithOk);
        QVERIFY(!QApplication::activeModalWidget());
    }

    void switchNotificationsWithANonZeroCodeAreIgnored() {
        Front f;
        f.machine.computer().powerSwitch().setState(1);
        f.window.command(MainWindow::powerId, 1);
        f.machine.computer().resetSwitch().setState(0);
        f.window.command(MainWindow::resetId, 1);
        f.window.command(MainWindow::pauseId, 1);
        QVERIFY(!f.machine.simulationAlive());
        f.window.command(MainWindow::pauseId, 0);
        QVERIFY(f.machine.simulationAlive());
    }

    void closingWhileRunningReturnsPromptly_data() {
        QTest::addColumn<bool>("throughExit");
        QTest::addColumn<int>("period");
        QTest::newRow("close box, default clock") << false << 100000;
        QTest::newRow("close box, slowest clock") << false << 5000000;
        QTest::newRow("E&xit, fastest clock") << true << 10000;
    }
    void closingWhileRunningReturnsPromptly() {
        QFETCH(bool, throughExit);
        QFETCH(int, period);
        Front f;
        f.window.speedSlider()->setValue(period);
        loadImage(f.machine, 0, countingLoop());
        click(f.window.resetSwitch());
        QVERIFY(f.machine.simulationAlive());
        QTRY_VERIFY_WITH_TIMEOUT(f.machine.threadCycles() > 0, 5000);

        QElapsedTimer closing;
        closing.start();
        if (throughExit)
            f.chooseFromMenu(f.window.fileMenu(), QStringLiteral("E&xit"));
        else
            QVERIFY(f.window.close());
        // At most one period plus one cycle; generous for a loaded machine.
        QVERIFY(closing.elapsed() < period / 10000 + 3000);
        QVERIFY(!f.window.isVisible());
        QVERIFY(!f.machine.simulationAlive());
        QVERIFY(!f.machine.computer().powerSwitch().isOn());
        settle();
    }

    // While the machine runs at the fastest clock, the window thread must
    // keep up: queued work (as a click is) is served promptly and the lamps'
    // repaint requests do not pile up.
    void windowStaysResponsiveAtTheFastestClock_data() {
        QTest::addColumn<bool>("fastRam");
        QTest::newRow("byte array") << true;
        QTest::newRow("relay-built") << false;
    }
    void windowStaysResponsiveAtTheFastestClock() {
        QFETCH(bool, fastRam);
        Front f;
        if (!fastRam) f.window.command(MainWindow::useFastRamId, 0);
        QCOMPARE(f.machine.computer().usesFastRam(), fastRam);
        QTest::keyClick(f.window.speedSlider(), Qt::Key_Home);
        loadImage(f.machine, 0, countingLoop());
        // What one cycle costs on this build and machine, before any thread
        // runs: a click that runs a cycle may first wait for the thread's.
        qint64 cycleCost = 0;
        for (int i = 0; i < 3; ++i) {
            QElapsedTimer cycle;
            cycle.start();
            f.machine.computer().runCycle();
            cycleCost = std::max(cycleCost, cycle.elapsed());
        }
        click(f.window.resetSwitch());

        qint64 worstWait = 0;
        qint64 worstClick = 0;
        QElapsedTimer run;
        run.start();
        while (run.elapsed() < 1500) {
            QElapsedTimer posted;
            posted.start();
            bool served = false;
            QMetaObject::invokeMethod(
                &f.window, [&] { served = true; }, Qt::QueuedConnection);
            while (!served && posted.elapsed() < 5000)
                QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
            QVERIFY2(served, "waited 5 s for a queued call to be served");
            worstWait = std::max(worstWait, posted.elapsed());

            // Reset on and off again: each click runs a cycle on this thread,
            // waiting for the simulation thread's cycle to finish first.
            for (int i = 0; i < 2; ++i) {
                QElapsedTimer clicked;
                clicked.start();
                click(f.window.resetSwitch());
                worstClick = std::max(worstClick, clicked.elapsed());
            }
            QTest::qWait(20);
        }
        const std::uint64_t cycles = f.machine.threadCycles();
        qInfo("%s: cycle %lld ms, %llu cycles in 1.5 s, worst queue wait %lld ms, worst Reset click %lld ms",
              fastRam ? "byte array" : "relay-built", cycleCost, static_cast<unsigned long long>(cycles),
              worstWait, worstClick);
        QVERIFY(cycles > 0);
        // Bounds far above what is measured, so that only a real stall fails.
        QVERIFY(worstWait < 1000);
        QVERIFY(worstClick < 4 * cycleCost + 1000);
    }
    // The close box and File > Exit during a long load: the load stops after
    // the byte being written and the window closes, machine stopped.
    void closingDuringALoadStopsItAndCloses_data() {
        QTest::addColumn<bool>("throughExit");
        QTest::newRow("close box") << false;
        QTest::newRow("E&xit") << true;
    }
    void closingDuringALoadStopsItAndCloses() {
        QFETCH(bool, throughExit);
        Front f;
        QTemporaryDir dir;
        const QString path = writeBigFile(dir);
        QVERIFY(!path.isEmpty());
        // Reset off: the load's Power command starts the clock, which the
        // close must stop too.
        f.machine.computer().resetSwitch().setState(0);
        f.window.setMemoryFileChooser(
            [path] { return std::optional<std::string>(QFile::encodeName(path).toStdString()); });
        f.chooseFromMenu(f.window.fileMenu(), QStringLiteral("&Load Memory File..."));
        f.window.setMemoryFileChooser({});
        QVERIFY(f.window.busy());
        QTRY_VERIFY_WITH_TIMEOUT(f.addressShown() > 3, 5000);
        QVERIFY(f.machine.simulationAlive());
        if (throughExit)
            f.fileItem(QStringLiteral("E&xit"))->trigger();
        else
            f.window.close();
        // The whole file takes more than five minutes.
        QTRY_VERIFY_WITH_TIMEOUT(!f.window.isVisible(), 5000);
        QVERIFY(!f.window.busy());
        QVERIFY(!f.machine.transferActive());
        QVERIFY(!f.machine.simulationAlive());
        QVERIFY(!f.machine.computer().powerSwitch().isOn());
        QVERIFY(!QApplication::overrideCursor());
    }

    // The keyboard works during a load: Alt+F opens File, Up reaches Exit
    // (the last item, past the greyed ones) and Return chooses it, which
    // stops the load and closes the window.
    void keyboardChoosesExitFromTheFileMenuDuringALoad() {
        Front f;
        QVERIFY(QTest::qWaitForWindowActive(&f.window));
        QTemporaryDir dir;
        const QString path = writeBigFile(dir);
        QVERIFY(!path.isEmpty());
        f.window.openFile(QFile::encodeName(path).toStdString());
        QVERIFY(f.window.busy());
        QTRY_VERIFY_WITH_TIMEOUT(f.addressShown() > 3, 5000);

        QTest::keyClick(&f.window, Qt::Key_F, Qt::AltModifier);
        QTRY_VERIFY_WITH_TIMEOUT(f.window.fileMenu()->isVisible(), 5000);
        QTest::keyClick(f.window.fileMenu(), Qt::Key_Up);
        QCOMPARE(f.window.fileMenu()->activeAction(), f.fileItem(QStringLiteral("E&xit")));
        QTest::keyClick(f.window.fileMenu(), Qt::Key_Return);
        QTRY_VERIFY_WITH_TIMEOUT(!f.window.isVisible(), 5000);
        QVERIFY(!f.window.busy());
        QVERIFY(!f.machine.transferActive());
        const unsigned last = f.addressShown();
        QVERIFY2(last < 0x7FFF, qPrintable(QString::number(last)));
    }

    // During a load every item that would act is greyed, Exit is not, and
    // the panel's switches take neither clicks nor Space; afterwards all is
    // as before.
    void menusAndSwitchesAreGreyedWhileALoadOrSaveRuns() {
        Front f;
        QVERIFY(QTest::qWaitForWindowActive(&f.window));
        QTemporaryDir dir;
        const QString path = writeBigFile(dir);
        QVERIFY(!path.isEmpty());
        f.machine.computer().pauseSwitch().setState(1);  // stepping would be possible
        QList<QAction*> items;
        for (QMenu* menu : {f.window.fileMenu(), f.window.optionsMenu(), f.window.runMenu(),
                            f.window.viewMenu(), f.window.helpMenu()})
            for (QAction* action : menu->actions())
                if (!action->isSeparator()) items << action;
        auto onlyExitIsEnabled = [&] {
            for (QAction* action : items)
                QVERIFY2(action->isEnabled() == (action->text() == QStringLiteral("E&xit")),
                         qPrintable(action->text()));
            QVERIFY(!f.window.speedSlider()->isEnabled());
        };

        f.window.openFile(QFile::encodeName(path).toStdString());
        QVERIFY(f.window.busy());
        QTRY_VERIFY_WITH_TIMEOUT(f.addressShown() > 3, 5000);
        QVERIFY(QApplication::overrideCursor() && QApplication::overrideCursor()->shape() == Qt::WaitCursor);
        onlyExitIsEnabled();

        click(f.window.pauseSwitch());
        f.window.pauseSwitch()->setFocus();
        QTest::keyClick(f.window.pauseSwitch(), Qt::Key_Space);
        QVERIFY(f.machine.computer().pauseSwitch().isOn());
        QTest::keyClick(&f.window, Qt::Key_F10);
        QTest::keyClick(&f.window, Qt::Key_R, Qt::ControlModifier);

        QTest::keyClick(&f.window, Qt::Key_Escape);
        f.waitUntilIdle(5000);
        QVERIFY(!QApplication::overrideCursor());
        for (QAction* action : items)
            // Run to Cursor also needs the Program window's cursor on a line.
            if (action != f.window.stepCycleAction() && action != f.window.stepInstructionAction() &&
                action != f.window.stepBackCycleAction() && action != f.window.stepBackInstructionAction() &&
                action != f.window.runToCursorAction())
                QVERIFY2(action->isEnabled(), qPrintable(action->text()));
        QVERIFY(f.window.stepCycleAction()->isEnabled());  // Power on, Pause on
        QVERIFY(f.window.speedSlider()->isEnabled());
        const unsigned last = f.addressShown();
        QVERIFY2(last > 0 && last < 0x7FFF, qPrintable(QString::number(last)));
        QCOMPARE(readMemoryRange(f.machine.computer(), 0, static_cast<std::uint16_t>(last)),
                 std::vector<std::uint8_t>(last + 1, 0x11));
        QCOMPARE(readMemoryRange(f.machine.computer(), static_cast<std::uint16_t>(last + 1),
                                 static_cast<std::uint16_t>(last + 1)),
                 std::vector<std::uint8_t>{0});

        // A save greys the same items; stopped with Esc, it writes nothing.
        // (The relay-built memory reads 32 KB in seconds, the byte array in
        // a fraction of one: too fast to catch.)
        if (f.machine.computer().usesFastRam()) f.machine.toggleFastRam();
        const QString saved = dir.filePath(QStringLiteral("OUT.RAM"));
        f.window.setSaveFileChooser(
            [&] { return std::optional<std::string>(QFile::encodeName(saved).toStdString()); });
        ModalWatch<AddressRangeDialog> asked([](AddressRangeDialog* dialog) {
            dialog->firstEdit()->setText(QStringLiteral("0000"));
            dialog->lastEdit()->setText(QStringLiteral("7FFF"));
            dialog->accept();
        });
        f.chooseFromMenu(f.window.fileMenu(), QStringLiteral("&Save Memory File..."));
        TARNWICK_VERIFY_MODAL(asked);
        f.window.setSaveFileChooser({});
        QVERIFY(f.window.busy());
        onlyExitIsEnabled();
        f.window.activateWindow();  // Esc is the window's key, and the dialog had it
        QVERIFY(QTest::qWaitForWindowActive(&f.window));
        QTest::keyClick(&f.window, Qt::Key_Escape);
        f.waitUntilIdle(5000);
        QVERIFY(!QFileInfo::exists(saved));
        QVERIFY(f.window.speedSlider()->isEnabled());
    }

    // The program ending in the middle of a load (the session closing, say):
    // the worker is stopped before a lamp's window goes, and nothing runs on.
    void endingTheProgramDuringALoadStopsTheWorkerFirst() {
        QTemporaryDir dir;
        const QString path = writeBigFile(dir);
        QVERIFY(!path.isEmpty());
        auto program = std::make_unique<FrontPanel>();
        program->machine().computer().resetSwitch().setState(0);  // the clock runs too
        program->window().show();
        program->window().openFile(QFile::encodeName(path).toStdString());
        QVERIFY(program->window().busy());
        QTRY_VERIFY_WITH_TIMEOUT(
            lampValue(program->machine().computer().addressLamps(), LampOrder::lowBitFirst) > 3, 5000);
        program.reset();
        settle();
        QVERIFY(!QApplication::overrideCursor());
    }

    // Esc stops the load and leaves the window open with what was written;
    // meanwhile the pointer shows busy, and a second load or a switch click
    // is ignored.
    void escapeStopsALoadAndTheWindowIgnoresOtherInputMeanwhile() {
        Front f;
        QVERIFY(QTest::qWaitForWindowActive(&f.window));
        QTemporaryDir dir;
        const QString path = writeBigFile(dir);
        QVERIFY(!path.isEmpty());
        int chosen = 0;
        f.window.setMemoryFileChooser([&] {
            ++chosen;
            return std::optional<std::string>(QFile::encodeName(path).toStdString());
        });
        f.chooseFromMenu(f.window.fileMenu(), QStringLiteral("&Load Memory File..."));
        QVERIFY(f.window.busy());
        QTRY_VERIFY_WITH_TIMEOUT(f.addressShown() > 3, 5000);
        QVERIFY(QApplication::overrideCursor() && QApplication::overrideCursor()->shape() == Qt::WaitCursor);
        f.window.command(MainWindow::loadMemoryFileId, 0);
        f.fileItem(QStringLiteral("&Load Memory File..."))->trigger();
        click(f.window.powerSwitch());
        click(f.window.controlPanelWindow()->takeoverSwitch());
        QTest::keyClick(&f.window, Qt::Key_Escape);
        f.waitUntilIdle(5000);
        f.window.setMemoryFileChooser({});
        QCOMPARE(chosen, 1);
        QVERIFY(f.window.isVisible());
        QVERIFY(!QApplication::overrideCursor());
        QVERIFY(f.machine.computer().powerSwitch().isOn());
        QVERIFY(!f.machine.computer().controlPanel().takeoverSwitch.isOn());
        const unsigned last = f.addressShown();
        QVERIFY2(last > 0 && last < 0x7FFF, qPrintable(QString::number(last)));
        // The window takes commands again.
        click(f.window.pauseSwitch());
        QVERIFY(f.machine.computer().pauseSwitch().isOn());
    }

    // Tab walks the switches as the eye reads the panel, Space flips the one
    // with the focus as a click would (Write included), and a frame shows
    // where the focus is.
    void everySwitchWorksFromTheKeyboard() {
        Front f;
        QVERIFY(QTest::qWaitForWindowActive(&f.window));
        ControlPanelWindow* panel = f.window.controlPanelWindow();
        QList<QWidget*> expected{f.window.speedSlider(), f.window.powerSwitch(), f.window.resetSwitch(),
                                 f.window.pauseSwitch()};
        for (int k = 15; k >= 0; --k) expected << panel->addressSwitch(k);
        for (int j = 7; j >= 0; --j) expected << panel->dataSwitch(j);
        expected << panel->writeSwitch() << panel->takeoverSwitch();
        f.window.speedSlider()->setFocus(Qt::TabFocusReason);
        for (qsizetype i = 1; i < expected.size(); ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QVERIFY2(QApplication::focusWidget() == expected[i],
                     qPrintable(QStringLiteral("step %1: %2")
                                    .arg(i)
                                    .arg(QApplication::focusWidget()
                                             ? QApplication::focusWidget()->accessibleName()
                                             : "none")));
        }

        // The focus mark: a frame along the edge, gone with the focus.
        ToggleSwitchWidget* power = f.window.powerSwitch();
        const QColor unfocused = power->grab().toImage().pixelColor(1, 20);
        power->setFocus(Qt::TabFocusReason);
        const QColor focused = power->grab().toImage().pixelColor(1, 20);
        QVERIFY2(focused != unfocused, qPrintable(focused.name()));
        QCOMPARE(focused, focusMarkColour);
        f.window.resetSwitch()->setFocus(Qt::TabFocusReason);
        QCOMPARE(power->grab().toImage().pixelColor(1, 20), unfocused);

        // Space on Power: the Power command, as a click gives it.
        power->setFocus(Qt::TabFocusReason);
        QTest::keyClick(power, Qt::Key_Space);
        QVERIFY(f.machine.computer().powerSwitch().isOn());
        QVERIFY(!f.machine.simulationAlive());  // Reset is on
        QTest::keyClick(power, Qt::Key_Space);
        QVERIFY(!f.machine.computer().powerSwitch().isOn());
        QTest::keyClick(power, Qt::Key_Space);

        // Write a byte by hand from the keyboard: Takeover, address 0012h,
        // data 5Ah, Write. Write springs back as it does under the mouse.
        auto space = [](QWidget* widget) {
            widget->setFocus(Qt::TabFocusReason);
            QTest::keyClick(widget, Qt::Key_Space);
        };
        space(panel->takeoverSwitch());
        QVERIFY(f.machine.computer().controlPanel().takeoverSwitch.isOn());
        space(panel->addressSwitch(1));
        space(panel->addressSwitch(4));
        for (int j : {1, 3, 4, 6}) space(panel->dataSwitch(j));
        space(panel->writeSwitch());
        QVERIFY(!f.machine.computer().controlPanel().writeSwitch.isOn());
        QCOMPARE(dataLampsValue(f.machine), std::uint8_t{0x5A});
        space(panel->takeoverSwitch());
        QCOMPARE(readMemoryRange(f.machine.computer(), 0x12, 0x12), std::vector<std::uint8_t>{0x5A});
    }

    // What a screen reader is told: each switch's name and state, each
    // lamp's, the slider's, and a change as it happens; the toggle action
    // works a switch.
    void switchesLampsAndSliderHaveAccessibleNamesAndStates() {
        Front f;
        auto spoken = [](QWidget* widget) {
            QAccessibleInterface* face = QAccessible::queryAccessibleInterface(widget);
            if (!face) return QStringLiteral("no interface");
            return face->text(QAccessible::Name) + QStringLiteral(", ") + face->text(QAccessible::Value);
        };
        QCOMPARE(spoken(f.window.powerSwitch()), QStringLiteral("Power, off"));
        QCOMPARE(spoken(f.window.resetSwitch()), QStringLiteral("Reset, on"));
        QCOMPARE(spoken(f.window.pauseSwitch()), QStringLiteral("Pause, off"));
        ControlPanelWindow* panel = f.window.controlPanelWindow();
        QCOMPARE(spoken(panel->addressSwitch(15)), QStringLiteral("Address switch A15, off"));
        QCOMPARE(spoken(panel->dataSwitch(0)), QStringLiteral("Data switch D0, off"));
        QCOMPARE(spoken(panel->writeSwitch()), QStringLiteral("Write, off"));
        QCOMPARE(spoken(panel->takeoverSwitch()), QStringLiteral("Takeover, off"));
        QCOMPARE(spoken(panel->dataLamp(7)), QStringLiteral("Data out bit 7, unlit"));

        struct Named {
            const IndicatorLamp* lamp;
            const char* name;
        };
        const Machine& m = f.machine;
        for (const Named& n :
             {Named{&m.computer().accumulatorLamps()[0], "Accumulator bit 7"},
              Named{&m.computer().accumulatorLamps()[7], "Accumulator bit 0"},
              Named{&m.computer().addressLamps()[0], "Address bit 0"},
              Named{&m.computer().addressLamps()[15], "Address bit 15"},
              Named{&m.computer().phaseLamps()[3], "Phase 3"}, Named{&m.computer().clockLamp(), "Clock"},
              Named{&m.computer().codeLamps()[0], "Code bit 7"},
              Named{&m.computer().operandLamps()[0], "Operand bit 15"},
              Named{&m.computer().operandLamps()[15], "Operand bit 0"},
              Named{&m.computer().zeroFlagLamp(), "Zero flag"},
              Named{&m.computer().carryFlagLamp(), "Carry flag"}})
            QCOMPARE(spoken(windowOf(*n.lamp)), QString::fromLatin1(n.name) + QStringLiteral(", unlit"));

        f.machine.computer().accumulatorLamps()[0].setState(1);
        QCOMPARE(spoken(windowOf(f.machine.computer().accumulatorLamps()[0])),
                 QStringLiteral("Accumulator bit 7, lit"));
        QAccessibleInterface* lamp =
            QAccessible::queryAccessibleInterface(windowOf(f.machine.computer().accumulatorLamps()[0]));
        QCOMPARE(lamp->role(), QAccessible::Indicator);
        f.machine.computer().accumulatorLamps()[0].setState(0);

        QAccessibleInterface* power = QAccessible::queryAccessibleInterface(f.window.powerSwitch());
        QCOMPARE(power->role(), QAccessible::CheckBox);
        QVERIFY(power->state().checkable);
        QVERIFY(!power->state().checked);
        QVERIFY(power->state().focusable);
        QVERIFY(power->actionInterface());
        QVERIFY(power->actionInterface()->actionNames().contains(QAccessibleActionInterface::toggleAction()));
        power->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
        QVERIFY(f.machine.computer().powerSwitch().isOn());  // through the Power command
        QVERIFY(power->state().checked);
        QCOMPARE(spoken(f.window.powerSwitch()), QStringLiteral("Power, on"));

        QAccessibleInterface* slider = QAccessible::queryAccessibleInterface(f.window.speedSlider());
        QCOMPARE(slider->text(QAccessible::Name), QStringLiteral("Clock period"));
        QTRY_COMPARE_WITH_TIMEOUT(slider->text(QAccessible::Description),
                                  QStringLiteral("Clock period 10 ms \u2014 stopped"), 5000);
        // Its value is the period, not the slider's count of 0.1 µs steps;
        // moved through the value interface, it sets the machine's period.
        QCOMPARE(slider->role(), QAccessible::Slider);
        QCOMPARE(slider->text(QAccessible::Value), QStringLiteral("10 ms"));
        QAccessibleValueInterface* value = slider->valueInterface();
        QVERIFY(value);
        QCOMPARE(value->minimumValue().toInt(), f.window.speedSlider()->minimum());
        value->setCurrentValue(f.window.speedSlider()->minimum());
        QCOMPARE(f.machine.clockPeriod(), 10000);
        QCOMPARE(slider->text(QAccessible::Value), QStringLiteral("1 ms"));

        // A lamp changed on the simulation thread reads as changed. (The change
        // events that go with it reach only a live assistive technology: the
        // offscreen platform has none, so QAccessible is never active here.)
        QWidget* carry = windowOf(f.machine.computer().carryFlagLamp());
        std::thread([&] { f.machine.computer().carryFlagLamp().setState(1); }).join();
        settle();
        QCOMPARE(spoken(carry), QStringLiteral("Carry flag, lit"));
    }

    // Edit and retry: Reload assembles the changed source again, Open Recent
    // lists what was opened, and the dialog starts where the last file was.
    void reloadAndOpenRecentLoadTheLatestFilesAgain() {
        Front f;
        QTemporaryDir dir;
        const QString source = dir.filePath(QStringLiteral("retry.asm"));
        QVERIFY(writeText(source, "        lda x\n        hlt\nx:      db 42h\n"));
        const QString other = dir.filePath(QStringLiteral("OTHER.RAM"));
        QVERIFY(writeMemoryFile(other, 0, 1, {0xAA, 0xBB}));
        QVERIFY(!f.window.reloadAction()->isEnabled());
        QVERIFY(!f.window.openRecentMenu()->menuAction()->isEnabled());

        f.loadThroughTheMenu(source);
        QCOMPARE(readMemoryRange(f.machine.computer(), 0, 4),
                 (std::vector<std::uint8_t>{0x10, 0x00, 0x04, 0xFF, 0x42}));
        QVERIFY(f.window.reloadAction()->isEnabled());

        QVERIFY(writeText(source, "        lda x\n        hlt\nx:      db 43h\n"));
        f.window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&f.window));
        QTest::keyClick(&f.window, Qt::Key_R, Qt::ControlModifier);
        f.waitUntilIdle();
        QCOMPARE(readMemoryRange(f.machine.computer(), 4, 4), std::vector<std::uint8_t>{0x43});

        f.loadThroughTheMenu(other);
        f.openMenu(f.window.fileMenu());
        QVERIFY(QTest::qWaitForWindowExposed(f.window.fileMenu()));
        QMenu* recent = f.window.openRecentMenu();
        emit recent->aboutToShow();
        QStringList paths;
        for (QAction* action : recent->actions()) paths << action->data().toString();
        QCOMPARE(paths,
                 (QStringList{QFileInfo(other).absoluteFilePath(), QFileInfo(source).absoluteFilePath()}));
        f.window.fileMenu()->hide();
        recent->actions().at(1)->trigger();
        f.waitUntilIdle();
        QCOMPARE(readMemoryRange(f.machine.computer(), 0, 1), (std::vector<std::uint8_t>{0x10, 0x00}));

        // The open dialog starts in the folder of the last file.
        QString shown;
        ModalWatch<QFileDialog> looked([&shown](QFileDialog* dialog) {
            shown = dialog->directory().absolutePath();
            dialog->reject();
        });
        f.chooseFromMenu(f.window.fileMenu(), QStringLiteral("&Load Memory File..."));
        TARNWICK_VERIFY_MODAL(looked);
        QCOMPARE(shown, QFileInfo(source).absolutePath());
        // Only files and a folder are remembered, nothing of the machine.
        const QStringList keys = QSettings(QStringLiteral("Tarnwick"), QStringLiteral("tarnwick")).allKeys();
        QCOMPARE(keys, (QStringList{QStringLiteral("files/lastFolder"), QStringLiteral("files/recent")}));
    }

    // The default save range takes in what the program stored outside the
    // range it was loaded with.
    void saveOffersEveryAddressWrittenSinceTheLoad() {
        Front f;
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("ADD.RAM"));
        QVERIFY(writeMemoryFile(path, 0, 0x21, workedExample()));
        f.loadThroughTheMenu(path);
        QTest::keyClick(f.window.speedSlider(), Qt::Key_Home);
        click(f.window.resetSwitch());
        QTRY_VERIFY_WITH_TIMEOUT(
            lampValue(f.machine.computer().codeLamps(), LampOrder::highBitFirst) == 0xFFu, 20000);
        QString first, last;
        ModalWatch<AddressRangeDialog> asked([&](AddressRangeDialog* dialog) {
            first = dialog->firstEdit()->text();
            last = dialog->lastEdit()->text();
            dialog->reject();
        });
        f.chooseFromMenu(f.window.fileMenu(), QStringLiteral("&Save Memory File..."));
        TARNWICK_VERIFY_MODAL(asked);
        QCOMPARE(first, QStringLiteral("0000"));
        QCOMPARE(last, QStringLiteral("0022"));  // the sum's address
    }

    void commandLineIsReadBeforeAnyWindow() {
        using Action = StartRequest::Action;
        struct Case {
            std::vector<std::string> arguments;
            Action action;
            std::optional<std::string> file;
            const char* inMessage;
        };
        const Case cases[] = {
            {{}, Action::run, std::nullopt, ""},
            {{"ADD.RAM"}, Action::run, "ADD.RAM", ""},
            {{"--help"}, Action::help, std::nullopt, ""},
            {{"-h", "ADD.RAM"}, Action::help, "ADD.RAM", ""},
            {{"--version"}, Action::version, std::nullopt, ""},
            {{"--", "-odd.RAM"}, Action::run, "-odd.RAM", ""},
            {{"-platform", "offscreen", "prog.asm"}, Action::run, "prog.asm", ""},
            {{"-style=fusion", "-reverse"}, Action::run, std::nullopt, ""},
            {{"--bogus"}, Action::error, std::nullopt, "'--bogus'"},
            {{"a.RAM", "b.RAM"}, Action::error, std::nullopt, "'b.RAM'"},
            {{"-platform"}, Action::error, std::nullopt, "needs a value"},
        };
        for (const Case& c : cases) {
            const StartRequest request = parseStartArguments(c.arguments);
            const QString label =
                QString::fromStdString(c.arguments.empty() ? "(none)" : c.arguments.front());
            QVERIFY2(request.action == c.action, qPrintable(label));
            if (c.action != Action::error) QVERIFY2(request.file == c.file, qPrintable(label));
            QVERIFY2(request.message.find(c.inMessage) != std::string::npos, qPrintable(label));
        }
    }

    // The real program given a file: it opens the window and reads the file
    // (seen through the file system's notifications, since the window has no
    // other way to tell), then is ended.
    void programGivenAFileReadsIt_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("contents");
        const char header[] = {0, 0, 0, 0, 0, 0, 0, 1, 0x44, static_cast<char>(0xFF)};
        const QByteArray image(header, sizeof header);
        QTest::newRow("memory file") << "prog.RAM" << image;
        QTest::newRow("assembler source") << "prog.asm" << QByteArray("        rl\n        hlt\n");
    }
    void programGivenAFileReadsIt() {
        QFETCH(QString, name);
        QFETCH(QByteArray, contents);
        QTemporaryDir dir;
        const QString path = dir.filePath(name);
        {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write(contents) == contents.size());
        }
        const int watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        QVERIFY(watch >= 0);
        QVERIFY(inotify_add_watch(watch, QFile::encodeName(path).constData(), IN_OPEN) >= 0);

        QProcess program;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        program.setProcessEnvironment(environment);
        program.start(QStringLiteral(TARNWICK_PROGRAM), {path});
        const bool started = program.waitForStarted(10000);
        bool opened = false;
        QElapsedTimer clock;
        clock.start();
        while (started && !opened && clock.elapsed() < 20000 && program.state() == QProcess::Running) {
            pollfd ready{watch, POLLIN, 0};
            if (poll(&ready, 1, 50) > 0) {
                alignas(inotify_event) char events[4096];
                opened = read(watch, events, sizeof events) > 0;
            }
        }
        const bool stillRunning = program.state() == QProcess::Running;
        program.kill();
        program.waitForFinished(5000);
        close(watch);
        QVERIFY2(started, "the program did not start");
        QVERIFY2(opened, "waited 20 s for the program to open the file it was given");
        QVERIFY2(stillRunning, "the program ended by itself instead of showing its window");
    }

    // The real program, with a window system that does not exist: answering
    // proves that no window was asked for.
    void programAnswersHelpVersionAndBadOptionsWithoutAWindow_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("out");
        QTest::addColumn<QString>("err");
        QTest::newRow("--help") << QStringList{"--help"} << 0 << "Usage: tarnwick [OPTION] [FILE]"
                                << "";
        QTest::newRow("--version")
            << QStringList{"--version"} << 0
            << QStringLiteral("tarnwick %1\n").arg(QLatin1StringView(tarnwick::version)) << "";
        QTest::newRow("bad option") << QStringList{"--frobnicate"} << 2 << ""
                                    << "unknown option '--frobnicate'";
    }
    void programAnswersHelpVersionAndBadOptionsWithoutAWindow() {
        QFETCH(QStringList, arguments);
        QFETCH(int, status);
        QFETCH(QString, out);
        QFETCH(QString, err);
        QProcess program;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("no-such-platform"));
        environment.remove(QStringLiteral("DISPLAY"));
        environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
        program.setProcessEnvironment(environment);
        program.start(QStringLiteral(TARNWICK_PROGRAM), arguments);
        QVERIFY(program.waitForStarted(10000));
        if (!program.waitForFinished(20000)) {
            program.kill();
            program.waitForFinished(5000);
            QFAIL("the program did not end within 20 s");
        }
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), status);
        const QString stdOut = QString::fromUtf8(program.readAllStandardOutput());
        const QString stdErr = QString::fromUtf8(program.readAllStandardError());
        if (out.isEmpty())
            QVERIFY2(stdOut.isEmpty(), qPrintable(stdOut));
        else
            QVERIFY2(stdOut.startsWith(out), qPrintable(stdOut));
        if (err.isEmpty())
            QVERIFY2(stdErr.isEmpty(), qPrintable(stdErr));
        else
            QVERIFY2(stdErr.contains(err), qPrintable(stdErr));
    }

    // What main does with a FILE: the window first, then Power on and the
    // load from the event loop. A source is assembled in memory.
    void startingWithAFileLoadsItOnceTheWindowIsUp_data() {
        QTest::addColumn<bool>("source");
        QTest::newRow("memory file") << false;
        QTest::newRow("assembler source") << true;
    }
    void startingWithAFileLoadsItOnceTheWindowIsUp() {
        QFETCH(bool, source);
        QTemporaryDir dir;
        const QString path = dir.filePath(source ? QStringLiteral("prog.ASM") : QStringLiteral("prog.RAM"));
        const std::vector<std::uint8_t> expected{0x10, 0x00, 0x04, 0xFF, 0x42};
        QVERIFY(source ? writeText(path, smallSource) : writeMemoryFile(path, 0, 4, expected));
        FrontPanel program;
        startFrontPanel(program, QFile::encodeName(path).toStdString());
        QVERIFY(program.window().isVisible());
        // Nothing yet: the load waits for the event loop.
        QVERIFY(!program.machine().computer().powerSwitch().isOn());
        QTRY_VERIFY_WITH_TIMEOUT(
            lampValue(program.machine().computer().addressLamps(), LampOrder::lowBitFirst) == 4u, 5000);
        QTRY_VERIFY_WITH_TIMEOUT(!program.window().busy(), 5000);
        QVERIFY(program.machine().computer().powerSwitch().isOn());
        QCOMPARE(readMemoryRange(program.machine().computer(), 0, 5),
                 (std::vector<std::uint8_t>{0x10, 0x00, 0x04, 0xFF, 0x42, 0x00}));
        QVERIFY2(QDir(dir.path()).entryList(QDir::Files).size() == 1, "assembling wrote no file");
        program.window().close();
    }

    void aSourceWithErrorsLoadsNothingAndListsEveryError() {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("bad.asm"));
        QVERIFY(writeText(path, "        lda nowhere\n        sta 10h\n        frob 1\n"));
        FrontPanel program;
        QString report;
        ModalWatch<QMessageBox> shown([&report](QMessageBox* box) {
            report = box->text();
            box->accept();
        });
        startFrontPanel(program, QFile::encodeName(path).toStdString());
        QTRY_VERIFY_WITH_TIMEOUT(shown.acted(), 5000);
        TARNWICK_VERIFY_MODAL(shown);
        const QStringList lines = report.split(QLatin1Char('\n'));
        QCOMPARE(lines.size(), 2);
        QVERIFY2(lines[0].startsWith(path + QStringLiteral(":1:")), qPrintable(report));
        QVERIFY2(lines[1].startsWith(path + QStringLiteral(":3:")), qPrintable(report));
        QVERIFY(program.machine().computer().powerSwitch().isOn());
        QCOMPARE(readMemoryRange(program.machine().computer(), 0, 2), std::vector<std::uint8_t>(3, 0));
        program.window().close();
    }

    // A source of 100,000 errors: the box comes up at once, lists the first
    // errors and the count, and fits on the screen.
    void aSourceFullOfErrorsShowsTheFirstAndTheCountInABoxThatFits() {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("many.asm"));
        QByteArray source;
        for (int i = 0; i < 100000; ++i) source += "        frob\n";
        QVERIFY(writeText(path, source.constData()));
        FrontPanel program;
        QString report;
        int height = 0;
        ModalWatch<QMessageBox> shown([&](QMessageBox* box) {
            report = box->text();
            height = box->sizeHint().height();
            box->accept();
        });
        startFrontPanel(program, QFile::encodeName(path).toStdString());
        QTRY_VERIFY_WITH_TIMEOUT(shown.acted(), 10000);
        TARNWICK_VERIFY_MODAL(shown);
        const QStringList lines = report.split(QLatin1Char('\n'));
        QCOMPARE(lines.size(), int(loadErrorsShown) + 1);
        QVERIFY2(lines.front().startsWith(path + QStringLiteral(":1:9: ")), qPrintable(lines.front()));
        QCOMPARE(lines.back(), QStringLiteral("... and 99980 more errors (100000 in all)"));
        QVERIFY2(height < QGuiApplication::primaryScreen()->availableGeometry().height(),
                 qPrintable(QString::number(height)));
        program.window().close();
    }

    // Load, then save part of it through the address dialog: the file reads
    // back to the same bytes, and the panel is as it was.
    void savedMemoryReadsBackAndThePanelIsUnchanged() {
        Front f;
        QTemporaryDir dir;
        const QString loaded = dir.filePath(QStringLiteral("IN.RAM"));
        std::vector<std::uint8_t> image(0x30, 0);
        for (int a = 0x20; a < 0x30; ++a) image[a] = static_cast<std::uint8_t>(0xC0 + a);
        QVERIFY(writeMemoryFile(loaded, 0x20, 0x2F, image));
        f.loadThroughTheMenu(loaded);
        f.machine.computer().controlPanel().dataLamps[3].setState(1);
        f.machine.computer().controlPanel().dataLamps[6].setState(0);
        const unsigned address = f.addressShown();
        const std::uint8_t data = dataLampsValue(f.machine);

        const QString saved = dir.filePath(QStringLiteral("OUT.RAM"));
        f.window.setSaveFileChooser(
            [&] { return std::optional<std::string>(QFile::encodeName(saved).toStdString()); });
        ModalWatch<AddressRangeDialog> asked([](AddressRangeDialog* dialog) {
            // The range of the last load.
            QCOMPARE(dialog->firstEdit()->text(), QStringLiteral("0020"));
            QCOMPARE(dialog->lastEdit()->text(), QStringLiteral("002F"));
            QVERIFY(dialog->okButton()->isEnabled());
            dialog->firstEdit()->clear();
            QTest::keyClicks(dialog->firstEdit(), QStringLiteral("3G0"));  // G is not a digit
            QCOMPARE(dialog->firstEdit()->text(), QStringLiteral("30"));
            QVERIFY2(!dialog->okButton()->isEnabled(), "first above last");
            dialog->firstEdit()->clear();
            QVERIFY(!dialog->okButton()->isEnabled());
            QTest::keyClicks(dialog->firstEdit(), QStringLiteral("21"));
            dialog->lastEdit()->clear();
            QTest::keyClicks(dialog->lastEdit(), QStringLiteral("2e12"));
            QCOMPARE(dialog->lastEdit()->text(), QStringLiteral("2e12"));
            QVERIFY(dialog->okButton()->isEnabled());
            QCOMPARE(dialog->range()->last, 0x2E12);
            dialog->lastEdit()->clear();
            QTest::keyClicks(dialog->lastEdit(), QStringLiteral("2e"));
            click(dialog->okButton());
        });
        f.chooseFromMenu(f.window.fileMenu(), QStringLiteral("&Save Memory File..."));
        TARNWICK_VERIFY_MODAL(asked);
        f.waitUntilIdle();
        f.window.setSaveFileChooser({});

        const MemoryFileResult back = readMemoryFile(QFile::encodeName(saved).toStdString());
        QVERIFY2(back, back.error.c_str());
        QCOMPARE(back.image->first, 0x21);
        QCOMPARE(back.image->last, 0x2E);
        QCOMPARE(back.image->bytes, std::vector<std::uint8_t>(image.begin() + 0x21, image.begin() + 0x2F));
        QCOMPARE(f.addressShown(), address);
        QCOMPARE(dataLampsValue(f.machine), data);
        QVERIFY(f.machine.computer().powerSwitch().isOn());
        QVERIFY(!f.machine.simulationAlive());

        // And it loads back in place.
        f.machine.toggleFastRam();
        f.machine.toggleFastRam();
        f.loadThroughTheMenu(saved);
        QCOMPARE(readMemoryRange(f.machine.computer(), 0x20, 0x2F),
                 (std::vector<std::uint8_t>{0, 0xE1, 0xE2, 0xE3, 0xE4, 0xE5, 0xE6, 0xE7, 0xE8, 0xE9, 0xEA,
                                            0xEB, 0xEC, 0xED, 0xEE, 0}));
    }

    void aSaveThatCannotBeWrittenSaysSoAndLeavesNoFile() {
        Front f;
        QTemporaryDir dir;
        const QString target = dir.filePath(QStringLiteral("missing/OUT.RAM"));
        f.window.setSaveFileChooser(
            [&] { return std::optional<std::string>(QFile::encodeName(target).toStdString()); });
        ModalWatch<AddressRangeDialog> asked([](AddressRangeDialog* dialog) {
            QCOMPARE(dialog->firstEdit()->text(), QStringLiteral("0000"));  // nothing loaded yet
            QCOMPARE(dialog->lastEdit()->text(), QStringLiteral("00FF"));
            dialog->accept();
        });
        QString report;
        ModalWatch<QMessageBox> told([&report](QMessageBox* box) {
            report = box->text();
            box->accept();
        });
        f.chooseFromMenu(f.window.fileMenu(), QStringLiteral("&Save Memory File..."));
        TARNWICK_VERIFY_MODAL(asked);
        QTRY_VERIFY_WITH_TIMEOUT(told.acted(), 5000);
        TARNWICK_VERIFY_MODAL(told);
        f.window.setSaveFileChooser({});
        QVERIFY2(report.contains(QStringLiteral("OUT.RAM")), qPrintable(report));
        QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList{});
    }

    // The panel saves as the tools write: a named pipe is written in place
    // (not replaced by a file), a replaced file keeps its mode, and a folder
    // that takes no files says so in words about permission.
    void aSaveWritesPipesInPlaceKeepsAFilesModeAndNamesAPermissionProblem() {
        Front f;
        QTemporaryDir dir;
        QString report;
        auto save = [&](const QString& target) {
            report.clear();
            f.window.setSaveFileChooser(
                [&] { return std::optional<std::string>(QFile::encodeName(target).toStdString()); });
            ModalWatch<AddressRangeDialog> asked([](AddressRangeDialog* dialog) { dialog->accept(); });
            ModalWatch<QMessageBox> told([&report](QMessageBox* box) {
                report = box->text();
                box->accept();
            });
            f.chooseFromMenu(f.window.fileMenu(), QStringLiteral("&Save Memory File..."));
            TARNWICK_VERIFY_MODAL(asked);
            f.waitUntilIdle(5000);
            f.window.setSaveFileChooser({});
        };
        const std::size_t savedSize = 8 + 0x100;  // nothing loaded: 0000 to 00FF

        const QByteArray pipe = QFile::encodeName(dir.filePath(QStringLiteral("pipe.RAM")));
        QCOMPARE(::mkfifo(pipe.constData(), 0600), 0);
        const int reader = ::open(pipe.constData(), O_RDONLY | O_NONBLOCK);
        QVERIFY(reader >= 0);
        save(QFile::decodeName(pipe));
        QCOMPARE(report, QString());
        std::vector<char> arrived(savedSize + 1);
        QCOMPARE(::read(reader, arrived.data(), arrived.size()), ssize_t(savedSize));
        ::close(reader);
        struct stat status {};
        QCOMPARE(::stat(pipe.constData(), &status), 0);
        QVERIFY2(S_ISFIFO(status.st_mode), "the pipe was replaced");

        const QString kept = dir.filePath(QStringLiteral("KEPT.RAM"));
        QVERIFY(writeText(kept, "old"));
        QVERIFY(QFile::setPermissions(kept, QFile::ReadOwner | QFile::WriteOwner));
        save(kept);
        QCOMPARE(report, QString());
        QCOMPARE(QFileInfo(kept).size(), qint64(savedSize));
        QCOMPARE(QFile::permissions(kept),
                 QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser);

        save(QStringLiteral("/proc/OUT.RAM"));
        QVERIFY2(report.contains(QStringLiteral("/proc/OUT.RAM")) &&
                     report.contains(QStringLiteral("Permission denied")),
                 qPrintable(report));
    }

    // F11 through the worked example one instruction at a time, F10 one
    // cycle; both greyed while the clock may run.
    // Which Step Cycle press is cycle 1 (clock lit, phase 0) depends on how
    // many cycles ran since Power came on: the clock's buzzer flips at every
    // one. After one load the first press is cycle 1; after two, the second.
    void cycleOneComesAtTheFirstPressAfterOneLoadAndTheSecondAfterTwo() {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("WORKED.RAM"));
        QVERIFY(writeMemoryFile(path, 0, 0x21, workedExample()));
        for (int loads : {1, 2}) {
            Front f;
            for (int k = 0; k < loads; ++k) f.loadThroughTheMenu(path);
            click(f.window.pauseSwitch());
            click(f.window.resetSwitch());  // off: one cycle
            QVERIFY(!f.machine.simulationAlive());
            const Computer& c = f.machine.computer();
            QVERIFY2(c.phaseLamps()[3].isOn(), qPrintable(QString::number(loads)));
            QCOMPARE(c.clockLamp().isOn(), loads == 2);
            f.window.activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(&f.window));
            QTest::keyClick(&f.window, Qt::Key_F10);
            if (loads == 2) {
                QVERIFY(c.phaseLamps()[3].isOn());
                QVERIFY(!c.clockLamp().isOn());
                QTest::keyClick(&f.window, Qt::Key_F10);
            }
            QVERIFY2(c.phaseLamps()[0].isOn() && c.clockLamp().isOn(), qPrintable(QString::number(loads)));
        }
    }

    void stepKeysRunCyclesAndInstructionsWhilePaused() {
        Front f;
        loadImage(f.machine, 0, workedExample());
        QAction* cycle = f.window.stepCycleAction();
        QAction* instruction = f.window.stepInstructionAction();
        QVERIFY(!cycle->isEnabled());
        QVERIFY(!instruction->isEnabled());
        click(f.window.pauseSwitch());
        QVERIFY(cycle->isEnabled());
        QVERIFY(instruction->isEnabled());
        click(f.window.resetSwitch());
        QVERIFY(!f.machine.simulationAlive());
        f.window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&f.window));

        auto code = [&] { return lampValue(f.machine.computer().codeLamps(), LampOrder::highBitFirst); };
        QTest::keyClick(&f.window, Qt::Key_F11);
        QCOMPARE(code(), 0x10u);
        QVERIFY(f.machine.computer().phaseLamps()[0].isOn());
        QVERIFY(!f.machine.computer().clockLamp().isOn());
        QTest::keyClick(&f.window, Qt::Key_F10);
        QVERIFY(f.machine.computer().phaseLamps()[1].isOn());
        QVERIFY(f.machine.computer().clockLamp().isOn());
        QCOMPARE(f.addressShown(), 1u);
        for (unsigned expected : {0x20u, 0x11u, 0xFFu}) {
            QTest::keyClick(&f.window, Qt::Key_F11);
            QCOMPARE(code(), expected);
        }
        QCOMPARE(lampValue(f.machine.computer().accumulatorLamps(), LampOrder::highBitFirst), 0x8Du);
        QVERIFY(!f.machine.simulationAlive());

        // Pause off: the clock runs and stepping is greyed, keys included.
        click(f.window.pauseSwitch());
        QVERIFY(!cycle->isEnabled());
        const bool clockLamp = f.machine.computer().clockLamp().isOn();
        QTest::keyClick(&f.window, Qt::Key_F10);
        QCOMPARE(f.machine.computer().clockLamp().isOn(), clockLamp);  // halted: the thread leaves it alone
        // A switch set behind the window's back is seen when the menu opens.
        f.machine.computer().pauseSwitch().setState(1);
        f.openMenu(f.window.runMenu());
        QVERIFY(cycle->isEnabled());
        f.window.runMenu()->hide();
        click(f.window.powerSwitch());
        QVERIFY(!cycle->isEnabled());
        QVERIFY(!instruction->isEnabled());
    }

    // Shift+F10 and Shift+F11 undo what F10 and F11 did, lamps and all, and
    // F10 then brings the same states again; greyed while the clock may run.
    void stepBackKeysReturnToEarlierStates() {
        Front f;
        loadImage(f.machine, 0, workedExample());
        QAction* backCycle = f.window.stepBackCycleAction();
        QAction* backInstruction = f.window.stepBackInstructionAction();
        QCOMPARE(backCycle->shortcut(), QKeySequence(Qt::SHIFT | Qt::Key_F10));
        QCOMPARE(backInstruction->shortcut(), QKeySequence(Qt::SHIFT | Qt::Key_F11));
        QVERIFY(!backCycle->isEnabled());
        click(f.window.pauseSwitch());
        click(f.window.resetSwitch());
        f.window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&f.window));
        QVERIFY(backCycle->isEnabled());

        auto lamps = [&] { return readLamps(f.machine.computer()); };
        auto same = [](const LampReading& a, const LampReading& b) {
            return a.clock == b.clock && a.phaseMask == b.phaseMask && a.address == b.address &&
                   a.code == b.code && a.operand == b.operand && a.accumulator == b.accumulator &&
                   a.zero == b.zero && a.carry == b.carry;
        };
        std::vector<LampReading> instructions{lamps()};
        for (int i = 0; i < 3; ++i) {
            QTest::keyClick(&f.window, Qt::Key_F11);
            instructions.push_back(lamps());
        }
        QCOMPARE(instructions.back().code, 0x11u);
        std::vector<LampReading> cycles{lamps()};
        for (int i = 0; i < 5; ++i) {
            QTest::keyClick(&f.window, Qt::Key_F10);
            cycles.push_back(lamps());
        }
        for (int i = 4; i >= 0; --i) {
            QTest::keyClick(&f.window, Qt::Key_F10, Qt::ShiftModifier);
            QVERIFY2(same(lamps(), cycles[static_cast<std::size_t>(i)]), qPrintable(QString::number(i)));
        }
        for (int i = 1; i <= 5; ++i) {
            QTest::keyClick(&f.window, Qt::Key_F10);
            QVERIFY2(same(lamps(), cycles[static_cast<std::size_t>(i)]), qPrintable(QString::number(i)));
        }
        for (int i = 5; i > 0; --i) QTest::keyClick(&f.window, Qt::Key_F10, Qt::ShiftModifier);
        QTest::keyClick(&f.window, Qt::Key_F11, Qt::ShiftModifier);
        QVERIFY(same(lamps(), instructions[2]));
        QCOMPARE(lamps().code, 0x20u);

        click(f.window.pauseSwitch());
        QVERIFY(!backCycle->isEnabled());
        QVERIFY(!backInstruction->isEnabled());
        f.machine.stopSimulation();
    }

    // A breakpoint reached while running: Pause goes on by itself, the lamps
    // show the instruction's first cycle, and stepping is offered.
    void aBreakpointPausesTheRunningMachine() {
        Front f;
        loadImage(f.machine, 0, workedExample());
        f.machine.setClockPeriod(Machine::fastestClockPeriod);
        f.machine.stopConditions.setBreakpoint(0x0006, true);
        click(f.window.resetSwitch());
        QTRY_VERIFY_WITH_TIMEOUT(f.machine.computer().pauseSwitch().isOn(), 10000);
        QTRY_VERIFY_WITH_TIMEOUT(!f.machine.simulationAlive(), 5000);
        QCOMPARE(readLamps(f.machine.computer()).address, 0x0006u);
        QVERIFY(f.machine.computer().phaseLamps()[0].isOn());
        QCOMPARE(lampValue(f.machine.computer().codeLamps(), LampOrder::highBitFirst), 0x20u);
        QTRY_VERIFY_WITH_TIMEOUT(f.window.stepCycleAction()->isEnabled(), 5000);
        QVERIFY(f.window.stepBackCycleAction()->isEnabled());
        f.machine.stopSimulation();
    }

    void speedTooltipShowsThePeriodAndTheRateAchieved() {
        Front f;
        QSlider* slider = f.window.speedSlider();
        QCOMPARE(slider->toolTip(), QStringLiteral("Clock period 10 ms \u2014 stopped"));
        QTest::keyClick(slider, Qt::Key_Home);
        QCOMPARE(slider->toolTip(), QStringLiteral("Clock period 1 ms \u2014 stopped"));
        loadImage(f.machine, 0, countingLoop());
        click(f.window.resetSwitch());
        QVERIFY(f.machine.simulationAlive());

        const QRegularExpression rate(QStringLiteral("^Clock period 1 ms \u2014 (\\d+) cycles/s$"));
        QTRY_VERIFY_WITH_TIMEOUT(rate.match(slider->toolTip()).hasMatch(), 5000);
        // Let a whole second of samples gather, measuring alongside.
        QTest::qWait(1100);
        const std::uint64_t before = f.machine.threadCycles();
        QElapsedTimer clock;
        clock.start();
        QTest::qWait(1000);
        const double measured = double(f.machine.threadCycles() - before) * 1000.0 / double(clock.elapsed());
        const QRegularExpressionMatch shown = rate.match(slider->toolTip());
        QVERIFY2(shown.hasMatch(), qPrintable(slider->toolTip()));
        const double readout = shown.captured(1).toDouble();
        QVERIFY2(readout > 0 && readout <= 1050, qPrintable(slider->toolTip()));
        QVERIFY2(std::abs(readout - measured) <= 0.3 * measured + 20,
                 qPrintable(QStringLiteral("%1 shown, %2 measured").arg(readout).arg(measured)));

        click(f.window.pauseSwitch());
        QTRY_COMPARE_WITH_TIMEOUT(slider->toolTip(), QStringLiteral("Clock period 1 ms \u2014 stopped"),
                                  5000);
    }

    // Power on with Reset off: the clock runs, no phase lamp lights, and only
    // Reset on and off starts the program. The Reset switch says so, and
    // stops saying so once the ring runs; a running ring never shows it.
    void resetSwitchHintsAtAPhaseRingThatNeverStarted() {
        Front f;
        QWidget* reset = f.window.resetSwitch();
        QTest::keyClick(f.window.speedSlider(), Qt::Key_Home);
        click(reset);  // Reset off with Power off
        QCOMPARE(reset->toolTip(), QString());
        click(f.window.powerSwitch());
        QVERIFY(f.machine.simulationAlive());
        QTRY_COMPARE_WITH_TIMEOUT(reset->toolTip(), MainWindow::resetHint, 5000);
        for (const IndicatorLamp& lamp : f.machine.computer().phaseLamps()) QVERIFY(!lamp.isOn());

        click(reset);
        QTRY_COMPARE_WITH_TIMEOUT(reset->toolTip(), QString(), 5000);
        click(reset);
        // The ring now runs through the empty memory's no-ops: a second of
        // samples, and the hint never comes back.
        QTRY_VERIFY_WITH_TIMEOUT(f.machine.threadCycles() > 100, 5000);
        for (int sample = 0; sample < 8; ++sample) {
            QTest::qWait(125);
            QCOMPARE(reset->toolTip(), QString());
        }
    }
};

}  // namespace tarnwick::test

QTEST_MAIN(tarnwick::test::MainWindowTest)
#include "MainWindowTest.moc"
