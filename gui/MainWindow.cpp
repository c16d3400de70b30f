#include "gui/MainWindow.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QFile>
#include <QFileDialog>
#include <QKeyEvent>
#include <QLayout>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPainter>
#include <QSaveFile>
#include <QSlider>
#include <QTimer>
#include <algorithm>
#include <optional>
#include <string>

#include "app/Machine.h"
#include "gui/AboutBox.h"
#include "gui/AddressRangeDialog.h"
#include "gui/ControlPanelWindow.h"
#include "gui/Documentation.h"
#include "gui/ImageFiles.h"
#include "gui/IndicatorLampWidget.h"
#include "gui/PanelLook.h"
#include "gui/ToggleSwitchWidget.h"

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

// Marks the window busy for a load or save: the pointer shows it, and the
// window filters the application's input so that only the menu bar (for
// Exit), the close box and Esc get through.
class BusyScope {
public:
    explicit BusyScope(MainWindow& window) : window_(window) {
        window_.busy_ = true;
        window_.stopRequested_ = false;
        window_.updateStepActions();
        QApplication::setOverrideCursor(Qt::WaitCursor);
        qApp->installEventFilter(&window_);
    }
    ~BusyScope() {
        qApp->removeEventFilter(&window_);
        QApplication::restoreOverrideCursor();
        window_.busy_ = false;
        window_.updateStepActions();
    }
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;

private:
    MainWindow& window_;
};

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
    updateStepActions();

    speedClock_.start();
    speedTimer_ = new QTimer(this);
    speedTimer_->setInterval(speedSampleMs);
    connect(speedTimer_, &QTimer::timeout, this, &MainWindow::sampleSpeed);
    speedTimer_->start();
    sampleSpeed();
}

MainWindow::~MainWindow() = default;

void MainWindow::buildMenus() {
    auto addCommand = [this](QMenu* menu, const QString& text, int id) {
        QAction* action = menu->addAction(text);
        connect(action, &QAction::triggered, this, [this, id] { command(id, 0); });
        return action;
    };

    fileMenu_ = menuBar()->addMenu(QStringLiteral("&File"));
    addCommand(fileMenu_, QStringLiteral("&Load Memory File..."), loadMemoryFileId);
    addCommand(fileMenu_, QStringLiteral("&Save Memory File..."), saveMemoryFileId);
    fileMenu_->addSeparator();
    addCommand(fileMenu_, QStringLiteral("E&xit"), exitId);

    optionsMenu_ = menuBar()->addMenu(QStringLiteral("&Options"));
    useFastRamAction_ = addCommand(optionsMenu_, QStringLiteral("Use &Fast Ram"), useFastRamId);
    useFastRamAction_->setCheckable(true);
    // The mark is not kept up to date by the command; it is read afresh from
    // the machine each time the menu opens.
    connect(optionsMenu_, &QMenu::aboutToShow, this,
            [this] { useFastRamAction_->setChecked(machine_.useFastRam); });

    runMenu_ = menuBar()->addMenu(QStringLiteral("&Run"));
    stepCycleAction_ = addCommand(runMenu_, QStringLiteral("Step &Cycle"), stepCycleId);
    stepCycleAction_->setShortcut(QKeySequence(Qt::Key_F10));
    stepInstructionAction_ = addCommand(runMenu_, QStringLiteral("Step &Instruction"), stepInstructionId);
    stepInstructionAction_->setShortcut(QKeySequence(Qt::Key_F11));
    // Kept up to date after every command as well, so that the shortcuts are
    // disabled too while stepping cannot act.
    connect(runMenu_, &QMenu::aboutToShow, this, &MainWindow::updateStepActions);

    helpMenu_ = menuBar()->addMenu(QStringLiteral("&Help"));
    addCommand(helpMenu_, QStringLiteral("&Documentation"), documentationId);
    addCommand(helpMenu_, QStringLiteral("&About ..."), aboutId);

    // Alt + "?" and Alt + "/" open the About box from anywhere in the window.
    // They sit on an action of their own so the menu item shows no shortcut.
    // "?" is the character: the Shift that types it is not part of the
    // sequence (adding Alt + Shift + "?" as well would make the press
    // ambiguous, and an ambiguous shortcut does nothing). Where the keyboard
    // map does not offer the Shift-less form, keyPressEvent catches the press.
    auto* aboutKeys = new QAction(this);
    aboutKeys->setShortcuts(
        {QKeySequence(Qt::ALT | Qt::Key_Question), QKeySequence(Qt::ALT | Qt::Key_Slash)});
    aboutKeys->setShortcutContext(Qt::WindowShortcut);
    connect(aboutKeys, &QAction::triggered, this, [this] { command(aboutId, 1); });
    addAction(aboutKeys);
}

