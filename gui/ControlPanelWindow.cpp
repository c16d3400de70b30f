#include "gui/ControlPanelWindow.h"

#include <QEvent>
#include <QPainter>
#include <chrono>
#include <thread>

#include "gui/IndicatorLampWidget.h"
#include "gui/PanelLook.h"
#include "gui/ToggleSwitchWidget.h"
#include "machine/Computer.h"

namespace tarnwick {

namespace {

struct Label {
    const char* text;
    int left, top, width, height;
};

void drawLabel(QPainter& painter, const Label& label) {
    drawPanelLabel(painter, QRect(label.left, label.top, label.width, label.height),
                   QString::fromLatin1(label.text));
}

}  // namespace

ControlPanelWindow::ControlPanelWindow(Computer& computer, QWidget* parent)
    : QWidget(parent), computer_(computer) {
    setGeometry(10, 153, 452, 200);
    setAutoFillBackground(true);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, panelGrey);
    setPalette(palette);

    auto& panel = computer_.controlPanel();
    for (int k = 0; k < 16; ++k)
        addressSwitches_[k] = new ToggleSwitchWidget(panel.addressSwitches[k], firstAddressSwitchId + k,
                                                     edge + 415 - 26 * k, edge + 25, *this, this);
    for (int j = 0; j < 8; ++j)
        dataSwitches_[j] = new ToggleSwitchWidget(panel.dataSwitches[j], firstDataSwitchId + j,
                                                  edge + 207 - 26 * j, edge + 93, *this, this);
    writeSwitch_ =
        new ToggleSwitchWidget(panel.writeSwitch, writeSwitchId, edge + 337, edge + 128, *this, this);
    takeoverSwitch_ =
        new ToggleSwitchWidget(panel.takeoverSwitch, takeoverSwitchId, edge + 387, edge + 128, *this, this);
    for (int b = 0; b < 8; ++b)
        dataLamps_[b] = new IndicatorLampWidget(panel.dataLamps[b], edge + 207 - 26 * b, edge + 168, this);

    for (int k = 0; k < 16; ++k)
        addressSwitches_[k]->setAccessibleName(QStringLiteral("Address switch A%1").arg(k));
    for (int j = 0; j < 8; ++j) dataSwitches_[j]->setAccessibleName(QStringLiteral("Data switch D%1").arg(j));
    writeSwitch_->setAccessibleName(QStringLiteral("Write"));
    takeoverSwitch_->setAccessibleName(QStringLiteral("Takeover"));
    for (int b = 0; b < 8; ++b) dataLamps_[b]->setAccessibleName(QStringLiteral("Data out bit %1").arg(b));

    // Tab goes as the eye reads: left to right, row by row (A15 to A0, D7 to
    // D0, Write, Takeover), not in the order the switches were made.
    QWidget* previous = nullptr;
    auto chain = [&previous](QWidget* next) {
        if (previous) setTabOrder(previous, next);
        previous = next;
    };
    for (int k = 15; k >= 0; --k) chain(addressSwitches_[k]);
    for (int j = 7; j >= 0; --j) chain(dataSwitches_[j]);
    chain(writeSwitch_);
    chain(takeoverSwitch_);

    addressTimer_.setSingleShot(true);
    addressTimer_.setInterval(addressTimerMs);
    connect(&addressTimer_, &QTimer::timeout, this, &ControlPanelWindow::onAddressTimer);
}

ControlPanelWindow::~ControlPanelWindow() = default;

void ControlPanelWindow::command(int id, int code) {
    if (code != 0) return;
    if (id >= firstAddressSwitchId && id < firstAddressSwitchId + 16) {
        restartAddressTimer();
    } else if (id == writeSwitchId) {
        pulseWrite();
    } else if (id == takeoverSwitchId) {
        // Either way: the memory sees the new source at once.
        computer_.stepControlPanel();
    }
    // The data switches act only at the next step.
}

