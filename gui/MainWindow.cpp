#include "gui/MainWindow.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLayout>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPainter>
#include <QSlider>
#include <QTimer>
#include <algorithm>
#include <optional>
#include <string>
#include <utility>

#include "app/Machine.h"
#include "gui/AboutBox.h"
#include "gui/AddressRangeDialog.h"
#include "gui/ControlPanelWindow.h"
#include "gui/Documentation.h"
#include "gui/ImageFiles.h"
#include "gui/IndicatorLampWidget.h"
#include "gui/MemoryWindow.h"
#include "gui/PanelAccessible.h"
#include "gui/PanelLook.h"
#include "gui/ProgramWindow.h"
#include "gui/RelaysWindow.h"
#include "gui/RememberedState.h"
#include "gui/SignalsWindow.h"
#include "gui/ToggleSwitchWidget.h"
#include "machine/Lamps.h"
#include "memory/OutputFile.h"

namespace tarnwick {

namespace {

// The grey client area below the menu bar; it paints the labels, the lamps,
// switches, slider and control panel are its children.
class FrontPanelView : public QWidget {
public:
    explicit FrontPanelView(QWidget* parent) : QWidget(parent) {
        setFixedSize(MainWindow::clientWidth, MainWindow::clientHeight);
        setAutoFillBackground(true);
        QPalette palette = this->palette();
        palette.setColor(QPalette::Window, panelGrey);
        setPalette(palette);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        struct Label {
            const char* text;
            int left, top, width, height;
        };
        static constexpr Label labels[] = {
            {"Power", 36, 100, 37, 13},  {"Reset", 108, 100, 35, 13},
            {"Pause", 178, 100, 37, 13}, {"1", 23, 55, 13, 13},
            {"1", 94, 55, 13, 13},       {"1", 164, 55, 13, 13},
            {"0", 23, 80, 13, 13},       {"0", 94, 80, 13, 13},
            {"0", 164, 80, 13, 13},      {"Accumulator", 245, 368, 66, 13},
            {"Code", 245, 396, 32, 13},  {"ZF", 354, 396, 32, 13},
            {"CF", 432, 396, 32, 13},
        };
        QPainter painter(this);
        painter.setFont(mainLabelFont());
        painter.setPen(Qt::black);
        for (const Label& label : labels)
            drawPanelLabel(painter, QRect(label.left, label.top, label.width, label.height),
                           QString::fromLatin1(label.text));
    }
};

}  // namespace

MainWindow::MainWindow(Machine& machine)
    : QMainWindow(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                               Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                               Qt::WindowCloseButtonHint),
      machine_(machine) {
    setWindowTitle(QStringLiteral("Tarnwick Simulation"));
    setWindowIcon(programIcon());
    buildMenus();
    buildPanel();
    // A fixed-size central widget and a fixed-size layout: the window can be
    // neither resized nor maximised.
    layout()->setSizeConstraint(QLayout::SetFixedSize);

    machine_.toggleFastRam();
    updateActions();

    speedClock_.start();
    speedTimer_ = new QTimer(this);
    speedTimer_->setInterval(speedSampleMs);
    connect(speedTimer_, &QTimer::timeout, this, &MainWindow::sampleSpeed);
    speedTimer_->start();
    sampleSpeed();
}

MainWindow::~MainWindow() {
    // No thread may call `stopped` once it is gone.
    machine_.stopSimulation();
    machine_.stopped = {};
    // The worker sets lamps whose widgets go with this window.
    if (machine_.transferActive()) {
        machine_.stopTransfer();
        machine_.finishTransfer();  // a save's end may restart the clock
        machine_.stopSimulation();
    }
    if (busy_) QApplication::restoreOverrideCursor();
}

void MainWindow::buildMenus() {
    auto addCommand = [this](QMenu* menu, const QString& text, int id) {
        QAction* action = menu->addAction(text);
        connect(action, &QAction::triggered, this, [this, id] { command(id, 0); });
        return action;
    };

    fileMenu_ = menuBar()->addMenu(QStringLiteral("&File"));
    addCommand(fileMenu_, QStringLiteral("&Load Memory File..."), loadMemoryFileId);
    reloadAction_ = addCommand(fileMenu_, QStringLiteral("&Reload"), reloadId);
    reloadAction_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_R));
    recentMenu_ = fileMenu_->addMenu(QStringLiteral("Open &Recent"));
    connect(recentMenu_, &QMenu::aboutToShow, this, &MainWindow::fillRecentMenu);
    addCommand(fileMenu_, QStringLiteral("&Save Memory File..."), saveMemoryFileId);
    fileMenu_->addSeparator();
    exitAction_ = addCommand(fileMenu_, QStringLiteral("E&xit"), exitId);
    // Greying follows the remembered files, which another window of the
    // program may have changed meanwhile.
    connect(fileMenu_, &QMenu::aboutToShow, this, &MainWindow::updateActions);

    // Esc stops a load or save; it is enabled only while one runs.
    stopTransferAction_ = new QAction(this);
    stopTransferAction_->setShortcut(QKeySequence(Qt::Key_Escape));
    stopTransferAction_->setShortcutContext(Qt::WindowShortcut);
    stopTransferAction_->setEnabled(false);
    connect(stopTransferAction_, &QAction::triggered, this, [this] { machine_.stopTransfer(); });
    addAction(stopTransferAction_);

    optionsMenu_ = menuBar()->addMenu(QStringLiteral("&Options"));
    useFastRamAction_ = addCommand(optionsMenu_, QStringLiteral("Use &Fast Ram"), useFastRamId);
    useFastRamAction_->setCheckable(true);
    // The mark is not kept up to date by the command; it is read afresh from
    // the machine each time the menu opens.
    connect(optionsMenu_, &QMenu::aboutToShow, this,
            [this] { useFastRamAction_->setChecked(machine_.computer().usesFastRam()); });

    runMenu_ = menuBar()->addMenu(QStringLiteral("&Run"));
    stepCycleAction_ = addCommand(runMenu_, QStringLiteral("Step &Cycle"), stepCycleId);
    stepCycleAction_->setShortcut(QKeySequence(Qt::Key_F10));
    stepInstructionAction_ = addCommand(runMenu_, QStringLiteral("Step &Instruction"), stepInstructionId);
    stepInstructionAction_->setShortcut(QKeySequence(Qt::Key_F11));
    stepBackCycleAction_ = addCommand(runMenu_, QStringLiteral("Step &Back Cycle"), stepBackCycleId);
    stepBackCycleAction_->setShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F10));
    stepBackInstructionAction_ =
        addCommand(runMenu_, QStringLiteral("Step Back I&nstruction"), stepBackInstructionId);
    stepBackInstructionAction_->setShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F11));
    // A breakpoint or watchpoint turns Pause on from the simulation thread;
    // stepping becomes possible, so onStopped (buildDebugViews) brings the
    // menu up to date. It is kept up to date after every command as well, so
    // that the shortcuts are disabled too while stepping cannot act.
    connect(runMenu_, &QMenu::aboutToShow, this, &MainWindow::updateActions);

    buildDebugViews();
    buildRelaysView();

    helpMenu_ = menuBar()->addMenu(QStringLiteral("&Help"));
    addCommand(helpMenu_, QStringLiteral("&Documentation"), documentationId);
    addCommand(helpMenu_, QStringLiteral("&About ..."), aboutId);

    // Alt + "?" and Alt + "/" open the About box from anywhere in the window.
    // They sit on an action of their own so the menu item shows no shortcut.
    // "?" is the character: the Shift that types it is not part of the
    // sequence (adding Alt + Shift + "?" as well would make the press
    // ambiguous, and an ambiguous shortcut does nothing). Where the keyboard
    // map does not offer the Shift-less form, keyPressEvent catches the press.
    aboutKeys_ = new QAction(this);
    aboutKeys_->setShortcuts(
        {QKeySequence(Qt::ALT | Qt::Key_Question), QKeySequence(Qt::ALT | Qt::Key_Slash)});
    aboutKeys_->setShortcutContext(Qt::WindowShortcut);
    connect(aboutKeys_, &QAction::triggered, this, [this] { command(aboutId, 1); });
    addAction(aboutKeys_);

    addSignalsView();
}

