#include "gui/ToggleSwitchWidget.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

#include "gui/CommandTarget.h"
#include "gui/PanelLook.h"

namespace tarnwick {

ToggleSwitchWidget::ToggleSwitchWidget(ToggleSwitch& toggle, int id, int x, int y, CommandTarget& target,
                                       QWidget* parent)
    : PanelControlWidget(toggle, QRect(x, y, width, height), parent), id_(id), target_(target) {
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::StrongFocus);
}

QString ToggleSwitchWidget::stateText() const {
    return control_.isOn() ? QStringLiteral("on") : QStringLiteral("off");
}

void ToggleSwitchWidget::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const qreal ratio = devicePixelRatio();
    painter.drawImage(0, 0, control_.isOn() ? leverUpImage(ratio) : leverDownImage(ratio));
    if (hasFocus()) {
        // A frame in the panel's only blue, two pixels inside the edge: the
        // lever and its pivot stay in view.
        painter.setPen(QPen(focusMarkColour, 2));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(QRectF(rect()).adjusted(1, 1, -1, -1));
    }
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
    flipByUser();
}

void ToggleSwitchWidget::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Space && event->modifiers() == Qt::NoModifier) {
        // A held key repeats: one flip per press, as one per click.
        if (!event->isAutoRepeat()) flipByUser();
        event->accept();
        return;
    }
    PanelControlWidget::keyPressEvent(event);
}

void ToggleSwitchWidget::flipByUser() {
    control_.setState(control_.isOn() ? 0 : 1);
    target_.command(id_, 0);
}

void ToggleSwitchWidget::focusInEvent(QFocusEvent* event) {
    PanelControlWidget::focusInEvent(event);
    update();
}

void ToggleSwitchWidget::focusOutEvent(QFocusEvent* event) {
    PanelControlWidget::focusOutEvent(event);
    update();
}

}  // namespace tarnwick
