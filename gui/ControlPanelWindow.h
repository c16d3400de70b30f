#pragma once

#include <QTimer>
#include <QWidget>
#include <array>

#include "gui/CommandTarget.h"

namespace tarnwick {

class Computer;
class IndicatorLampWidget;
class ToggleSwitchWidget;

// The window of the RAM control panel, a child of the main window: 16
// address switches, 8 data switches, Write and Takeover, and the 8 lamps
// that show the memory's output. Every memory step it makes goes through
// the computer's locked panel step, since the simulation thread may be
// stepping the same memory.
class ControlPanelWindow : public QWidget, public CommandTarget {
    Q_OBJECT

public:
    // Control ids of the panel's switches.
    static constexpr int firstAddressSwitchId = 113;  // A0; A15 is 128
    static constexpr int firstDataSwitchId = 129;     // D0; D7 is 136
    static constexpr int writeSwitchId = 137;
    static constexpr int takeoverSwitchId = 138;

    static constexpr int addressTimerMs = 500;
    static constexpr int writePulseFastMs = 200;
    static constexpr int writePulseIdleMs = 250;

    // Width of the sunken edge around the client area; the layout positions
    // are in client coordinates.
    static constexpr int edge = 2;

    ControlPanelWindow(Computer& computer, QWidget* parent);
    ~ControlPanelWindow() override;

    void command(int id, int code) override;

    ToggleSwitchWidget* addressSwitch(int k) const { return addressSwitches_[k]; }
    ToggleSwitchWidget* dataSwitch(int j) const { return dataSwitches_[j]; }
    ToggleSwitchWidget* writeSwitch() const { return writeSwitch_; }
    ToggleSwitchWidget* takeoverSwitch() const { return takeoverSwitch_; }
    IndicatorLampWidget* dataLamp(int b) const { return dataLamps_[b]; }
    const QTimer& addressTimer() const { return addressTimer_; }
    // The ends of the panel's tab chain, for the window it sits in.
    QWidget* firstInTabOrder() const;
    QWidget* lastInTabOrder() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void restartAddressTimer();
    void onAddressTimer();
    void pulseWrite();

    Computer& computer_;
    std::array<ToggleSwitchWidget*, 16> addressSwitches_{};
    std::array<ToggleSwitchWidget*, 8> dataSwitches_{};
    ToggleSwitchWidget* writeSwitch_ = nullptr;
    ToggleSwitchWidget* takeoverSwitch_ = nullptr;
    std::array<IndicatorLampWidget*, 8> dataLamps_{};
    QTimer addressTimer_;
    bool stepDeferred_ = false;
};

}  // namespace tarnwick