QMenu* MainWindow::viewMenu() {
    if (!viewMenu_) {
        viewMenu_ = new QMenu(QStringLiteral("&View"), this);
        menuBar()->insertMenu(helpMenu_->menuAction(), viewMenu_);
    }
    return viewMenu_;
}

// View > Signals: the timing diagram, a window of its own beside the panel.
void MainWindow::addSignalsView() {
    signalsAction_ = viewMenu()->addAction(QStringLiteral("&Signals"));
    signalsAction_->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S));
    connect(signalsAction_, &QAction::triggered, this, &MainWindow::showSignalsWindow);
}

void MainWindow::showSignalsWindow() {
    if (!signalsWindow_) signalsWindow_ = new SignalsWindow(machine_, this);
    signalsWindow_->show();
    signalsWindow_->raise();
    signalsWindow_->activateWindow();
}

void MainWindow::buildRelaysView() {
    relaysAction_ = viewMenu_->addAction(QStringLiteral("&Relays"));
    relaysAction_->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_R));
    connect(relaysAction_, &QAction::triggered, this, &MainWindow::showRelaysWindow);
}

RelaysWindow* MainWindow::relaysWindow() const { return relaysWindow_.data(); }

void MainWindow::showRelaysWindow() {
    // A window of its own above the panel, owned by it: it goes with the panel.
    if (!relaysWindow_) {
        relaysWindow_ = new RelaysWindow(machine_.computer(), this);
        // A relay's or an output's "Add to Signals" becomes a row of the
        // timing diagram, which opens if it is not open yet.
        connect(relaysWindow_, &RelaysWindow::addToSignalsRequested, this, [this](const QString& name) {
            showSignalsWindow();
            signalsWindow_->addRow(name.toStdString());
        });
    }
    relaysWindow_->show();
    relaysWindow_->raise();
    relaysWindow_->activateWindow();
}