QWidget* ControlPanelWindow::firstInTabOrder() const { return addressSwitches_[15]; }
QWidget* ControlPanelWindow::lastInTabOrder() const { return takeoverSwitch_; }

void ControlPanelWindow::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() != QEvent::EnabledChange) return;
    // A disabled panel (a load or save runs) takes no step of its own: a
    // step the address switches asked for waits until it is enabled again.
    if (!isEnabled() && addressTimer_.isActive()) {
        addressTimer_.stop();
        stepDeferred_ = true;
    } else if (isEnabled() && stepDeferred_) {
        stepDeferred_ = false;
        addressTimer_.start();
    }
}

void ControlPanelWindow::restartAddressTimer() {
    // A burst of address clicks ends in one step, after the last of them.
    addressTimer_.start();
}

void ControlPanelWindow::onAddressTimer() {
    if (computer_.controlPanel().takeoverSwitch.isOn()) computer_.stepControlPanel();
}

void ControlPanelWindow::pulseWrite() {
    // Write is a momentary switch: shown up for the length of the pulse, then
    // set back. The window thread is held for the pulse, as a hand on the
    // lever would hold it; input that arrives meanwhile waits its turn.
    auto& panel = computer_.controlPanel();
    writeSwitch_->repaint();
    if (panel.takeoverSwitch.isOn() && panel.writeSwitch.isOn()) {
        computer_.stepControlPanel();
        if (panel.usesFastRam()) std::this_thread::sleep_for(std::chrono::milliseconds(writePulseFastMs));
    } else {
        std::this_thread::sleep_for(std::chrono::milliseconds(writePulseIdleMs));
    }
    panel.writeSwitch.setState(0);
    // The lever goes down, and the data lamps show what the step read back.
    repaint();
}

void ControlPanelWindow::paintEvent(QPaintEvent*) {
    QPainter painter(this);

    // The sunken edge around the client area.
    const int w = width();
    const int h = height();
    auto frame = [&](int inset, QColor topLeft, QColor bottomRight) {
        painter.setPen(topLeft);
        painter.drawLine(inset, inset, w - 1 - inset, inset);
        painter.drawLine(inset, inset, inset, h - 1 - inset);
        painter.setPen(bottomRight);
        painter.drawLine(inset, h - 1 - inset, w - 1 - inset, h - 1 - inset);
        painter.drawLine(w - 1 - inset, inset, w - 1 - inset, h - 1 - inset);
    };
    frame(0, QColor(128, 128, 128), QColor(255, 255, 255));
    frame(1, QColor(64, 64, 64), QColor(223, 223, 223));

    painter.translate(edge, edge);
    painter.setPen(Qt::black);
    painter.setFont(controlPanelTitleFont());
    drawLabel(painter, {"64-KB RAM Control Panel", 157, 6, 154, 15});

    painter.setFont(controlPanelLabelFont());
    static constexpr Label marks[] = {
        {"1", 7, 28, 13, 14},           {"1", 7, 93, 13, 14},    {"1", 319, 128, 13, 14},
        {"1", 371, 128, 13, 14},        {"0", 7, 54, 13, 14},    {"0", 7, 119, 13, 14},
        {"0", 319, 154, 13, 14},        {"0", 371, 154, 13, 14}, {"Write", 332, 176, 34, 14},
        {"Takeover", 373, 176, 52, 14},
    };
    for (const Label& label : marks) drawLabel(painter, label);

    for (int k = 0; k < 16; ++k) {
        const QString text = QStringLiteral("A%1").arg(k);
        const QRect box = k < 10 ? QRect(417 - 26 * k, 77, 21, 14) : QRect(154 - 26 * (k - 10), 77, 27, 14);
        drawPanelLabel(painter, box, text);
    }
    for (int j = 0; j < 8; ++j)
        drawPanelLabel(painter, QRect(209 - 26 * j, 142, 21, 14), QStringLiteral("D%1").arg(j));
}

}  // namespace tarnwick
