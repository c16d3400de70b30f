#pragma once

#include "gui/PanelControlWidget.h"

namespace tarnwick {

class CommandTarget;

// The window of a ToggleSwitch: 24 x 40 pixels showing the lever up (on) or
// down (off). A click, pressed and released inside the switch, flips the
// state and then tells the command target the switch's id with code 0, so
// the target always sees the new state. A press inside with the release
// outside changes nothing. Space flips it like a click while it has the
// keyboard focus, which Tab or a click gives it; a frame shows the focus.
class ToggleSwitchWidget : public PanelControlWidget {
    Q_OBJECT

public:
    static constexpr int width = 24;
    static constexpr int height = 40;

    ToggleSwitchWidget(ToggleSwitch& toggle, int id, int x, int y, CommandTarget& target, QWidget* parent);

    int id() const { return id_; }

    bool isSwitch() const override { return true; }
    QString stateText() const override;
    void flipByUser() override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    const int id_;
    CommandTarget& target_;
    bool pressed_ = false;
};

}  // namespace tarnwick
