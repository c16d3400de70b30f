#pragma once

#include <QAbstractTableModel>
#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

#include "asm/ProgramText.h"
#include "machine/MachineSnapshot.h"

class QLabel;
class QTableView;

namespace tarnwick {

class Machine;

// The program's lines: the gutter (a breakpoint's mark, the phase of the
// instruction being executed), the address and the text.
class ProgramModel : public QAbstractTableModel {
    Q_OBJECT

public:
    enum Column { gutterColumn, addressColumn, textColumn, columnCount_ };

    // Breakpoints are the machine's stop conditions.
    ProgramModel(const Machine& machine, QObject* parent = nullptr)
        : QAbstractTableModel(parent), machine_(machine) {}

    int rowCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() || !text_ ? 0 : static_cast<int>(text_->lines.size());
    }
    int columnCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() ? 0 : columnCount_;
    }
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // New lines (a different program) or only a new state to mark.
    void setText(std::shared_ptr<const assembler::ProgramText> text);
    void setState(const MachineSnapshot& snapshot);
    void breakpointsChanged();

    const assembler::ProgramText* text() const { return text_.get(); }
    // The row of the instruction being executed, if it is on a line.
    std::optional<int> currentRow() const { return currentRow_; }
    std::optional<std::uint16_t> addressOfRow(int row) const;

private:
    const Machine& machine_;
    std::shared_ptr<const assembler::ProgramText> text_;
    std::optional<int> currentRow_;
    std::optional<int> phase_;
    bool clock_ = false;
};

// View > Program: the program around the program counter, as the source it
// was assembled from or as the disassembly of memory, with the instruction
// being executed marked, a line of registers under it, and a gutter whose
// click sets or clears a breakpoint.
class ProgramWindow : public QWidget {
    Q_OBJECT

public:
    static constexpr int refreshMs = 40;
    // The disassembly follows memory at most this often while it changes.
    static constexpr int disassemblyMs = 500;

    // source gives the loaded source's lines, or null to disassemble memory.
    ProgramWindow(Machine& machine, std::function<std::shared_ptr<const assembler::ProgramText>()> source,
                  QWidget* parent = nullptr);

    ProgramModel* model() const { return model_; }
    QTableView* view() const { return view_; }
    QLabel* registerLine() const { return registers_; }

    // The address of the line under the cursor: Run to Cursor's target.
    std::optional<std::uint16_t> cursorAddress() const;
    // Takes a new snapshot and follows it (the timer's work; tests call it).
    void refresh();

    // "PC 0006h  STA 0022h  A 8Dh  ZF 0  CF 0  phase 3": the registers as a
    // student reads them, the code as its mnemonic with its operand.
    static QString registerText(const MachineSnapshot& snapshot);

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void onClicked(const QModelIndex& index);
    // The range a disassembly covers: from 0000h to past the last byte in use.
    std::shared_ptr<const assembler::ProgramText> disassembly(const MachineSnapshot& snapshot);

    Machine& machine_;
    std::function<std::shared_ptr<const assembler::ProgramText>()> source_;
    ProgramModel* model_ = nullptr;
    QTableView* view_ = nullptr;
    QLabel* registers_ = nullptr;
    QTimer refreshTimer_;
    std::unique_ptr<MachineSnapshot> snapshot_;
    std::shared_ptr<const assembler::ProgramText> shownSource_;
    // The memory the shown disassembly was made from, and when.
    std::unique_ptr<std::array<std::uint8_t, 0x10000>> disassembledMemory_;
    QElapsedTimer sinceDisassembly_;
    std::optional<int> followedRow_;
};

}  // namespace tarnwick