void MainWindow::buildPanel() {
    panel_ = new FrontPanelView(this);
    setCentralWidget(panel_);

    // Position and period are the same number, so the left end is the
    // fastest clock. The value is set before the connection: building the
    // window does not set the period.
    slider_ = new QSlider(Qt::Horizontal, panel_);
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

    Machine& m = machine_;
    for (int k = 0; k < 16; ++k) new IndicatorLampWidget(m.addressLamps[k], 427 - 26 * k, 123, panel_);
    for (int k = 0; k < 4; ++k) new IndicatorLampWidget(m.phaseLamps[k], 427 - 26 * k, 88, panel_);
    new IndicatorLampWidget(m.clockLamp, 427, 53, panel_);
    for (int k = 0; k < 8; ++k) new IndicatorLampWidget(m.accumulatorLamps[k], 37 + 26 * k, 362, panel_);
    for (int k = 0; k < 8; ++k) new IndicatorLampWidget(m.codeLamps[k], 37 + 26 * k, 390, panel_);
    for (int k = 0; k < 16; ++k) new IndicatorLampWidget(m.operandLamps[k], 37 + 26 * k, 418, panel_);
    new IndicatorLampWidget(m.zeroFlagLamp, 323, 390, panel_);
    new IndicatorLampWidget(m.carryFlagLamp, 401, 390, panel_);

    powerSwitch_ = new ToggleSwitchWidget(m.powerSwitch, powerId, 42, 53, *this, panel_);
    resetSwitch_ = new ToggleSwitchWidget(m.resetSwitch, resetId, 113, 53, *this, panel_);
    pauseSwitch_ = new ToggleSwitchWidget(m.pauseSwitch, pauseId, 183, 53, *this, panel_);

    controlPanel_ = new ControlPanelWindow(m, panel_);
}

void MainWindow::command(int id, int code) {
    // A load or save pumps events: only Exit may act, and it stops the work
    // first. Nothing else runs inside it (the Machine's commands are not
    // re-entrant).
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
            break;
        case resetId:
            if (code == 0) machine_.resetCommand();
            break;
        case pauseId:
            if (code == 0) machine_.startSimulation();
            break;
        case useFastRamId:
            machine_.toggleFastRam();
            break;
        case loadMemoryFileId:
            loadMemoryFile([this] { return askForMemoryFile(); });
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
        default:
            break;
    }
    updateStepActions();
}

void MainWindow::updateStepActions() {
    const bool can = !busy_ && machine_.canStep();
    stepCycleAction_->setEnabled(can);
    stepInstructionAction_->setEnabled(can);
}

void MainWindow::closeEvent(QCloseEvent* event) {
    // A load or save still on the stack stops after its current byte and
    // closes the window itself once it has returned.
    if (busy_) {
        stopRequested_ = true;
        closeRequested_ = true;
        event->ignore();
        return;
    }
    // No cycle may run once the lamps' windows start to go.
    machine_.stopSimulation();
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

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    if (!busy_) return QMainWindow::eventFilter(watched, event);
    auto* widget = qobject_cast<QWidget*>(watched);
    const bool inMenus = qobject_cast<QMenu*>(watched) || qobject_cast<QMenuBar*>(watched);
    switch (event->type()) {
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::ShortcutOverride:
            if (inMenus) return false;
            if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape)
                stopRequested_ = true;
            return true;
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::Wheel:
            // The switches, the slider and the control panel: clicks there
            // are ignored, as they are whenever the window is busy.
            return widget && (widget == panel_ || panel_->isAncestorOf(widget));
        default:
            return QMainWindow::eventFilter(watched, event);
    }
}

bool MainWindow::keepAnswering() {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    return !stopRequested_;
}

void MainWindow::openFile(const std::string& path) {
    if (busy_) return;
    loadMemoryFile([path] { return std::optional<std::string>(path); });
    updateStepActions();
}

