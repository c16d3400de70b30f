#pragma once

// Qt defines `signals` as a macro and the machine's map has a function of
// that name: the core's header is read without the macro, whatever was
// included before.
#pragma push_macro("signals")
#undef signals
#include "machine/SignalRecorder.h"
#pragma pop_macro("signals")

#include <QDialog>
#include <QWidget>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QScrollBar;
class QTimer;

namespace tarnwick {

class Machine;
class SignalsDiagram;

// View > Signals: a timing diagram of the last cycles. A SignalRecorder on
// the machine's cycle hook keeps one entry per cycle; the window copies it at
// display rate and paints from the copy, never under the cycle lock. Bits are
// drawn as waveforms, buses as hexadecimal values in boxes. A cursor shows
// the cycle number (numbered as tarnwick-run's trace) and every row's value.
class SignalsWindow : public QWidget {
    Q_OBJECT

public:
    static constexpr int refreshIntervalMs = 40;  // 25 frames a second
    static constexpr int minimumZoom = 1;         // pixels per cycle
    static constexpr int maximumZoom = 64;
    static constexpr int defaultZoom = 12;

    // Starts recording the front panel's signals at once.
    SignalsWindow(Machine& machine, QWidget* parent);
    ~SignalsWindow() override;

    // The rows, top to bottom, by signal name.
    std::vector<std::string> rowNames() const;
    // Adds the named signal (a map name, or "bus[i]") as the last row; false
    // for an unknown name or one already shown.
    bool addRow(const std::string& name);
    void removeRow(int row);
    // Moves a row up (delta -1) or down (+1).
    void moveRow(int row, int delta);
    int selectedRow() const { return selectedRow_; }
    void selectRow(int row);

    // Takes a fresh copy of the recording and repaints (the timer does this
    // while the window is shown).
    void refresh();
    const SignalRecorder::Snapshot& shown() const { return shown_; }

    // The cursor, as an index into shown(); nothing when nothing is recorded.
    std::optional<std::size_t> cursorEntry() const;
    void setCursorEntry(std::size_t entry);
    // The cursor's cycle number (0 before cycle 1) and each row's value there
    // as the diagram prints it ("1", "0", "3F", "-" for none).
    std::optional<std::uint64_t> cursorCycle() const;
    QString valueText(int row) const;

    int zoom() const { return zoom_; }
    void setZoom(int pixelsPerCycle);
    // The entries in view, first and last (indexes into shown()).
    std::optional<std::pair<std::size_t, std::size_t>> visibleRange() const;

    // Writes the rows and the entries in view as a Value Change Dump to path,
    // whole or not at all; the reason when it could not.
    std::optional<QString> exportVcd(const QString& path);
    // Replaces the save dialog of "Export VCD..." (tests); empty brings it back.
    using FileChooser = std::function<std::optional<QString>()>;
    void setExportFileChooser(FileChooser chooser) { exportChooser_ = std::move(chooser); }

    SignalRecorder& recorder() { return recorder_; }
    QPushButton* addButton() const { return addButton_; }
    QPushButton* exportButton() const { return exportButton_; }
    SignalsDiagram* diagram() const { return diagram_; }

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    friend class SignalsDiagram;

    void applyRows();
    void chooseSignals();
    void chooseExportFile();
    void updateScroll();
    void updateCursorLabel();
    // Absolute entry numbers (counted from the start of recording) let the
    // cursor and the view stay on their cycles while new entries arrive.
    std::uint64_t firstAbsolute() const { return shown_.recorded - shown_.cycles.size(); }

    Machine& machine_;
    SignalRecorder recorder_;
    std::vector<NamedSignal> rows_;
    SignalRecorder::Snapshot shown_;
    int selectedRow_ = -1;
    int zoom_ = defaultZoom;
    std::uint64_t viewStart_ = 0;          // absolute entry at the left edge
    bool following_ = true;                // the view keeps the newest entry in sight
    std::optional<std::uint64_t> cursor_;  // absolute entry
    FileChooser exportChooser_;

    SignalsDiagram* diagram_ = nullptr;
    QScrollBar* scroll_ = nullptr;
    QLabel* cursorLabel_ = nullptr;
    QPushButton* addButton_ = nullptr;
    QPushButton* exportButton_ = nullptr;
    QTimer* refreshTimer_ = nullptr;
};

// The diagram itself: names and values at the cursor on the left, the rows'
// waveforms over the cycles in view on the right, a ruler of cycle numbers.
class SignalsDiagram : public QWidget {
    Q_OBJECT

public:
    static constexpr int nameWidth = 260;
    static constexpr int rowHeight = 22;
    static constexpr int rulerHeight = 20;

    explicit SignalsDiagram(SignalsWindow& window);
    // Entries that fit across the wave area at the current zoom.
    std::size_t entriesInView() const;
    // The entry under x in the wave area, if any (absolute).
    std::optional<std::uint64_t> entryAt(int x) const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    QSize sizeHint() const override;

private:
    SignalsWindow& window_;
};

// The searchable list "Add..." opens: every signal and relay of the map,
// filtered by what is typed (a part of a name, or a pattern with '*').
class SignalChooser : public QDialog {
    Q_OBJECT

public:
    explicit SignalChooser(QWidget* parent);
    QLineEdit* filter() const { return filter_; }
    QListWidget* list() const { return list_; }
    std::vector<std::string> chosen() const;

private:
    void applyFilter();
    QLineEdit* filter_ = nullptr;
    QListWidget* list_ = nullptr;
};

}  // namespace tarnwick
