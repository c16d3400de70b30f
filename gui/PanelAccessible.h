#pragma once

#include <QAccessibleWidget>
#include <QString>

class QSlider;

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

// The clock-period slider as a screen reader should say it: its value is
// the period ("10 ms"), not the slider's count of 0.1 µs steps ("100000"),
// and it is moved through the value interface as any slider is. Qt gives a
// slider this interface when its object name is clockPeriodSliderName.
class ClockPeriodAccessible : public QAccessibleWidget, public QAccessibleValueInterface {
public:
    explicit ClockPeriodAccessible(QSlider* slider);

    QString text(QAccessible::Text t) const override;
    void* interface_cast(QAccessible::InterfaceType t) override;

    QVariant currentValue() const override;
    void setCurrentValue(const QVariant& value) override;
    QVariant maximumValue() const override;
    QVariant minimumValue() const override;
    QVariant minimumStepSize() const override;

private:
    QSlider* slider() const;
};

inline constexpr char clockPeriodSliderName[] = "clockPeriod";

// A clock period in 0.1 µs steps as the panel writes it: "10 ms", "0.1 ms".
QString clockPeriodText(int period);

// Registers the interfaces with Qt's accessibility (once; any number of calls).
void installPanelAccessibility();

}  // namespace tarnwick