void MainWindow::buildPanel() {
    panel_ = new FrontPanelView(this);
    setCentralWidget(panel_);

    // Position and period are the same number, so the left end is the
    // fastest clock. The value is set before the connection: building the
    // window does not set the period.
    // Named before anything else: setting its value already asks Qt for its
    // accessible interface, which is then kept.
    installPanelAccessibility();
    slider_ = new QSlider(Qt::Horizontal, panel_);
    slider_->setObjectName(clockPeriodSliderName);
    slider_->setGeometry(10, 10, 452, 40);
    slider_->setRange(sliderMinimum, sliderMaximum);
    slider_->setTickPosition(QSlider::TicksBelow);
    slider_->setTickInterval(sliderTickInterval);
    slider_->setPageStep((sliderMaximum - sliderMinimum) / 5);
    slider_->setSingleStep(sliderMinimum);
    slider_->setTracking(true);
    slider_->setValue(machine_.clockPeriod());
    connect(slider_, &QSlider::valueChanged, this, [this](int period) {
        machine_.setClockPeriod(period);
        slider_->setToolTip(speedReadout());
    });

    slider_->setAccessibleName(QStringLiteral("Clock period"));

    Machine& m = machine_;
    auto lamp = [this](IndicatorLamp& state, int x, int y, const QString& name) {
        (new IndicatorLampWidget(state, x, y, panel_))->setAccessibleName(name);
    };
    for (int k = 0; k < 16; ++k)
        lamp(m.computer().addressLamps()[k], 427 - 26 * k, 123, QStringLiteral("Address bit %1").arg(k));
    for (int k = 0; k < 4; ++k)
        lamp(m.computer().phaseLamps()[k], 427 - 26 * k, 88, QStringLiteral("Phase %1").arg(k));
    lamp(m.computer().clockLamp(), 427, 53, QStringLiteral("Clock"));
    for (int k = 0; k < 8; ++k)
        lamp(m.computer().accumulatorLamps()[k], 37 + 26 * k, 362,
             QStringLiteral("Accumulator bit %1").arg(7 - k));
    for (int k = 0; k < 8; ++k)
        lamp(m.computer().codeLamps()[k], 37 + 26 * k, 390, QStringLiteral("Code bit %1").arg(7 - k));
    for (int k = 0; k < 16; ++k)
        lamp(m.computer().operandLamps()[k], 37 + 26 * k, 418, QStringLiteral("Operand bit %1").arg(15 - k));
    lamp(m.computer().zeroFlagLamp(), 323, 390, QStringLiteral("Zero flag"));
    lamp(m.computer().carryFlagLamp(), 401, 390, QStringLiteral("Carry flag"));

    powerSwitch_ = new ToggleSwitchWidget(m.computer().powerSwitch(), powerId, 42, 53, *this, panel_);
    resetSwitch_ = new ToggleSwitchWidget(m.computer().resetSwitch(), resetId, 113, 53, *this, panel_);
    pauseSwitch_ = new ToggleSwitchWidget(m.computer().pauseSwitch(), pauseId, 183, 53, *this, panel_);
    powerSwitch_->setAccessibleName(QStringLiteral("Power"));
    resetSwitch_->setAccessibleName(QStringLiteral("Reset"));
    pauseSwitch_->setAccessibleName(QStringLiteral("Pause"));

    controlPanel_ = new ControlPanelWindow(m.computer(), panel_);

    // Top to bottom, left to right: the slider, the three switches, then the
    // RAM control panel's switches.
    setTabOrder(slider_, powerSwitch_);
    setTabOrder(powerSwitch_, resetSwitch_);
    setTabOrder(resetSwitch_, pauseSwitch_);
    setTabOrder(pauseSwitch_, controlPanel_->firstInTabOrder());
}

