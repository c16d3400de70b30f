#include "gui/ProgramWindow.h"

#include <QBrush>
#include <QFontDatabase>
#include <QHeaderView>
#include <QLabel>
#include <QTableView>
#include <QVBoxLayout>
#include <algorithm>

#include "app/Machine.h"
#include "asm/InstructionSet.h"

namespace tarnwick {

namespace {

const QColor currentColour(255, 226, 110);
const QColor breakpointColour(200, 30, 30);

QString hex(unsigned value, int digits) {
    return QStringLiteral("%1").arg(value, digits, 16, QLatin1Char('0')).toUpper() + QLatin1Char('h');
}

}  // namespace

QVariant ProgramModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || !text_) return {};
    const int row = index.row();
    const assembler::ProgramText::Line& line = text_->lines[static_cast<std::size_t>(row)];
    const bool current = currentRow_ == row;
    const bool breakpoint =
        line.address && line.size > 0 && machine_.stopConditions.hasBreakpoint(*line.address);
    switch (role) {
        case Qt::DisplayRole:
            if (index.column() == gutterColumn) {
                QString mark = breakpoint ? QStringLiteral("\u25CF") : QStringLiteral(" ");
                if (current)
                    mark += phase_ ? QStringLiteral("\u25B6%1").arg(*phase_) : QStringLiteral("\u25B6");
                return mark;
            }
            if (index.column() == addressColumn) return line.address ? hex(*line.address, 4) : QString();
            return QString::fromStdString(line.text);
        case Qt::ForegroundRole:
            if (index.column() == gutterColumn && breakpoint) return QBrush(breakpointColour);
            return {};
        case Qt::BackgroundRole:
            if (current) return QBrush(currentColour);
            return {};
        case Qt::ToolTipRole:
            if (index.column() == gutterColumn)
                return line.address && line.size > 0 ? QStringLiteral("Click to set or clear a breakpoint")
                                                     : QString();
            if (current && phase_)
                return QStringLiteral("Being executed: phase %1, clock %2")
                    .arg(*phase_)
                    .arg(clock_ ? "on" : "off");
            return {};
        default:
            return {};
    }
}

QVariant ProgramModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole || orientation != Qt::Horizontal) return {};
    switch (section) {
        case gutterColumn:
            return QString();
        case addressColumn:
            return QStringLiteral("Address");
        default:
            return QStringLiteral("Program");
    }
}

void ProgramModel::setText(std::shared_ptr<const assembler::ProgramText> text) {
    beginResetModel();
    text_ = std::move(text);
    currentRow_.reset();
    endResetModel();
}

void ProgramModel::setState(const MachineSnapshot& snapshot) {
    const std::optional<int> oldRow = currentRow_;
    const std::optional<int> oldPhase = phase_;
    const bool oldClock = clock_;
    currentRow_.reset();
    phase_ = snapshot.phase;
    clock_ = snapshot.clock;
    if (text_ && snapshot.powered) {
        const std::uint16_t address =
            instructionAddress(snapshot.programCounter, snapshot.phase, snapshot.code);
        if (const auto line = text_->lineOf(address)) currentRow_ = static_cast<int>(*line);
    }
    if (oldRow == currentRow_ && oldPhase == phase_ && oldClock == clock_) return;
    for (const std::optional<int>& row : {oldRow, currentRow_})
        if (row) emit dataChanged(index(*row, 0), index(*row, columnCount_ - 1));
}

void ProgramModel::breakpointsChanged() {
    if (rowCount() > 0) emit dataChanged(index(0, gutterColumn), index(rowCount() - 1, gutterColumn));
}

std::optional<std::uint16_t> ProgramModel::addressOfRow(int row) const {
    if (!text_ || row < 0 || row >= rowCount()) return std::nullopt;
    return text_->lines[static_cast<std::size_t>(row)].address;
}

ProgramWindow::ProgramWindow(Machine& machine,
                             std::function<std::shared_ptr<const assembler::ProgramText>()> source,
                             QWidget* parent)
    : QWidget(parent, Qt::Window),
      machine_(machine),
      source_(std::move(source)),
      snapshot_(std::make_unique<MachineSnapshot>()) {
    setWindowTitle(QStringLiteral("Program"));
    model_ = new ProgramModel(machine_, this);
    view_ = new QTableView(this);
    view_->setModel(model_);
    const QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    view_->setFont(fixed);
    view_->setShowGrid(false);
    view_->verticalHeader()->hide();
    view_->setSelectionBehavior(QAbstractItemView::SelectRows);
    view_->setSelectionMode(QAbstractItemView::SingleSelection);
    view_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    const QFontMetrics metrics(fixed);
    view_->verticalHeader()->setDefaultSectionSize(metrics.height() + 2);
    view_->setColumnWidth(ProgramModel::gutterColumn, metrics.horizontalAdvance(QStringLiteral("00000")));
    view_->setColumnWidth(ProgramModel::addressColumn,
                          metrics.horizontalAdvance(QStringLiteral("Address00")));
    view_->horizontalHeader()->setStretchLastSection(true);
    connect(view_, &QTableView::clicked, this, &ProgramWindow::onClicked);

    registers_ = new QLabel(this);
    registers_->setFont(fixed);
    registers_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    registers_->setAccessibleName(QStringLiteral("Registers"));

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(view_, 1);
    layout->addWidget(registers_);
    resize(metrics.horizontalAdvance(QString(72, QLatin1Char('0'))), 480);

    refreshTimer_.setInterval(refreshMs);
    connect(&refreshTimer_, &QTimer::timeout, this, &ProgramWindow::refresh);
}

