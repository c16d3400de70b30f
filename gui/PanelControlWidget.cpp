#include "gui/PanelControlWidget.h"

#include <QAccessible>
#include <QMetaObject>

#include "gui/PanelAccessible.h"

namespace tarnwick {

PanelControlWidget::PanelControlWidget(PanelControl& control, QRect geometry, QWidget* parent)
    : QWidget(parent), control_(control), windowThread_(std::this_thread::get_id()) {
    installPanelAccessibility();
    setGeometry(geometry);
    // The images cover every pixel: no background fill needed.
    setAttribute(Qt::WA_OpaquePaintEvent);
    control_.attach(this);
}

PanelControlWidget::~PanelControlWidget() { control_.detach(); }

void PanelControlWidget::requestRepaint() {
    if (std::this_thread::get_id() == windowThread_) {
        showNewState();
        return;
    }
    // Off the window thread: one queued request is enough, since the paint
    // reads the latest state byte whenever it runs.
    if (repaintQueued_.exchange(true, std::memory_order_acq_rel)) return;
    QMetaObject::invokeMethod(
        this,
        [this] {
            repaintQueued_.store(false, std::memory_order_release);
            showNewState();
        },
        Qt::QueuedConnection);
}

void PanelControlWidget::showNewState() {
    update();
    if (!QAccessible::isActive()) return;
    QAccessible::State changed;
    changed.checked = true;
    QAccessibleStateChangeEvent stateEvent(this, changed);
    QAccessible::updateAccessibility(&stateEvent);
    QAccessibleValueChangeEvent valueEvent(this, stateText());
    QAccessible::updateAccessibility(&valueEvent);
}

}  // namespace tarnwick
