#pragma once

#include <QWidget>
#include <atomic>
#include <thread>

#include "panel/PanelControl.h"

namespace tarnwick {

// What the lamp and switch windows share: a fixed-size child at a fixed
// position that shows its control's state byte and repaints on request.
// The control may change state on the simulation thread; the request is then
// queued to the window thread, at most one at a time per control, and
// painting happens only there.
//
// Each has an accessible name (set by its owner: "Power", "Accumulator bit
// 7") and tells Qt's accessibility of its state changes (PanelAccessible.h).
//
// Lifetime: the widget attaches to its control when built and detaches when
// destroyed. The simulation thread must be stopped before these widgets go,
// since a state change already past the control's window check would
// otherwise reach a widget on its way out.
class PanelControlWidget : public QWidget, public PanelWindow {
    Q_OBJECT

public:
    PanelControlWidget(PanelControl& control, QRect geometry, QWidget* parent);
    ~PanelControlWidget() override;

    void requestRepaint() override;

    const PanelControl& control() const { return control_; }

    // A switch can be worked; a lamp only shows.
    virtual bool isSwitch() const { return false; }
    // The state as a screen reader says it: "on"/"off", "lit"/"unlit".
    virtual QString stateText() const = 0;
    // What a click does; nothing for a lamp.
    virtual void flipByUser() {}

protected:
    PanelControl& control_;

private:
    // On the window thread: repaint, and tell accessibility what changed.
    void showNewState();

    const std::thread::id windowThread_;
    std::atomic<bool> repaintQueued_{false};
};

}  // namespace tarnwick
