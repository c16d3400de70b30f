#include "gui/PanelAccessible.h"

#include "gui/PanelControlWidget.h"

namespace tarnwick {

namespace {

QAccessibleInterface* panelControlFactory(const QString&, QObject* object) {
    if (auto* widget = qobject_cast<PanelControlWidget*>(object)) return new PanelControlAccessible(widget);
    return nullptr;
}

}  // namespace

PanelControlAccessible::PanelControlAccessible(PanelControlWidget* widget)
    : QAccessibleWidget(widget, widget->isSwitch() ? QAccessible::CheckBox : QAccessible::Indicator) {}

PanelControlWidget* PanelControlAccessible::control() const { return static_cast<PanelControlWidget*>(widget()); }

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
    if (control()->isSwitch() && control()->isEnabled()) names.prepend(QAccessibleActionInterface::toggleAction());
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

void installPanelAccessibility() {
    static const bool installed = [] {
        QAccessible::installFactory(panelControlFactory);
        return true;
    }();
    (void)installed;
}

}  // namespace tarnwick
