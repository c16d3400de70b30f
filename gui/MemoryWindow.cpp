#include "gui/MemoryWindow.h"

#include <QBrush>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>
#include <algorithm>

#include "app/Machine.h"

namespace tarnwick {

namespace {

const QColor programCounterColour(255, 226, 110);
const QColor operandColour(170, 208, 255);
const QColor writtenColour(255, 140, 90);

QString hexByte(std::uint8_t byte) {
    return QStringLiteral("%1").arg(byte, 2, 16, QLatin1Char('0')).toUpper();
}

QString hexAddress(std::uint16_t address) {
    return QStringLiteral("%1").arg(address, 4, 16, QLatin1Char('0')).toUpper();
}

}  // namespace

MemoryModel::MemoryModel(Machine& machine, QObject* parent)
    : QAbstractTableModel(parent), machine_(machine), snapshot_(std::make_unique<MachineSnapshot>()) {
    clock_.start();
    machine_.computer().copyState(*snapshot_);
    lastStepSeen_ = snapshot_->memorySteps;
}

bool MemoryModel::flashing(std::uint16_t address) const { return flashUntil_[address] > clock_.elapsed(); }

QVariant MemoryModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid()) return {};
    const MachineSnapshot& s = *snapshot_;
    const int row = index.row();
    if (index.column() == charactersColumn) {
        if (role != Qt::DisplayRole) return {};
        QString text;
        for (int i = 0; i < rowBytes; ++i) {
            const std::uint8_t byte = s.memory[static_cast<std::size_t>(row * rowBytes + i)];
            text += byte >= 0x20 && byte < 0x7F ? QChar(byte) : QChar(u'.');
        }
        return text;
    }
    const std::uint16_t address = addressOf(index);
    switch (role) {
        case Qt::DisplayRole:
        case Qt::EditRole:
            return hexByte(s.memory[address]);
        case Qt::BackgroundRole:
            if (flashing(address)) return QBrush(writtenColour);
            if (s.powered && address == s.programCounter) return QBrush(programCounterColour);
            if (s.powered && address == s.operand) return QBrush(operandColour);
            return {};
        case Qt::ToolTipRole: {
            QString tip = QStringLiteral("%1h: %2h").arg(hexAddress(address), hexByte(s.memory[address]));
            if (s.powered && address == s.programCounter) tip += QStringLiteral(" (program counter)");
            if (s.powered && address == s.operand) tip += QStringLiteral(" (operand address)");
            return tip;
        }
        case Qt::TextAlignmentRole:
            return int(Qt::AlignCenter);
        case Qt::FontRole:
            if (machine_.stopConditions.hasWatchpoint(address)) {
                QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
                font.setUnderline(true);
                font.setBold(true);
                return font;
            }
            return {};
        default:
            return {};
    }
}

QVariant MemoryModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole) return {};
    if (orientation == Qt::Vertical) return hexAddress(static_cast<std::uint16_t>(section * rowBytes));
    if (section == charactersColumn) return QStringLiteral("Characters");
    return QString::number(section, 16).toUpper();
}

Qt::ItemFlags MemoryModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::NoItemFlags;
    Qt::ItemFlags result = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (index.column() != charactersColumn && machine_.canEdit()) result |= Qt::ItemIsEditable;
    return result;
}

bool MemoryModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (role != Qt::EditRole || !index.isValid() || index.column() == charactersColumn) return false;
    const QString text = value.toString().trimmed();
    bool ok = false;
    const uint byte = text.toUInt(&ok, 16);
    if (!ok || text.size() > 2 || byte > 0xFF) {
        emit problem(QStringLiteral("'%1' is not a byte: type one or two hex digits").arg(text));
        return false;
    }
    const std::uint16_t address = addressOf(index);
    if (!machine_.editByte(address, static_cast<std::uint8_t>(byte))) {
        emit problem(QStringLiteral("Memory can be edited only with Power on and Pause or Reset on"));
        return false;
    }
    refresh();
    return true;
}