std::optional<std::string> MainWindow::askForMemoryFile() {
    if (memoryFileChooser_) return memoryFileChooser_();
    QFileDialog dialog(this, QStringLiteral("Open memory file"));
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setNameFilters({QStringLiteral("Memory files (*.RAM)"), QStringLiteral("All files (*.*)"),
                           QStringLiteral("Assembler sources (*.asm)")});
    dialog.setDefaultSuffix(QStringLiteral("RAM"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    return QFile::encodeName(dialog.selectedFiles().constFirst()).toStdString();
}

void MainWindow::loadMemoryFile(const FileChooser& chooseFile) {
    // Busy from the moment a file is chosen (not while the dialog is open):
    // each address then lets the window repaint and answer, and Esc, the
    // close box or Exit stop the load after the byte being written.
    std::optional<BusyScope> busy;
    auto choose = [&] {
        std::optional<std::string> path = chooseFile();
        if (path) busy.emplace(*this);
        return path;
    };
    std::optional<std::string> error = machine_.loadMemoryFile(
        choose, [this] { return keepAnswering(); }, readImageFile);
    busy.reset();
    if (closeRequested_) {
        close();
        return;
    }
    if (error) QMessageBox::warning(this, windowTitle(), QString::fromStdString(*error));
}

std::optional<std::string> MainWindow::askForSaveFile() {
    if (saveFileChooser_) return saveFileChooser_();
    QFileDialog dialog(this, QStringLiteral("Save memory file"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilters({QStringLiteral("Memory files (*.RAM)"), QStringLiteral("All files (*.*)")});
    dialog.setDefaultSuffix(QStringLiteral("RAM"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    return QFile::encodeName(dialog.selectedFiles().constFirst()).toStdString();
}

void MainWindow::saveMemoryFile() {
    const Machine::AddressRange initial =
        machine_.lastLoadedRange().value_or(Machine::AddressRange{0x0000, 0x00FF});
    AddressRangeDialog rangeDialog(initial.first, initial.last, this);
    if (rangeDialog.exec() != QDialog::Accepted) return;
    const std::optional<AddressRangeDialog::Range> range = rangeDialog.range();
    if (!range) return;
    const std::optional<std::string> path = askForSaveFile();
    if (!path) return;

    std::optional<std::vector<std::uint8_t>> bytes;
    {
        BusyScope busy(*this);
        bytes = machine_.readMemory(range->first, range->last, [this] { return keepAnswering(); });
    }
    if (closeRequested_) {
        close();
        return;
    }
    if (!bytes) return;  // stopped with Esc: nothing written

    const MemoryImage image{range->first, range->last, std::move(*bytes)};
    const std::vector<std::uint8_t> contents = serialiseMemoryFile(image);
    // Written beside the target and renamed over it only when complete.
    const QString name = QFile::decodeName(QByteArray::fromStdString(*path));
    QSaveFile file(name);
    const bool saved =
        file.open(QIODevice::WriteOnly) &&
        file.write(reinterpret_cast<const char*>(contents.data()), static_cast<qint64>(contents.size())) ==
            static_cast<qint64>(contents.size()) &&
        file.commit();
    if (!saved)
        QMessageBox::warning(this, windowTitle(),
                             QStringLiteral("Could not save %1: %2").arg(name, file.errorString()));
}

QString MainWindow::speedReadout() const {
    const QString period = QString::number(machine_.clockPeriod() / 10000.0, 'g', 4);
    QString rate = QStringLiteral("stopped");
    if (speedSamples_.size() >= 2 && speedSamples_.back().first > speedSamples_.front().first) {
        const auto& [oldTime, oldCycles] = speedSamples_.front();
        const auto& [newTime, newCycles] = speedSamples_.back();
        const double perSecond = double(newCycles - oldCycles) * 1000.0 / double(newTime - oldTime);
        rate = QStringLiteral("%1 cycles/s").arg(qRound64(perSecond));
    } else if (!speedSamples_.empty()) {
        rate = QStringLiteral("measuring");
    }
    return QStringLiteral("Clock period %1 ms \u2014 %2").arg(period, rate);
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
    slider_->setToolTip(speedReadout());
    updateResetHint();
}

const QString MainWindow::resetHint =
    QStringLiteral("No phase lamp is lit: turn Reset on and off to start the program at 0000h");

// A running phase ring is never dark for more than a cycle, so a clock that
// has run resetHintCycles with every phase lamp dark is the stuck state Power
// on with Reset off leaves, which only Reset on and off gets out of.
void MainWindow::updateResetHint() {
    const auto lit = [](const IndicatorLamp& lamp) { return lamp.isOn(); };
    const bool ringDark = machine_.powerSwitch.isOn() && !machine_.resetSwitch.isOn() &&
                          machine_.simulationAlive() && std::ranges::none_of(machine_.phaseLamps, lit);
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