void MainWindow::buildDebugViews() {
    viewMenu_ = menuBar()->addMenu(QStringLiteral("&View"));
    viewMemoryAction_ = viewMenu_->addAction(QStringLiteral("&Memory"));
    viewMemoryAction_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_M));
    connect(viewMemoryAction_, &QAction::triggered, this, [this] { command(viewMemoryId, 0); });
    viewProgramAction_ = viewMenu_->addAction(QStringLiteral("&Program"));
    viewProgramAction_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_P));
    connect(viewProgramAction_, &QAction::triggered, this, [this] { command(viewProgramId, 0); });

    runMenu_->addSeparator();
    runToCursorAction_ = runMenu_->addAction(QStringLiteral("Run to C&ursor"));
    runToCursorAction_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_F10));
    connect(runToCursorAction_, &QAction::triggered, this, [this] { command(runToCursorId, 0); });

    // Said on the simulation thread, which must not touch a widget.
    QPointer<MainWindow> window(this);
    machine_.stopped = [window](const StopConditions::Stop&) {
        QMetaObject::invokeMethod(
            window.data(),
            [window] {
                if (window) window->onStopped();
            },
            Qt::QueuedConnection);
    };
}

void MainWindow::onStopped() {
    if (cursorBreakpoint_)
        machine_.stopConditions.setBreakpoint(*std::exchange(cursorBreakpoint_, std::nullopt), false);
    if (programWindow_ && programWindow_->isVisible()) programWindow_->refresh();
    if (memoryWindow_ && memoryWindow_->isVisible()) memoryWindow_->model()->refresh();
    updateActions();
}

