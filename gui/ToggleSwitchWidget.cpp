#include "gui/ToggleSwitchWidget.h"

#include <QMouseEvent>
#include <QPainter>

#include "gui/CommandTarget.h"
#include "gui/PanelLook.h"

namespace tarnwick {

ToggleSwitchWidget::ToggleSwitchWidget(ToggleSwitch& toggle, int id, int x, int y, CommandTarget& target,
                                       QWidget* parent)
    : PanelControlWidget(toggle, QRect(x, y, width, height), parent), id_(id), target_(target) {
    setCursor(Qt::PointingHandCursor);
}

void ToggleSwitchWidget::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const qreal ratio = devicePixelRatio();
    painter.drawImage(0, 0, control_.isOn() ? leverUpImage(ratio) : leverDownImage(ratio));
}

void ToggleSwitchWidget::mousePressEvent(QMouseEvent* event) {
    // Qt grabs the mouse for the pressed widget until the release, so the
    // release arrives here even when it happens outside.
    if (event->button() == Qt::LeftButton) pressed_ = true;
}

void ToggleSwitchWidget::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !pressed_) return;
    pressed_ = false;
    if (!rect().contains(event->position().toPoint())) return;
    control_.setState(control_.isOn() ? 0 : 1);
    target_.command(id_, 0);
}

}  // namespace tarnwick
