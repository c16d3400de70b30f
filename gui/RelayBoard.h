#pragma once

#include <QRect>
#include <QString>
#include <QWidget>
#include <vector>

#include "machine/RelaySnapshot.h"

namespace tarnwick {

// Every relay of the processor as a small lamp, in the map's order: under a
// heading per section (in the order a cycle steps them) and per circuit.
// A lamp is lit when its relay's normally-open contact carries current. It
// paints from the snapshot it is given and reads nothing of the machine.
class RelayBoard : public QWidget {
    Q_OBJECT

public:
    static constexpr int lampPitch = 9;  // pixels from one lamp to the next
    static constexpr int lampSize = 7;
    static constexpr int lampsPerRow = 64;

    static const QColor litColour;
    static const QColor unlitColour;
    static const QColor changedColour;

    explicit RelayBoard(QWidget* parent = nullptr);

    void setSnapshot(const RelaySnapshot* snapshot);
    void setShowChanges(bool on);
    bool showChanges() const { return showChanges_; }
    // The circuit whose relays are highlighted, or -1.
    void selectCircuit(int circuit);
    int selectedCircuit() const { return selected_; }
    // A relay framed as found by a search, or -1.
    void markRelay(int relay);

    // The circuits: the computer's members that hold relays, in map order.
    struct Circuit {
        QString name;
        int section = 0;
        int first = 0;  // the first relay in the map
        int count = 0;
        QRect heading;
    };
    const std::vector<Circuit>& circuits() const { return circuits_; }
    int circuitOf(int relay) const { return circuitOfRelay_[static_cast<std::size_t>(relay)]; }
    int circuitNamed(const QString& name) const;
    // Where lamp k is drawn.
    QRect lampRect(int relay) const { return lamps_[static_cast<std::size_t>(relay)]; }
    // The relay or the circuit heading under a point, or -1.
    int relayAt(QPoint point) const;
    int circuitAt(QPoint point) const;

    QSize sizeHint() const override;

    // The text of a relay's tooltip: full name, supply, coil and contacts.
    QString relayDescription(int relay) const;

signals:
    void circuitClicked(int circuit);
    // "Add to Signals" from the context menu: a relay's name.
    void addToSignalsRequested(const QString& name);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    bool event(QEvent* event) override;

private:
    const RelaySnapshot* snapshot_ = nullptr;
    bool showChanges_ = false;
    int selected_ = -1;
    int marked_ = -1;
    std::vector<Circuit> circuits_;
    std::vector<int> circuitOfRelay_;
    std::vector<QRect> lamps_;
    struct SectionHeading {
        QString name;
        QRect box;
    };
    std::vector<SectionHeading> sections_;
    QSize size_;
};

}  // namespace tarnwick