MemoryWindow* MainWindow::memoryWindow() {
    if (!memoryWindow_) {
        memoryWindow_ = new MemoryWindow(
            machine_,
            [this](const QString& name) -> std::optional<std::uint16_t> {
                if (!loadedSource_) return std::nullopt;
                return loadedSource_->labelAddress(name.toStdString());
            },
            this);
    }
    return memoryWindow_;
}

ProgramWindow* MainWindow::programWindow() {
    if (!programWindow_)
        programWindow_ = new ProgramWindow(
            machine_, [this] { return loadedSource_; }, this);
    return programWindow_;
}

void MainWindow::runToCursor() {
    if (!programWindow_ || !machine_.computer().powerSwitch().isOn()) return;
    const std::optional<std::uint16_t> address = programWindow_->cursorAddress();
    if (!address) return;
    if (cursorBreakpoint_)
        machine_.stopConditions.setBreakpoint(*std::exchange(cursorBreakpoint_, std::nullopt), false);
    if (!machine_.stopConditions.hasBreakpoint(*address)) {
        machine_.stopConditions.setBreakpoint(*address, true);
        cursorBreakpoint_ = address;
    }
    // As the user would: Pause off, then Reset off, each through its command.
    if (machine_.computer().pauseSwitch().isOn()) {
        machine_.computer().pauseSwitch().setState(0);
        machine_.startSimulation();
    }
    if (machine_.computer().resetSwitch().isOn()) {
        machine_.computer().resetSwitch().setState(0);
        machine_.resetCommand();
    }
    if (programWindow_) programWindow_->model()->breakpointsChanged();
}

void MainWindow::closeDebugViews() {
    if (memoryWindow_) memoryWindow_->close();
    if (programWindow_) programWindow_->close();
}

void MainWindow::command(int id, int code) {
    // A load or save runs on its worker: only Exit may act, and it stops the
    // transfer first. The items are greyed as well; this covers the keys and
    // commands sent by id.
    if (busy_) {
        if (id == exitId) close();
        return;
    }
    switch (id) {
        case aboutId:
            showAbout();
            break;
        case documentationId:
            openDocumentation(this);
            break;
        case exitId:
            // Through the close event, which stops the simulation thread first.
            close();
            break;
        case powerId:
            if (code == 0) machine_.powerCommand();
            if (!machine_.computer().powerSwitch().isOn())
                loadedSource_.reset();  // Power off erased the memory
            break;
        case resetId:
            if (code == 0) machine_.resetCommand();
            break;
        case pauseId:
            if (code == 0) machine_.startSimulation();
            // Paused by hand: a Run to Cursor still pending is given up.
            if (machine_.computer().pauseSwitch().isOn() && cursorBreakpoint_)
                machine_.stopConditions.setBreakpoint(*std::exchange(cursorBreakpoint_, std::nullopt), false);
            break;
        case useFastRamId:
            machine_.toggleFastRam();
            loadedSource_.reset();  // the new memory is empty
            break;
        case viewMemoryId:
            memoryWindow()->show();
            memoryWindow()->raise();
            memoryWindow()->activateWindow();
            break;
        case viewProgramId:
            programWindow()->show();
            programWindow()->raise();
            programWindow()->activateWindow();
            break;
        case runToCursorId:
            runToCursor();
            break;
        case loadMemoryFileId:
            loadMemoryFile([this] { return askForMemoryFile(); });
            break;
        case reloadId:
            reload();
            break;
        case saveMemoryFileId:
            saveMemoryFile();
            break;
        case stepCycleId:
            machine_.stepCycle();
            break;
        case stepInstructionId:
            machine_.stepInstruction();
            break;
        case stepBackCycleId:
            machine_.stepBackCycle();
            break;
        case stepBackInstructionId:
            machine_.stepBackInstruction();
            break;
        default:
            break;
    }
    updateActions();
}

