#pragma once

#include <QWidget>
#include <cstdint>
#include <memory>

#include "machine/RelaySnapshot.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QScrollArea;
class QTabWidget;
class QTimer;
class QTreeWidget;

namespace tarnwick {

class Computer;
class MemoryPictureView;
class RelayBoard;

// View > Relays: every relay of the processor as a lamp, and a picture of
// the relay-built memory when it is in use. At each frame the window copies
// the relays under the cycle lock (Computer::copyRelays) and paints from the
// copy; it redraws only when the relays have stepped since the last frame.
class RelaysWindow : public QWidget {
    Q_OBJECT

public:
    // Frames while the machine runs: about 33 a second, never one per cycle.
    static constexpr int frameMs = 30;
    static const QString helpText;
    // The tabs: the processor's lamps and the memory's picture.
    static constexpr int processorTab = 0;
    static constexpr int memoryTab = 1;

    RelaysWindow(Computer& computer, QWidget* parent);
    ~RelaysWindow() override;

    // Takes a copy now and redraws from it (what each frame does); the
    // memory's relays only while the Memory tab is the one shown.
    void refresh();

    // Finds a relay, circuit or signal by name (whole name first, then a
    // part of one); false, saying so in the status line, when none matches.
    bool find(const QString& text);

    const RelaySnapshot& snapshot() const { return snapshot_; }
    RelayBoard* board() const { return board_; }
    MemoryPictureView* memoryPicture() const { return picture_; }
    QCheckBox* changesToggle() const { return changes_; }
    QLineEdit* searchBox() const { return search_; }
    QTreeWidget* circuitDetails() const { return details_; }
    QTabWidget* tabs() const { return tabs_; }
    QLabel* statusLine() const { return status_; }

signals:
    // "Add to Signals" on a relay or a signal: for the Signals window to
    // add a row of that name.
    void addToSignalsRequested(const QString& name);

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void showCircuit(int circuit);
    void updateDetails();
    void updateMemoryTab();

    Computer& computer_;
    RelaySnapshot snapshot_;
    std::uint64_t shownSteps_ = ~std::uint64_t{0};
    RelayBoard* board_ = nullptr;
    QScrollArea* scroll_ = nullptr;
    MemoryPictureView* picture_ = nullptr;
    QLabel* memoryNote_ = nullptr;
    QCheckBox* changes_ = nullptr;
    QLineEdit* search_ = nullptr;
    QTreeWidget* details_ = nullptr;
    QTabWidget* tabs_ = nullptr;
    QLabel* status_ = nullptr;
    QLabel* circuitTitle_ = nullptr;
    QTimer* frameTimer_ = nullptr;
};

}  // namespace tarnwick
