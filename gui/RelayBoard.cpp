#include "gui/RelayBoard.h"

#include <QContextMenuEvent>
#include <QHelpEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>

#include "machine/MachineMap.h"

namespace tarnwick {

const QColor RelayBoard::litColour{255, 184, 0};
const QColor RelayBoard::unlitColour{70, 58, 46};
const QColor RelayBoard::changedColour{0, 200, 255};

namespace {

constexpr int margin = 6;
constexpr int sectionHeight = 20;
constexpr int circuitHeight = 15;

// A relay's circuit: the computer's member its name starts with.
QString topMember(const std::string& name) {
    const auto end = name.find_first_of(".[");
    return QString::fromStdString(name.substr(0, end));
}

QString onOff(bool on) { return on ? QStringLiteral("on") : QStringLiteral("off"); }

}  // namespace

RelayBoard::RelayBoard(QWidget* parent) : QWidget(parent) {
    setMouseTracking(false);
    setAttribute(Qt::WA_OpaquePaintEvent);
    const auto& relays = MachineMap::get().relays();
    lamps_.resize(relays.size());
    circuitOfRelay_.resize(relays.size());
    int y = margin;
    int section = -1;
    int column = 0;
    for (std::size_t k = 0; k < relays.size(); ++k) {
        const int relaySection = static_cast<int>(relays[k].section);
        const QString circuit = topMember(relays[k].name);
        const bool newSection = relaySection != section;
        if (newSection || circuits_.empty() || circuits_.back().name != circuit) {
            if (column != 0) y += lampPitch + 2;
            column = 0;
            if (newSection) {
                section = relaySection;
                sections_.push_back(
                    {QString::fromLatin1(sectionName(relays[k].section).data(),
                                         static_cast<qsizetype>(sectionName(relays[k].section).size())),
                     QRect(margin, y, lampsPerRow * lampPitch, sectionHeight)});
                y += sectionHeight;
            }
            Circuit c;
            c.name = circuit;
            c.section = section;
            c.first = static_cast<int>(k);
            c.heading = QRect(margin + 8, y, lampsPerRow * lampPitch - 8, circuitHeight);
            circuits_.push_back(c);
            y += circuitHeight;
        }
        circuits_.back().count++;
        circuitOfRelay_[k] = static_cast<int>(circuits_.size()) - 1;
        lamps_[k] = QRect(margin + 8 + column * lampPitch, y, lampSize, lampSize);
        if (++column == lampsPerRow) {
            column = 0;
            y += lampPitch;
        }
    }
    if (column != 0) y += lampPitch;
    size_ = QSize(2 * margin + 8 + lampsPerRow * lampPitch, y + margin);
    setFixedSize(size_);
}

QSize RelayBoard::sizeHint() const { return size_; }

void RelayBoard::setSnapshot(const RelaySnapshot* snapshot) {
    snapshot_ = snapshot;
    update();
}

void RelayBoard::setShowChanges(bool on) {
    showChanges_ = on;
    update();
}

void RelayBoard::selectCircuit(int circuit) {
    selected_ = circuit;
    update();
}

void RelayBoard::markRelay(int relay) {
    marked_ = relay;
    update();
}

int RelayBoard::circuitNamed(const QString& name) const {
    for (std::size_t c = 0; c < circuits_.size(); ++c)
        if (circuits_[c].name == name) return static_cast<int>(c);
    return -1;
}

int RelayBoard::relayAt(QPoint point) const {
    for (std::size_t k = 0; k < lamps_.size(); ++k)
        if (lamps_[k].adjusted(-1, -1, 1, 1).contains(point)) return static_cast<int>(k);
    return -1;
}

int RelayBoard::circuitAt(QPoint point) const {
    const int relay = relayAt(point);
    if (relay >= 0) return circuitOf(relay);
    for (std::size_t c = 0; c < circuits_.size(); ++c)
        if (circuits_[c].heading.contains(point)) return static_cast<int>(c);
    return -1;
}

QString RelayBoard::relayDescription(int relay) const {
    const auto& mapped = MachineMap::get().relays()[static_cast<std::size_t>(relay)];
    QString text = QString::fromStdString(mapped.name);
    text += QStringLiteral("\nsection: %1").arg(QString::fromLatin1(sectionName(mapped.section).data()));
    if (snapshot_ == nullptr || snapshot_->relays.size() <= static_cast<std::size_t>(relay)) return text;
    // The relay's byte: current supply and coil in bits 3 and 2, what the
    // next tick takes in bits 7 and 6.
    const unsigned bits = snapshot_->relays[static_cast<std::size_t>(relay)];
    const bool supply = (bits & 0x08) != 0;
    const bool coil = (bits & 0x04) != 0;
    text += QStringLiteral("\nsupply: %1 (next step: %2)").arg(onOff(supply), onOff((bits & 0x80) != 0));
    text += QStringLiteral("\ncoil: %1 (next step: %2)").arg(onOff(coil), onOff((bits & 0x40) != 0));
    text += QStringLiteral("\nnormally-open contact: %1")
                .arg(supply && coil ? QStringLiteral("carries current") : QStringLiteral("open"));
    text += QStringLiteral("\nnormally-closed contact: %1")
                .arg(supply && !coil ? QStringLiteral("carries current") : QStringLiteral("open"));
    if (snapshot_->changed(static_cast<std::size_t>(relay)))
        text += QStringLiteral("\nchanged in the last step");
    return text;
}

void RelayBoard::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    painter.fillRect(event->rect(), QColor(32, 32, 32));
    painter.setPen(QColor(230, 230, 230));
    QFont font = painter.font();
    font.setPixelSize(12);
    font.setBold(true);
    painter.setFont(font);
    for (const auto& section : sections_)
        if (section.box.intersects(event->rect()))
            painter.drawText(section.box, Qt::AlignLeft | Qt::AlignVCenter, section.name);
    font.setBold(false);
    font.setPixelSize(10);
    painter.setFont(font);
    for (std::size_t c = 0; c < circuits_.size(); ++c) {
        const Circuit& circuit = circuits_[c];
        if (static_cast<int>(c) == selected_) {
            const QRect last = lamps_[static_cast<std::size_t>(circuit.first + circuit.count - 1)];
            painter.fillRect(
                QRect(circuit.heading.topLeft(), QPoint(circuit.heading.right(), last.bottom() + 1)),
                QColor(40, 70, 120));
        }
        if (circuit.heading.intersects(event->rect()))
            painter.drawText(circuit.heading, Qt::AlignLeft | Qt::AlignVCenter,
                             QStringLiteral("%1 (%2)").arg(circuit.name).arg(circuit.count));
    }
    const bool haveState = snapshot_ != nullptr && snapshot_->relays.size() == lamps_.size();
    for (std::size_t k = 0; k < lamps_.size(); ++k) {
        const QRect& lamp = lamps_[k];
        if (!lamp.intersects(event->rect())) continue;
        const bool lit = haveState && RelaySnapshot::lit(snapshot_->relays[k]);
        if (showChanges_ && haveState && snapshot_->changed(k))
            painter.fillRect(lamp.adjusted(-1, -1, 1, 1), changedColour);
        painter.fillRect(lamp.adjusted(1, 1, -1, -1), lit ? litColour : unlitColour);
    }
    if (marked_ >= 0) {
        painter.setPen(QPen(Qt::white, 1));
        painter.drawRect(lamps_[static_cast<std::size_t>(marked_)].adjusted(-2, -2, 1, 1));
    }
}

void RelayBoard::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    const int circuit = circuitAt(event->position().toPoint());
    if (circuit < 0) return;
    selectCircuit(circuit);
    emit circuitClicked(circuit);
}

void RelayBoard::contextMenuEvent(QContextMenuEvent* event) {
    const int relay = relayAt(event->pos());
    if (relay < 0) return;
    QMenu menu(this);
    const QString name =
        QString::fromStdString(MachineMap::get().relays()[static_cast<std::size_t>(relay)].name);
    connect(menu.addAction(QStringLiteral("Add to Signals")), &QAction::triggered, this,
            [this, name] { emit addToSignalsRequested(name); });
    menu.exec(event->globalPos());
}

bool RelayBoard::event(QEvent* event) {
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        const int relay = relayAt(help->pos());
        if (relay >= 0)
            QToolTip::showText(help->globalPos(), relayDescription(relay), this, lampRect(relay));
        else
            QToolTip::hideText();
        return true;
    }
    return QWidget::event(event);
}

}  // namespace tarnwick