void MainWindow::updateActions() {
    const bool idle = !busy_;
    for (QMenu* menu : {fileMenu_, optionsMenu_, runMenu_, viewMenu_, helpMenu_})
        for (QAction* action : menu->actions())
            if (!action->isSeparator() && action != exitAction_) action->setEnabled(idle);
    aboutKeys_->setEnabled(idle);
    const bool anyFile = !remembered::recentFiles().isEmpty();
    reloadAction_->setEnabled(idle && anyFile);
    recentMenu_->menuAction()->setEnabled(idle && anyFile);
    const bool canStep = idle && machine_.canStep();
    stepCycleAction_->setEnabled(canStep);
    stepInstructionAction_->setEnabled(canStep);
    runToCursorAction_->setEnabled(idle && programWindow_ && programWindow_->isVisible() &&
                                   programWindow_->cursorAddress() &&
                                   machine_.computer().powerSwitch().isOn() && !machine_.simulationAlive());
    const bool canStepBack = canStep && machine_.canStepBack();
    stepBackCycleAction_->setEnabled(canStepBack);
    stepBackInstructionAction_->setEnabled(canStepBack);
}

void MainWindow::setBusy(bool busy) {
    if (busy == busy_) return;
    busy_ = busy;
    if (busy) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        focusBeforeBusy_ = panel_->isAncestorOf(focusWidget()) ? focusWidget() : nullptr;
    } else {
        QApplication::restoreOverrideCursor();
    }
    // Switches, slider and RAM control panel take no input meanwhile.
    panel_->setEnabled(!busy);
    if (!busy && focusBeforeBusy_) focusBeforeBusy_->setFocus(Qt::OtherFocusReason);
    stopTransferAction_->setEnabled(busy);
    updateActions();
}

std::function<void()> MainWindow::transferFinishedNotice() {
    // The worker ends right after this; the window joins it when the queued
    // call runs. The destructor joins it before the window goes, so the call
    // never outlives the window.
    return [this] { QMetaObject::invokeMethod(this, &MainWindow::onTransferFinished, Qt::QueuedConnection); };
}

void MainWindow::onTransferFinished() {
    if (!machine_.transferActive()) return;
    Machine::TransferResult result = machine_.finishTransfer();
    std::optional<PendingSave> save = std::exchange(pendingSave_, std::nullopt);
    setBusy(false);
    if (closeRequested_) {
        close();
        return;
    }
    if (save && result.bytes)
        writeSaveFile(MemoryImage{save->first, save->last, std::move(*result.bytes)}, save->path);
}

void MainWindow::closeEvent(QCloseEvent* event) {
    // A load or save stops after its current address; the window closes
    // once the worker has said it is done.
    if (busy_) {
        closeRequested_ = true;
        machine_.stopTransfer();
        event->ignore();
        return;
    }
    // No cycle may run once the lamps' windows start to go.
    machine_.stopSimulation();
    closeDebugViews();
    if (signalsWindow_) signalsWindow_->close();
    if (relaysWindow_) relaysWindow_->close();
    event->accept();
}

void MainWindow::keyPressEvent(QKeyEvent* event) {
    // Alt with the key that types "?" or "/", whatever Shift the layout needs
    // for it (Alt + Shift + "/" on a US keyboard, Alt + Shift + "7" for "/" on
    // a German one): the presses no shortcut took reach the window here.
    const bool alt = event->modifiers() & Qt::AltModifier;
    const bool aboutKey = event->key() == Qt::Key_Question || event->key() == Qt::Key_Slash ||
                          event->text() == QStringLiteral("?") || event->text() == QStringLiteral("/");
    if (alt && aboutKey && !event->isAutoRepeat()) {
        event->accept();
        command(aboutId, 1);
        return;
    }
    QMainWindow::keyPressEvent(event);
}

void MainWindow::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    // The size hints already forbid it; this covers window systems that
    // maximise regardless.
    constexpr Qt::WindowStates enlarged = Qt::WindowMaximized | Qt::WindowFullScreen;
    if (event->type() == QEvent::WindowStateChange && (windowState() & enlarged))
        QMetaObject::invokeMethod(
            this, [this, enlarged] { setWindowState(windowState() & ~enlarged); }, Qt::QueuedConnection);
}