QString ProgramWindow::registerText(const MachineSnapshot& s) {
    const assembler::Instruction* found = nullptr;
    for (const assembler::Instruction& instruction : assembler::instructionSet)
        if (instruction.code == s.code) found = &instruction;
    QString code =
        found ? QString::fromLatin1(found->mnemonic.data(), static_cast<qsizetype>(found->mnemonic.size()))
              : QStringLiteral("(code %1)").arg(hex(s.code, 2));
    if (!isOneByteCode(s.code)) code += QLatin1Char(' ') + hex(s.operand, 4);
    const QString phase = s.phase ? QString::number(*s.phase) : QStringLiteral("-");
    return QStringLiteral("PC %1   %2   A %3   ZF %4   CF %5   phase %6 clock %7")
        .arg(hex(s.programCounter, 4), code.leftJustified(14), hex(s.accumulator, 2))
        .arg(s.zeroFlag ? 1 : 0)
        .arg(s.carryFlag ? 1 : 0)
        .arg(phase, s.clock ? QStringLiteral("on") : QStringLiteral("off"));
}

std::shared_ptr<const assembler::ProgramText> ProgramWindow::disassembly(const MachineSnapshot& s) {
    const auto& memory = s.memory;
    std::size_t end = 0xFFFF;
    while (end > 0 && memory[end] == 0) --end;
    end = std::min<std::size_t>(0xFFFF, std::max<std::size_t>(end, s.programCounter) + 2);
    return std::make_shared<const assembler::ProgramText>(
        assembler::disassembledText(0, std::span<const std::uint8_t>(memory.data(), end + 1)));
}

void ProgramWindow::refresh() {
    machine_.computer().copyState(*snapshot_);
    std::shared_ptr<const assembler::ProgramText> source = source_ ? source_() : nullptr;
    if (source) {
        if (source != shownSource_ || disassembledMemory_) {
            disassembledMemory_.reset();
            shownSource_ = source;
            model_->setText(source);
        }
    } else {
        // Made again when memory has changed, at most every disassemblyMs.
        const bool changed = !disassembledMemory_ || *disassembledMemory_ != snapshot_->memory;
        if (shownSource_ ||
            (changed && (!disassembledMemory_ || sinceDisassembly_.elapsed() >= disassemblyMs))) {
            shownSource_.reset();
            disassembledMemory_ = std::make_unique<std::array<std::uint8_t, 0x10000>>(snapshot_->memory);
            sinceDisassembly_.start();
            model_->setText(disassembly(*snapshot_));
        }
    }
    model_->setState(*snapshot_);
    registers_->setText(registerText(*snapshot_));
    // Keep the instruction being executed in sight as it moves.
    if (model_->currentRow() && model_->currentRow() != followedRow_)
        view_->scrollTo(model_->index(*model_->currentRow(), 0));
    followedRow_ = model_->currentRow();
}

std::optional<std::uint16_t> ProgramWindow::cursorAddress() const {
    const QModelIndex current = view_->currentIndex();
    if (!current.isValid()) return std::nullopt;
    return model_->addressOfRow(current.row());
}

void ProgramWindow::onClicked(const QModelIndex& index) {
    if (index.column() != ProgramModel::gutterColumn) return;
    const assembler::ProgramText* text = model_->text();
    if (!text) return;
    const auto& line = text->lines[static_cast<std::size_t>(index.row())];
    if (!line.address || line.size == 0) return;
    StopConditions& stops = machine_.stopConditions;
    stops.setBreakpoint(*line.address, !stops.hasBreakpoint(*line.address));
    model_->breakpointsChanged();
}

void ProgramWindow::showEvent(QShowEvent* event) {
    refresh();
    refreshTimer_.start();
    QWidget::showEvent(event);
}

void ProgramWindow::hideEvent(QHideEvent* event) {
    refreshTimer_.stop();
    QWidget::hideEvent(event);
}

}  // namespace tarnwick
