#include "gui/MainWindow.h"

#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QFile>
#include <QFileDialog>
#include <QKeyEvent>
#include <QLayout>
#include <QMenuBar>
#include <QMessageBox>
#include <QPainter>
#include <QSlider>
#include <optional>
#include <string>

#include "app/Machine.h"
#include "gui/AboutBox.h"
#include "gui/ControlPanelWindow.h"
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
    fileMenu_->addSeparator();
    addCommand(fileMenu_, QStringLiteral("E&xit"), exitId);

    optionsMenu_ = menuBar()->addMenu(QStringLiteral("&Options"));
    useFastRamAction_ = addCommand(optionsMenu_, QStringLiteral("Use &Fast Ram"), useFastRamId);
    useFastRamAction_->setCheckable(true);
    // The mark is not kept up to date by the command; it is read afresh from
    // the machine each time the menu opens.
    connect(optionsMenu_, &QMenu::aboutToShow, this,
            [this] { useFastRamAction_->setChecked(machine_.useFastRam); });

    helpMenu_ = menuBar()->addMenu(QStringLiteral("&Help"));
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
    connect(slider_, &QSlider::valueChanged, this, [this](int period) { machine_.setClockPeriod(period); });

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
    switch (id) {
        case aboutId:
            showAbout();
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
            loadMemoryFile();
            break;
        default:
            break;
    }
}

void MainWindow::closeEvent(QCloseEvent* event) {
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

std::optional<std::string> MainWindow::askForMemoryFile() {
    if (memoryFileChooser_) return memoryFileChooser_();
    QFileDialog dialog(this, QStringLiteral("Open memory file"));
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setNameFilters({QStringLiteral("Memory files (*.RAM)"), QStringLiteral("All files (*.*)")});
    dialog.setDefaultSuffix(QStringLiteral("RAM"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    return QFile::encodeName(dialog.selectedFiles().constFirst()).toStdString();
}

void MainWindow::loadMemoryFile() {
    auto chooseFile = [this] { return askForMemoryFile(); };
    // While loading, the window shows the lamps changing but takes no input:
    // only queued repaint requests and the paints themselves are handled.
    auto paintPending = [] {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::MetaCall);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::UpdateRequest);
    };
    if (std::optional<std::string> error = machine_.loadMemoryFile(chooseFile, paintPending))
        QMessageBox::warning(this, windowTitle(), QString::fromStdString(*error));
}

}  // namespace tarnwick