void MemoryModel::rowsChanged(int first, int last) {
    emit dataChanged(index(first, 0), index(last, charactersColumn));
}

void MemoryModel::refresh() {
    auto next = std::make_unique<MachineSnapshot>();
    machine_.computer().copyState(*next);
    const qint64 now = clock_.elapsed();
    for (const auto& write : next->recentWrites)
        if (write.step > lastStepSeen_) flashUntil_[write.address] = now + flashMs;
    lastStepSeen_ = next->memorySteps;

    std::swap(snapshot_, next);
    const MachineSnapshot& old = *next;
    const MachineSnapshot& s = *snapshot_;
    // Rows whose bytes, highlights or flashing changed.
    std::array<bool, rows> dirty{};
    for (int row = 0; row < rows; ++row) {
        const auto from = static_cast<std::size_t>(row * rowBytes);
        bool flashingNow = false;
        for (int i = 0; i < rowBytes; ++i) flashingNow = flashingNow || flashUntil_[from + i] > now;
        dirty[row] = flashingNow || rowFlashing_[row] ||
                     !std::equal(s.memory.begin() + from, s.memory.begin() + from + rowBytes,
                                 old.memory.begin() + from);
        rowFlashing_[row] = flashingNow;
    }
    for (std::uint16_t a : {old.programCounter, old.operand, s.programCounter, s.operand})
        dirty[a / rowBytes] = true;
    if (old.powered != s.powered) dirty.fill(true);
    for (int row = 0; row < rows;) {
        if (!dirty[row]) {
            ++row;
            continue;
        }
        int end = row;
        while (end + 1 < rows && dirty[end + 1]) ++end;
        rowsChanged(row, end);
        row = end + 1;
    }
}

MemoryWindow::MemoryWindow(Machine& machine,
                           std::function<std::optional<std::uint16_t>(const QString&)> labelAddress,
                           QWidget* parent)
    : QWidget(parent, Qt::Window), machine_(machine), labelAddress_(std::move(labelAddress)) {
    setWindowTitle(QStringLiteral("Memory"));
    model_ = new MemoryModel(machine_, this);

    goTo_ = new QLineEdit(this);
    goTo_->setPlaceholderText(QStringLiteral("address (hex) or label"));
    goTo_->setAccessibleName(QStringLiteral("Go to"));
    auto* goButton = new QPushButton(QStringLiteral("&Go"), this);
    auto* goLabel = new QLabel(QStringLiteral("Go &to:"), this);
    goLabel->setBuddy(goTo_);
    connect(goTo_, &QLineEdit::returnPressed, this, [this] { goTo(goTo_->text()); });
    connect(goButton, &QPushButton::clicked, this, [this] { goTo(goTo_->text()); });

    view_ = new QTableView(this);
    view_->setModel(model_);
    const QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    view_->setFont(fixed);
    view_->horizontalHeader()->setFont(fixed);
    view_->verticalHeader()->setFont(fixed);
    view_->setShowGrid(false);
    view_->setSelectionMode(QAbstractItemView::SingleSelection);
    view_->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                           QAbstractItemView::AnyKeyPressed);
    const QFontMetrics metrics(fixed);
    const int cell = metrics.horizontalAdvance(QStringLiteral("000")) + 6;
    view_->horizontalHeader()->setMinimumSectionSize(cell);
    for (int c = 0; c < MemoryModel::rowBytes; ++c) view_->setColumnWidth(c, cell);
    view_->setColumnWidth(MemoryModel::charactersColumn,
                          metrics.horizontalAdvance(QString(MemoryModel::rowBytes + 2, QLatin1Char('0'))));
    view_->horizontalHeader()->setStretchLastSection(true);
    view_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    view_->verticalHeader()->setDefaultSectionSize(metrics.height() + 4);
    view_->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(view_, &QWidget::customContextMenuRequested, this, &MemoryWindow::showContextMenu);

    status_ = new QLabel(this);
    status_->setText(QStringLiteral("Yellow: program counter. Blue: operand address. Orange: just written."));
    connect(model_, &MemoryModel::problem, status_, &QLabel::setText);

    auto* top = new QHBoxLayout;
    top->addWidget(goLabel);
    top->addWidget(goTo_, 1);
    top->addWidget(goButton);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(view_, 1);
    layout->addWidget(status_);
    resize(cell * (MemoryModel::rowBytes + 8) + 60, 480);

    refreshTimer_.setInterval(refreshMs);
    connect(&refreshTimer_, &QTimer::timeout, model_, &MemoryModel::refresh);
}

