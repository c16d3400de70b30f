#include "gui/IndicatorLampWidget.h"

#include <QPainter>

#include "gui/PanelLook.h"

namespace tarnwick {

void IndicatorLampWidget::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const qreal ratio = devicePixelRatio();
    painter.drawImage(0, 0, control_.isOn() ? litLampImage(ratio) : unlitLampImage(ratio));
}

}  // namespace tarnwick

namespace tarnwick {

QString IndicatorLampWidget::stateText() const {
    return control_.isOn() ? QStringLiteral("lit") : QStringLiteral("unlit");
}

}  // namespace tarnwick