void MainWindow::showAbout() {
    AboutBox box(this);
    box.exec();
}

void MainWindow::openFile(const std::string& path) {
    if (busy_) return;
    loadMemoryFile([path] { return std::optional<std::string>(path); });
    updateActions();
}

void MainWindow::reload() {
    const QStringList files = remembered::recentFiles();
    if (files.isEmpty()) return;
    openFile(QFile::encodeName(files.constFirst()).toStdString());
}

void MainWindow::fillRecentMenu() {
    recentMenu_->clear();
    const QStringList files = remembered::recentFiles();
    for (qsizetype i = 0; i < files.size(); ++i) {
        const QString path = files[i];
        // "&1 /home/me/sum.asm": the digit picks it from the keyboard.
        QString shown = path;
        shown.replace(QLatin1Char('&'), QStringLiteral("&&"));  // a literal "&", not a mnemonic
        QString text = QStringLiteral("%1 %2").arg(i + 1).arg(shown);
        if (i < 9) text.prepend(QLatin1Char('&'));
        QAction* action = recentMenu_->addAction(text);
        action->setData(path);
        action->setEnabled(!busy_);
        connect(action, &QAction::triggered, this,
                [this, path] { openFile(QFile::encodeName(path).toStdString()); });
    }
}

namespace {

// The folder the file dialogs last showed, while it still exists.
void startInLastFolder(QFileDialog& dialog) {
    const QString folder = remembered::lastFolder();
    if (!folder.isEmpty() && QDir(folder).exists()) dialog.setDirectory(folder);
}

}  // namespace

