#pragma once

#include <QAbstractTableModel>
#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

#include "machine/MachineSnapshot.h"

class QLabel;
class QLineEdit;
class QTableView;

namespace tarnwick {

class Machine;

// The 64 KB as a grid of 4096 rows of 16 bytes and their characters, read
// from a snapshot the window takes under the cycle lock.
class MemoryModel : public QAbstractTableModel {
    Q_OBJECT

public:
    static constexpr int rowBytes = 16;
    static constexpr int rows = 0x10000 / rowBytes;
    static constexpr int charactersColumn = rowBytes;
    // How long a byte stays marked after a write.
    static constexpr int flashMs = 600;

    explicit MemoryModel(Machine& machine, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override { return parent.isValid() ? 0 : rows; }
    int columnCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() ? 0 : rowBytes + 1;
    }
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;

    // Takes a new snapshot and tells the views what changed.
    void refresh();
    const MachineSnapshot& snapshot() const { return *snapshot_; }
    // The byte's look changed (a watchpoint set or cleared there).
    void byteChanged(std::uint16_t address) {
        const QModelIndex cell = index(address / rowBytes, address % rowBytes);
        emit dataChanged(cell, cell);
    }
    // Whether the byte at address is marked as written in the last moments.
    bool flashing(std::uint16_t address) const;

    static std::uint16_t addressOf(const QModelIndex& index) {
        return static_cast<std::uint16_t>(index.row() * rowBytes + index.column());
    }

signals:
    // An edit was refused or a typed value was not a byte: what to tell the user.
    void problem(const QString& message);

private:
    void rowsChanged(int first, int last);

    Machine& machine_;
    std::unique_ptr<MachineSnapshot> snapshot_;
    std::uint64_t lastStepSeen_ = 0;
    QElapsedTimer clock_;
    // Milliseconds on clock_ until which each byte flashes.
    std::array<qint64, 0x10000> flashUntil_{};
    std::array<bool, rows> rowFlashing_{};
};

// View > Memory: the memory grid with Go to (an address in hex or a label
// of the loaded source), live while the machine runs, editable by typing hex
// while no clock drives it (Pause on, or Reset on, with Power on).
class MemoryWindow : public QWidget {
    Q_OBJECT

public:
    // Refreshes this often while shown.
    static constexpr int refreshMs = 40;

    // labelAddress finds a label of the loaded source. A byte's context menu
    // sets or clears a watchpoint there (the machine's stop conditions).
    MemoryWindow(Machine& machine, std::function<std::optional<std::uint16_t>(const QString&)> labelAddress,
                 QWidget* parent = nullptr);

    MemoryModel* model() const { return model_; }
    QTableView* view() const { return view_; }
    QLineEdit* goToField() const { return goTo_; }
    QLabel* statusLine() const { return status_; }

    // Scrolls to and selects address; false (saying why on the status line)
    // for text that is neither an address nor a label.
    bool goTo(const QString& text);
    // The context menu's item: a watchpoint set or cleared, and said so.
    void setWatchpoint(std::uint16_t address, bool on);

    // "1F", "001Fh", "0x1F": a 16-bit address in hex.
    static std::optional<std::uint16_t> parseAddress(const QString& text);

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void showContextMenu(const QPoint& position);

    Machine& machine_;
    std::function<std::optional<std::uint16_t>(const QString&)> labelAddress_;
    MemoryModel* model_ = nullptr;
    QTableView* view_ = nullptr;
    QLineEdit* goTo_ = nullptr;
    QLabel* status_ = nullptr;
    QTimer refreshTimer_;
};

}  // namespace tarnwick