std::optional<std::uint16_t> MemoryWindow::parseAddress(const QString& text) {
    QString digits = text.trimmed();
    if (digits.startsWith(QStringLiteral("0x"), Qt::CaseInsensitive))
        digits = digits.mid(2);
    else if (digits.endsWith(QLatin1Char('h'), Qt::CaseInsensitive))
        digits.chop(1);
    if (digits.isEmpty() || digits.size() > 4) return std::nullopt;
    bool ok = false;
    const uint value = digits.toUInt(&ok, 16);
    if (!ok) return std::nullopt;
    return static_cast<std::uint16_t>(value);
}

bool MemoryWindow::goTo(const QString& text) {
    std::optional<std::uint16_t> address;
    // A label first: "add" is a label here, not ADDh.
    if (labelAddress_) address = labelAddress_(text.trimmed());
    if (!address) address = parseAddress(text);
    if (!address) {
        status_->setText(QStringLiteral("'%1' is neither an address in hex nor a label of the loaded source")
                             .arg(text.trimmed()));
        return false;
    }
    const QModelIndex index =
        model_->index(*address / MemoryModel::rowBytes, *address % MemoryModel::rowBytes);
    view_->scrollTo(index, QAbstractItemView::PositionAtCenter);
    view_->setCurrentIndex(index);
    status_->setText(QStringLiteral("%1h").arg(hexAddress(*address)));
    return true;
}

void MemoryWindow::showContextMenu(const QPoint& position) {
    const QModelIndex index = view_->indexAt(position);
    if (!index.isValid() || index.column() == MemoryModel::charactersColumn) return;
    const std::uint16_t address = MemoryModel::addressOf(index);
    QMenu menu(this);
    StopConditions& stops = machine_.stopConditions;
    const bool watched = stops.hasWatchpoint(address);
    QAction* watchAction =
        menu.addAction(watched ? QStringLiteral("Stop &Watching %1h").arg(hexAddress(address))
                               : QStringLiteral("&Watch Writes to %1h").arg(hexAddress(address)));
    QAction* editAction = menu.addAction(QStringLiteral("&Edit"));
    editAction->setEnabled(model_->flags(index) & Qt::ItemIsEditable);
    QAction* chosen = menu.exec(view_->viewport()->mapToGlobal(position));
    if (chosen == watchAction) setWatchpoint(address, !watched);
    if (chosen == editAction) view_->edit(index);
}

void MemoryWindow::setWatchpoint(std::uint16_t address, bool on) {
    machine_.stopConditions.setWatchpoint(address, on);
    status_->setText(on ? QStringLiteral("The machine stops after a write to %1h").arg(hexAddress(address))
                        : QStringLiteral("No longer watching %1h").arg(hexAddress(address)));
    model_->byteChanged(address);
}

void MemoryWindow::showEvent(QShowEvent* event) {
    model_->refresh();
    refreshTimer_.start();
    QWidget::showEvent(event);
}

void MemoryWindow::hideEvent(QHideEvent* event) {
    refreshTimer_.stop();
    QWidget::hideEvent(event);
}

}  // namespace tarnwick
