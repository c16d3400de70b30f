#pragma once

#include "gui/PanelControlWidget.h"

namespace tarnwick {

// The window of an IndicatorLamp: 24 x 24 pixels, the lit image while the
// lamp's state is non-zero, the unlit one otherwise.
class IndicatorLampWidget : public PanelControlWidget {
    Q_OBJECT

public:
    static constexpr int width = 24;
    static constexpr int height = 24;

    IndicatorLampWidget(IndicatorLamp& lamp, int x, int y, QWidget* parent)
        : PanelControlWidget(lamp, QRect(x, y, width, height), parent) {}

    QString stateText() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
};

}  // namespace tarnwick
