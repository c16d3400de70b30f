#include "gui/PanelAccessible.h"

#include <QSlider>

#include "gui/PanelControlWidget.h"

namespace tarnwick {

namespace {

QAccessibleInterface* panelControlFactory(const QString&, QObject* object) {
    if (auto* widget = qobject_cast<PanelControlWidget*>(object)) return new PanelControlAccessible(widget);
    if (auto* slider = qobject_cast<QSlider*>(object);
        slider && slider->objectName() == clockPeriodSliderName)
        return new ClockPeriodAccessible(slider);
    return nullptr;
}

}  // namespace

PanelControlAccessible::PanelControlAccessible(PanelControlWidget* widget)
    : QAccessibleWidget(widget, widget->isSwitch() ? QAccessible::CheckBox : QAccessible::Indicator) {}

PanelControlWidget* PanelControlAccessible::control() const {
    return static_cast<PanelControlWidget*>(widget());
}

QString PanelControlAccessible::text(QAccessible::Text t) const {
    if (t == QAccessible::Value) return control()->stateText();
    return QAccessibleWidget::text(t);
}

QAccessible::State PanelControlAccessible::state() const {
    QAccessible::State s = QAccessibleWidget::state();
    if (control()->isSwitch()) {
        s.checkable = true;
        s.checked = control()->control().isOn();
    } else {
        s.readOnly = true;
        s.focusable = false;
    }
    return s;
}

QStringList PanelControlAccessible::actionNames() const {
    QStringList names = QAccessibleWidget::actionNames();
    if (control()->isSwitch() && control()->isEnabled())
        names.prepend(QAccessibleActionInterface::toggleAction());
    return names;
}

void PanelControlAccessible::doAction(const QString& actionName) {
    if (actionName == QAccessibleActionInterface::toggleAction() && control()->isSwitch() &&
        control()->isEnabled()) {
        control()->flipByUser();
        return;
    }
    QAccessibleWidget::doAction(actionName);
}

QString clockPeriodText(int period) {
    return QStringLiteral("%1 ms").arg(QString::number(period / 10000.0, 'g', 4));
}

ClockPeriodAccessible::ClockPeriodAccessible(QSlider* slider)
    : QAccessibleWidget(slider, QAccessible::Slider) {}

QSlider* ClockPeriodAccessible::slider() const { return static_cast<QSlider*>(widget()); }

QString ClockPeriodAccessible::text(QAccessible::Text t) const {
    if (t == QAccessible::Value) return clockPeriodText(slider()->value());
    return QAccessibleWidget::text(t);
}

void* ClockPeriodAccessible::interface_cast(QAccessible::InterfaceType t) {
    if (t == QAccessible::ValueInterface) return static_cast<QAccessibleValueInterface*>(this);
    return QAccessibleWidget::interface_cast(t);
}

QVariant ClockPeriodAccessible::currentValue() const { return slider()->value(); }

void ClockPeriodAccessible::setCurrentValue(const QVariant& value) { slider()->setValue(value.toInt()); }

QVariant ClockPeriodAccessible::maximumValue() const { return slider()->maximum(); }

QVariant ClockPeriodAccessible::minimumValue() const { return slider()->minimum(); }

QVariant ClockPeriodAccessible::minimumStepSize() const { return slider()->singleStep(); }

void installPanelAccessibility() {
    static const bool installed = [] {
        QAccessible::installFactory(panelControlFactory);
        return true;
    }();
    (void)installed;
}

}  // namespace tarnwick