std::optional<std::string> MainWindow::askForMemoryFile() {
    if (memoryFileChooser_) return memoryFileChooser_();
    QFileDialog dialog(this, QStringLiteral("Open memory file"));
    startInLastFolder(dialog);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setNameFilters({QStringLiteral("Memory files (*.RAM)"), QStringLiteral("All files (*.*)"),
                           QStringLiteral("Assembler sources (*.asm)")});
    dialog.setDefaultSuffix(QStringLiteral("RAM"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    return QFile::encodeName(dialog.selectedFiles().constFirst()).toStdString();
}

void MainWindow::loadMemoryFile(const FileChooser& chooseFile) {
    machine_.powerOnForLoad();
    const std::optional<std::string> path = chooseFile();
    if (!path) return;
    // Remembered even when the file is rejected: fixing a source and
    // reloading it is the point of Reload.
    remembered::noteFileUsed(QFile::decodeName(QByteArray::fromStdString(*path)));
    std::shared_ptr<const assembler::ProgramText> source;
    const auto read = [&source](const std::string& file) { return readImageFile(file, source); };
    if (const std::optional<std::string> error = machine_.startLoad(*path, read, transferFinishedNotice())) {
        QMessageBox::warning(this, windowTitle(), QString::fromStdString(*error));
        return;
    }
    // The source's lines now describe memory; a memory file has none.
    loadedSource_ = std::move(source);
    setBusy(true);
}

std::optional<std::string> MainWindow::askForSaveFile() {
    if (saveFileChooser_) return saveFileChooser_();
    QFileDialog dialog(this, QStringLiteral("Save memory file"));
    startInLastFolder(dialog);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilters({QStringLiteral("Memory files (*.RAM)"), QStringLiteral("All files (*.*)")});
    dialog.setDefaultSuffix(QStringLiteral("RAM"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    return QFile::encodeName(dialog.selectedFiles().constFirst()).toStdString();
}

void MainWindow::saveMemoryFile() {
    const Machine::AddressRange initial = machine_.defaultSaveRange();
    AddressRangeDialog rangeDialog(initial.first, initial.last, this);
    if (rangeDialog.exec() != QDialog::Accepted) return;
    const std::optional<AddressRangeDialog::Range> range = rangeDialog.range();
    if (!range) return;
    const std::optional<std::string> path = askForSaveFile();
    if (!path) return;
    remembered::setLastFolder(QFileInfo(QFile::decodeName(QByteArray::fromStdString(*path))).absolutePath());

    if (!machine_.startSave(range->first, range->last, transferFinishedNotice())) return;
    pendingSave_ = PendingSave{*path, range->first, range->last};
    setBusy(true);
}

void MainWindow::writeSaveFile(const MemoryImage& image, const std::string& path) {
    const std::vector<std::uint8_t> contents = serialiseMemoryFile(image);
    const std::optional<std::string> problem = writeWholeFile(
        path, std::string_view(reinterpret_cast<const char*>(contents.data()), contents.size()));
    if (problem)
        QMessageBox::warning(
            this, windowTitle(),
            QStringLiteral("Could not save %1: %2")
                .arg(QFile::decodeName(QByteArray::fromStdString(path)), QString::fromStdString(*problem)));
}

QString MainWindow::speedReadout() const {
    const QString period = clockPeriodText(machine_.clockPeriod());
    QString rate = QStringLiteral("stopped");
    // The thread goes on running cycles after HLT (every relay is stepped,
    // nothing changes): a rate then would only say how fast nothing happens.
    const bool halted = machine_.simulationAlive() && !machine_.computer().resetSwitch().isOn() &&
                        lampValue(machine_.computer().codeLamps(), LampOrder::highBitFirst) == 0xFF;
    if (halted) {
        rate = QStringLiteral("halted");
    } else if (speedSamples_.size() >= 2 && speedSamples_.back().first > speedSamples_.front().first) {
        const auto& [oldTime, oldCycles] = speedSamples_.front();
        const auto& [newTime, newCycles] = speedSamples_.back();
        const double perSecond = double(newCycles - oldCycles) * 1000.0 / double(newTime - oldTime);
        rate = QStringLiteral("%1 cycles/s").arg(qRound64(perSecond));
    } else if (!speedSamples_.empty()) {
        rate = QStringLiteral("measuring");
    }
    return QStringLiteral("Clock period %1 \u2014 %2").arg(period, rate);
}

void MainWindow::sampleSpeed() {
    if (!machine_.simulationAlive()) {
        speedSamples_.clear();
    } else {
        const qint64 now = speedClock_.elapsed();
        speedSamples_.emplace_back(now, machine_.threadCycles());
        // The oldest kept is the latest that is at least a second old.
        while (speedSamples_.size() > 2 && now - speedSamples_[1].first >= 1000) speedSamples_.pop_front();
    }
    const QString readout = speedReadout();
    slider_->setToolTip(readout);
    slider_->setAccessibleDescription(readout);
    updateResetHint();
}

const QString MainWindow::resetHint =
    QStringLiteral("No phase lamp is lit: turn Reset on and off to start the program at 0000h");

// A running phase ring is never dark for more than a cycle, so a clock that
// has run resetHintCycles with every phase lamp dark is the stuck state Power
// on with Reset off leaves, which only Reset on and off gets out of.
void MainWindow::updateResetHint() {
    const auto lit = [](const IndicatorLamp& lamp) { return lamp.isOn(); };
    const bool ringDark = machine_.computer().powerSwitch().isOn() &&
                          !machine_.computer().resetSwitch().isOn() && machine_.simulationAlive() &&
                          std::ranges::none_of(machine_.computer().phaseLamps(), lit);
    if (!ringDark) {
        ringDarkSince_.reset();
        resetSwitch_->setToolTip(QString());
        return;
    }
    const std::uint64_t cycles = machine_.threadCycles();
    if (!ringDarkSince_) ringDarkSince_ = cycles;
    if (cycles - *ringDarkSince_ >= resetHintCycles) resetSwitch_->setToolTip(resetHint);
}

}  // namespace tarnwick
