#pragma once

#include "gui/PanelControlWidget.h"

namespace tarnwick {

class CommandTarget;

// The window of a ToggleSwitch: 24 x 40 pixels showing the lever up (on) or
// down (off). A click, pressed and released inside the switch, flips the
// state and then tells the command target the switch's id with code 0, so
// the target always sees the new state. A press inside with the release
// outside changes nothing.
class ToggleSwitchWidget : public PanelControlWidget {
    Q_OBJECT

public:
    static constexpr int width = 24;
    static constexpr int height = 40;

    ToggleSwitchWidget(ToggleSwitch& toggle, int id, int x, int y, CommandTarget& target, QWidget* parent);

    int id() const { return id_; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    const int id_;
    CommandTarget& target_;
    bool pressed_ = false;
};

}  // namespace tarnwick
