#include "gui/SignalsWindow.h"

#include <QDialogButtonBox>
#include <QFile>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QScrollBar>
#include <QTimer>
#include <QVBoxLayout>
#include <QWheelEvent>
#include <algorithm>

#include "app/Machine.h"
#include "memory/OutputFile.h"

namespace tarnwick {

namespace {

QString hexText(std::uint64_t value, int width) {
    return QStringLiteral("%1").arg(value, (width + 3) / 4, 16, QLatin1Char('0')).toUpper();
}

}  // namespace

SignalsWindow::SignalsWindow(Machine& machine, QWidget* parent)
    : QWidget(parent, Qt::Window), machine_(machine) {
    setWindowTitle(QStringLiteral("Signals"));

    auto* buttons = new QHBoxLayout;
    addButton_ = new QPushButton(QStringLiteral("&Add..."), this);
    auto* removeButton = new QPushButton(QStringLiteral("&Remove"), this);
    auto* upButton = new QPushButton(QStringLiteral("&Up"), this);
    auto* downButton = new QPushButton(QStringLiteral("&Down"), this);
    auto* zoomIn = new QPushButton(QStringLiteral("Zoom &In"), this);
    auto* zoomOut = new QPushButton(QStringLiteral("Zoom &Out"), this);
    exportButton_ = new QPushButton(QStringLiteral("&Export VCD..."), this);
    for (QPushButton* b : {addButton_, removeButton, upButton, downButton, zoomIn, zoomOut, exportButton_}) {
        // The diagram keeps the keyboard for the cursor.
        b->setFocusPolicy(Qt::TabFocus);
        buttons->addWidget(b);
    }
    buttons->addStretch();
    connect(addButton_, &QPushButton::clicked, this, &SignalsWindow::chooseSignals);
    connect(removeButton, &QPushButton::clicked, this, [this] { removeRow(selectedRow_); });
    connect(upButton, &QPushButton::clicked, this, [this] { moveRow(selectedRow_, -1); });
    connect(downButton, &QPushButton::clicked, this, [this] { moveRow(selectedRow_, +1); });
    connect(zoomIn, &QPushButton::clicked, this, [this] { setZoom(zoom_ * 2); });
    connect(zoomOut, &QPushButton::clicked, this, [this] { setZoom(zoom_ / 2); });
    connect(exportButton_, &QPushButton::clicked, this, &SignalsWindow::chooseExportFile);

    diagram_ = new SignalsDiagram(*this);
    scroll_ = new QScrollBar(Qt::Horizontal, this);
    connect(scroll_, &QScrollBar::valueChanged, this, [this](int value) {
        viewStart_ = firstAbsolute() + static_cast<std::uint64_t>(value);
        following_ = value >= scroll_->maximum();
        diagram_->update();
    });
    cursorLabel_ = new QLabel(this);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(buttons);
    layout->addWidget(diagram_, 1);
    layout->addWidget(scroll_);
    layout->addWidget(cursorLabel_);

    refreshTimer_ = new QTimer(this);
    refreshTimer_->setInterval(refreshIntervalMs);
    connect(refreshTimer_, &QTimer::timeout, this, &SignalsWindow::refresh);

    rows_ = panelSignals();
    applyRows();
    // From here on every cycle, on whichever thread runs it, adds an entry.
    machine_.computer().addCycleWatcher(&recorder_);
    resize(900, SignalsDiagram::rulerHeight + 17 * SignalsDiagram::rowHeight + 90);
}

SignalsWindow::~SignalsWindow() {
    // Under the cycle lock: once it returns no cycle calls the recorder.
    machine_.computer().removeCycleWatcher(&recorder_);
}

std::vector<std::string> SignalsWindow::rowNames() const {
    std::vector<std::string> names;
    for (const NamedSignal& s : rows_) names.push_back(s.name);
    return names;
}

bool SignalsWindow::addRow(const std::string& name) {
    if (rows_.size() >= SignalRecorder::maximumRows) return false;
    if (std::any_of(rows_.begin(), rows_.end(), [&](const NamedSignal& s) { return s.name == name; }))
        return false;
    std::optional<NamedSignal> signal = findNamedSignal(name);
    if (!signal) return false;
    rows_.push_back(std::move(*signal));
    applyRows();
    return true;
}

void SignalsWindow::removeRow(int row) {
    if (row < 0 || row >= static_cast<int>(rows_.size())) return;
    rows_.erase(rows_.begin() + row);
    selectedRow_ = std::min(selectedRow_, static_cast<int>(rows_.size()) - 1);
    applyRows();
}

void SignalsWindow::moveRow(int row, int delta) {
    const int to = row + delta;
    if (row < 0 || to < 0 || row >= static_cast<int>(rows_.size()) || to >= static_cast<int>(rows_.size()))
        return;
    std::swap(rows_[static_cast<std::size_t>(row)], rows_[static_cast<std::size_t>(to)]);
    if (selectedRow_ == row) selectedRow_ = to;
    applyRows();
}

void SignalsWindow::selectRow(int row) {
    selectedRow_ = row >= 0 && row < static_cast<int>(rows_.size()) ? row : -1;
    diagram_->update();
}

void SignalsWindow::applyRows() {
    recorder_.setRows(rows_);
    refresh();
}

void SignalsWindow::refresh() {
    recorder_.snapshot(shown_);
    updateScroll();
    updateCursorLabel();
    diagram_->update();
}

void SignalsWindow::updateScroll() {
    const std::uint64_t first = firstAbsolute();
    const std::size_t count = shown_.cycles.size();
    const std::size_t inView = diagram_->entriesInView();
    const std::size_t last = count > inView ? count - inView : 0;
    if (following_ || viewStart_ < first) viewStart_ = following_ ? first + last : first;
    viewStart_ = std::min<std::uint64_t>(viewStart_, first + last);
    const QSignalBlocker block(scroll_);
    scroll_->setRange(0, static_cast<int>(last));
    scroll_->setPageStep(static_cast<int>(std::max<std::size_t>(inView, 1)));
    scroll_->setValue(static_cast<int>(viewStart_ - first));
}

std::optional<std::size_t> SignalsWindow::cursorEntry() const {
    if (!cursor_ || shown_.cycles.empty()) return std::nullopt;
    const std::uint64_t first = firstAbsolute();
    const std::uint64_t at = std::clamp<std::uint64_t>(*cursor_, first, shown_.recorded - 1);
    return static_cast<std::size_t>(at - first);
}

void SignalsWindow::setCursorEntry(std::size_t entry) {
    if (shown_.cycles.empty()) return;
    entry = std::min(entry, shown_.cycles.size() - 1);
    cursor_ = firstAbsolute() + entry;
    // Keep the cursor in view.
    const std::size_t inView = std::max<std::size_t>(diagram_->entriesInView(), 1);
    if (*cursor_ < viewStart_) {
        viewStart_ = *cursor_;
        following_ = false;
    } else if (*cursor_ >= viewStart_ + inView) {
        viewStart_ = *cursor_ + 1 - inView;
    }
    updateScroll();
    updateCursorLabel();
    diagram_->update();
}

std::optional<std::uint64_t> SignalsWindow::cursorCycle() const {
    const auto entry = cursorEntry();
    if (!entry) return std::nullopt;
    return shown_.cycles[*entry];
}

QString SignalsWindow::valueText(int row) const {
    const auto entry = cursorEntry();
    if (!entry || row < 0 || row >= static_cast<int>(shown_.rows.size())) return QStringLiteral("-");
    const SignalRecorder::Row& r = shown_.rows[static_cast<std::size_t>(row)];
    if (*entry < r.firstEntry) return QStringLiteral("-");
    const std::uint64_t value = r.values[*entry];
    return r.signal.width == 0 ? QString::number(value) : hexText(value, r.signal.width);
}

void SignalsWindow::updateCursorLabel() {
    const auto cycle = cursorCycle();
    if (!cycle) {
        cursorLabel_->setText(
            QStringLiteral("Click the diagram to place the cursor; Left and Right move it."));
    } else if (*cycle == 0) {
        cursorLabel_->setText(QStringLiteral(
            "Cursor: a cycle before cycle 1 (Reset on, Power off or the clock not yet going)"));
    } else {
        cursorLabel_->setText(QStringLiteral("Cursor: cycle %1").arg(*cycle));
    }
}

void SignalsWindow::setZoom(int pixelsPerCycle) {
    zoom_ = std::clamp(pixelsPerCycle, minimumZoom, maximumZoom);
    updateScroll();
    diagram_->update();
}

std::optional<std::pair<std::size_t, std::size_t>> SignalsWindow::visibleRange() const {
    if (shown_.cycles.empty()) return std::nullopt;
    const std::uint64_t first = firstAbsolute();
    const std::size_t start = static_cast<std::size_t>(std::max(viewStart_, first) - first);
    if (start >= shown_.cycles.size()) return std::nullopt;
    const std::size_t inView = std::max<std::size_t>(diagram_->entriesInView(), 1);
    return std::pair{start, std::min(start + inView, shown_.cycles.size()) - 1};
}

std::optional<QString> SignalsWindow::exportVcd(const QString& path) {
    const auto range = visibleRange();
    if (!range) return QStringLiteral("nothing has been recorded yet");
    std::vector<std::size_t> rows(shown_.rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i) rows[i] = i;
    const std::string text = recordingVcd(shown_, rows, range->first, range->second);
    if (std::optional<std::string> problem = writeWholeFile(QFile::encodeName(path).toStdString(), text))
        return QString::fromStdString(*problem);
    return std::nullopt;
}

void SignalsWindow::chooseExportFile() {
    refresh();
    std::optional<QString> path;
    if (exportChooser_) {
        path = exportChooser_();
    } else {
        const QString chosen = QFileDialog::getSaveFileName(this, QStringLiteral("Export VCD"), QString(),
                                                            QStringLiteral("Value Change Dump (*.vcd)"));
        if (!chosen.isEmpty()) path = chosen;
    }
    if (!path) return;
    if (const auto problem = exportVcd(*path))
        QMessageBox::warning(this, windowTitle(),
                             QStringLiteral("Could not export %1: %2").arg(*path, *problem));
}

void SignalsWindow::chooseSignals() {
    SignalChooser chooser(this);
    if (chooser.exec() != QDialog::Accepted) return;
    for (const std::string& name : chooser.chosen()) {
        if (rows_.size() >= SignalRecorder::maximumRows) break;
        if (std::none_of(rows_.begin(), rows_.end(), [&](const NamedSignal& s) { return s.name == name; }))
            if (auto signal = findNamedSignal(name)) rows_.push_back(std::move(*signal));
    }
    applyRows();
}

void SignalsWindow::showEvent(QShowEvent* event) {
    refreshTimer_->start();
    refresh();
    QWidget::showEvent(event);
}

void SignalsWindow::hideEvent(QHideEvent* event) {
    refreshTimer_->stop();
    QWidget::hideEvent(event);
}

void SignalsWindow::keyPressEvent(QKeyEvent* event) {
    const auto entry = cursorEntry();
    const std::size_t count = shown_.cycles.size();
    switch (event->key()) {
        case Qt::Key_Left:
            if (count) setCursorEntry(entry ? (*entry > 0 ? *entry - 1 : 0) : count - 1);
            break;
        case Qt::Key_Right:
            if (count) setCursorEntry(entry ? *entry + 1 : count - 1);
            break;
        case Qt::Key_Home:
            if (count) setCursorEntry(0);
            break;
        case Qt::Key_End:
            if (count) setCursorEntry(count - 1);
            break;
        case Qt::Key_Up:
            selectRow(std::max(selectedRow_ - 1, 0));
            break;
        case Qt::Key_Down:
            selectRow(std::min(selectedRow_ + 1, static_cast<int>(rows_.size()) - 1));
            break;
        case Qt::Key_Delete:
            removeRow(selectedRow_);
            break;
        case Qt::Key_Plus:
        case Qt::Key_Equal:
            setZoom(zoom_ * 2);
            break;
        case Qt::Key_Minus:
            setZoom(zoom_ / 2);
            break;
        default:
            QWidget::keyPressEvent(event);
            return;
    }
    event->accept();
}

SignalsDiagram::SignalsDiagram(SignalsWindow& window) : QWidget(&window), window_(window) {
    setFocusPolicy(Qt::StrongFocus);
    setMinimumSize(nameWidth + 200, rulerHeight + 4 * rowHeight);
}

QSize SignalsDiagram::sizeHint() const {
    return {nameWidth + 640, rulerHeight + static_cast<int>(window_.rows_.size()) * rowHeight + 4};
}

std::size_t SignalsDiagram::entriesInView() const {
    const int waveWidth = std::max(width() - nameWidth, 0);
    return static_cast<std::size_t>(waveWidth / window_.zoom_);
}

std::optional<std::uint64_t> SignalsDiagram::entryAt(int x) const {
    if (x < nameWidth) return std::nullopt;
    return window_.viewStart_ + static_cast<std::uint64_t>((x - nameWidth) / window_.zoom_);
}

void SignalsDiagram::mousePressEvent(QMouseEvent* event) {
    setFocus();
    const QPoint at = event->position().toPoint();
    if (at.y() >= rulerHeight && at.x() < nameWidth) {
        window_.selectRow((at.y() - rulerHeight) / rowHeight);
        return;
    }
    const auto entry = entryAt(at.x());
    const SignalRecorder::Snapshot& s = window_.shown_;
    if (!entry || s.cycles.empty() || *entry < window_.firstAbsolute()) return;
    window_.setCursorEntry(static_cast<std::size_t>(*entry - window_.firstAbsolute()));
}

void SignalsDiagram::wheelEvent(QWheelEvent* event) {
    const int steps = event->angleDelta().y() / 120;
    if (event->modifiers() & Qt::ControlModifier) {
        window_.setZoom(steps > 0 ? window_.zoom_ * 2 : window_.zoom_ / 2);
    } else {
        window_.scroll_->setValue(window_.scroll_->value() - steps * window_.scroll_->pageStep() / 4);
    }
    event->accept();
}

void SignalsDiagram::paintEvent(QPaintEvent*) {
    // Everything below comes from the window's copy of the recording.
    QPainter p(this);
    p.fillRect(rect(), palette().base());
    const SignalRecorder::Snapshot& s = window_.shown_;
    const QColor ink = palette().text().color();
    const QColor wave(0, 140, 60);
    const int zoom = window_.zoom_;
    const std::uint64_t first = window_.firstAbsolute();
    const std::size_t inView = entriesInView();
    const std::size_t start =
        s.cycles.empty() ? 0 : static_cast<std::size_t>(std::max(window_.viewStart_, first) - first);
    const std::size_t end = std::min(s.cycles.size(), start + inView);
    auto xOf = [&](std::size_t entry) { return nameWidth + static_cast<int>(entry - start) * zoom; };

    // The ruler: a cycle number wherever there is room for one.
    p.setPen(ink);
    const QFontMetrics metrics(font());
    int nextLabel = nameWidth;
    for (std::size_t e = start; e < end; ++e) {
        const int x = xOf(e);
        if (x < nextLabel || s.cycles[e] == 0) continue;
        const QString label = QString::number(s.cycles[e]);
        p.drawLine(x, rulerHeight - 5, x, rulerHeight - 1);
        p.drawText(x + 2, rulerHeight - 6, label);
        nextLabel = x + metrics.horizontalAdvance(label) + 12;
    }
    p.drawLine(0, rulerHeight - 1, width(), rulerHeight - 1);

    for (std::size_t r = 0; r < s.rows.size(); ++r) {
        const SignalRecorder::Row& row = s.rows[r];
        const int top = rulerHeight + static_cast<int>(r) * rowHeight;
        if (static_cast<int>(r) == window_.selectedRow_)
            p.fillRect(0, top, nameWidth, rowHeight, palette().highlight());
        p.setPen(static_cast<int>(r) == window_.selectedRow_ ? palette().highlightedText().color() : ink);
        const QString value = window_.valueText(static_cast<int>(r));
        const QString name =
            metrics.elidedText(QString::fromStdString(row.signal.name), Qt::ElideLeft, nameWidth - 60);
        p.drawText(QRect(4, top, nameWidth - 64, rowHeight), Qt::AlignVCenter | Qt::AlignLeft, name);
        p.drawText(QRect(nameWidth - 60, top, 56, rowHeight), Qt::AlignVCenter | Qt::AlignRight, value);

        const int high = top + 4, low = top + rowHeight - 4;
        p.setPen(wave);
        // Runs of equal values are drawn as one piece.
        std::size_t e = std::max(start, std::min(row.firstEntry, end));
        while (e < end) {
            std::size_t runEnd = e + 1;
            while (runEnd < end && row.values[runEnd] == row.values[e]) ++runEnd;
            const int x0 = xOf(e), x1 = xOf(runEnd);
            const std::uint64_t v = row.values[e];
            if (row.signal.width == 0) {
                const int y = v ? high : low;
                p.drawLine(x0, y, x1, y);
                if (runEnd < end) p.drawLine(x1, high, x1, low);
            } else {
                const int mid = (high + low) / 2, slant = std::min(3, (x1 - x0) / 2);
                p.drawLine(x0, mid, x0 + slant, high);
                p.drawLine(x0, mid, x0 + slant, low);
                p.drawLine(x0 + slant, high, x1 - slant, high);
                p.drawLine(x0 + slant, low, x1 - slant, low);
                p.drawLine(x1 - slant, high, x1, mid);
                p.drawLine(x1 - slant, low, x1, mid);
                const QString text = hexText(v, row.signal.width);
                if (metrics.horizontalAdvance(text) + 6 < x1 - x0) {
                    p.setPen(ink);
                    p.drawText(QRect(x0, top, x1 - x0, rowHeight), Qt::AlignCenter, text);
                    p.setPen(wave);
                }
            }
            e = runEnd;
        }
    }

    if (const auto cursor = window_.cursorEntry(); cursor && *cursor >= start && *cursor < end) {
        p.setPen(QPen(QColor(200, 0, 0), 1));
        const int x = xOf(*cursor) + zoom / 2;
        p.drawLine(x, 0, x, height());
    }
}

SignalChooser::SignalChooser(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Add Signals"));
    filter_ = new QLineEdit(this);
    filter_->setPlaceholderText(QStringLiteral("Part of a name, or a pattern such as decoder.*"));
    filter_->setClearButtonEnabled(true);
    list_ = new QListWidget(this);
    list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    for (const std::string& name : allSignalNames()) list_->addItem(QString::fromStdString(name));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(list_, &QListWidget::itemDoubleClicked, this, &QDialog::accept);
    connect(filter_, &QLineEdit::textChanged, this, &SignalChooser::applyFilter);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(filter_);
    layout->addWidget(list_);
    layout->addWidget(buttons);
    resize(480, 520);
}

void SignalChooser::applyFilter() {
    const QString text = filter_->text().trimmed();
    const std::string pattern = text.toStdString();
    const bool glob = text.contains(QLatin1Char('*'));
    for (int i = 0; i < list_->count(); ++i) {
        QListWidgetItem* item = list_->item(i);
        const bool match = text.isEmpty() || (glob ? namePatternMatches(pattern, item->text().toStdString())
                                                   : item->text().contains(text, Qt::CaseInsensitive));
        item->setHidden(!match);
    }
}

std::vector<std::string> SignalChooser::chosen() const {
    std::vector<std::string> names;
    for (const QListWidgetItem* item : list_->selectedItems())
        if (!item->isHidden()) names.push_back(item->text().toStdString());
    return names;
}

}  // namespace tarnwick
