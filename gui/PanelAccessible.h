#pragma once

#include <QAccessibleWidget>

namespace tarnwick {

class PanelControlWidget;

// What a screen reader learns of a lamp or switch: its name ("Power",
// "Accumulator bit 7"), its state as a value ("off", "lit") and, for a
// switch, a checkable state and the toggle action a click would give.
class PanelControlAccessible : public QAccessibleWidget {
public:
    explicit PanelControlAccessible(PanelControlWidget* widget);

    QString text(QAccessible::Text t) const override;
    QAccessible::State state() const override;
    QStringList actionNames() const override;
    void doAction(const QString& actionName) override;

private:
    PanelControlWidget* control() const;
};

// Registers the interface with Qt's accessibility (once; any number of calls).
void installPanelAccessibility();

}  // namespace tarnwick
