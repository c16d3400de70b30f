#include "gui/RelaysWindow.h"

#include <QCheckBox>
#include <QCompleter>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QScrollArea>
#include <QScrollBar>
#include <QSplitter>
#include <QStringList>
#include <QTabWidget>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "gui/MemoryPictureView.h"
#include "gui/RelayBoard.h"
#include "gui/RememberedState.h"
#include "machine/Computer.h"
#include "machine/MachineMap.h"

namespace tarnwick {

const QString RelaysWindow::helpText = QStringLiteral(
    "A lit lamp is a relay whose normally-open contact carries current: its supply and its coil are both "
    "on. Click a circuit to see its outputs and inputs; \"Changes\" rings the relays that changed in the "
    "last cycle.");

namespace {

QString name(const std::string& text) { return QString::fromStdString(text); }

bool inCircuit(const std::string& name, const QString& circuit) {
    const std::string prefix = circuit.toStdString();
    return name.size() >= prefix.size() && name.compare(0, prefix.size(), prefix) == 0 &&
           (name.size() == prefix.size() || name[prefix.size()] == '.' || name[prefix.size()] == '[');
}

QString valueText(std::uint64_t value, int width) {
    if (width == 0) return QString::number(value);
    return QStringLiteral("%1h")
        .arg(value, (width + 3) / 4, 16, QLatin1Char('0'))
        .toUpper()
        .replace(QLatin1Char('H'), QLatin1Char('h'));
}

}  // namespace

RelaysWindow::RelaysWindow(Computer& computer, QWidget* parent)
    : QWidget(parent, Qt::Window), computer_(computer) {
    setWindowTitle(QStringLiteral("Relays"));
    setAttribute(Qt::WA_DeleteOnClose, false);

    auto* help = new QLabel(helpText, this);
    help->setWordWrap(true);
    search_ = new QLineEdit(this);
    search_->setPlaceholderText(QStringLiteral("Find a relay, circuit or signal"));
    search_->setClearButtonEnabled(true);
    search_->setAccessibleName(QStringLiteral("Find"));
    changes_ = new QCheckBox(QStringLiteral("Changes"), this);
    changes_->setToolTip(QStringLiteral("Ring the relays whose state changed in the last cycle"));
    status_ = new QLabel(this);

    QStringList names;
    for (const auto& relay : MachineMap::get().relays()) names << name(relay.name);
    for (const auto& signal : MachineMap::get().namedSignals()) names << name(signal.name);

    board_ = new RelayBoard;
    for (const auto& circuit : board_->circuits()) names << circuit.name;
    names.removeDuplicates();
    auto* completer = new QCompleter(names, this);
    completer->setFilterMode(Qt::MatchContains);
    completer->setCaseSensitivity(Qt::CaseInsensitive);
    search_->setCompleter(completer);

    scroll_ = new QScrollArea;
    scroll_->setWidget(board_);
    scroll_->setWidgetResizable(false);

    circuitTitle_ = new QLabel(QStringLiteral("Click a circuit"));
    details_ = new QTreeWidget;
    details_->setColumnCount(2);
    details_->setHeaderLabels({QStringLiteral("Name"), QStringLiteral("Value")});
    details_->header()->setStretchLastSection(false);
    details_->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    details_->header()->setSectionResizeMode(1, QHeaderView::ResizeToContents);
    details_->setContextMenuPolicy(Qt::CustomContextMenu);
    auto* side = new QWidget;
    auto* sideLayout = new QVBoxLayout(side);
    sideLayout->setContentsMargins(0, 0, 0, 0);
    sideLayout->addWidget(circuitTitle_);
    sideLayout->addWidget(details_);

    auto* processor = new QSplitter;
    processor->addWidget(scroll_);
    processor->addWidget(side);
    processor->setStretchFactor(0, 3);
    processor->setStretchFactor(1, 2);
    processor->setSizes({620, 380});

    auto* memoryPage = new QWidget;
    auto* memoryLayout = new QVBoxLayout(memoryPage);
    memoryNote_ = new QLabel;
    memoryNote_->setWordWrap(true);
    picture_ = new MemoryPictureView;
    auto* pictureScroll = new QScrollArea;
    pictureScroll->setWidget(picture_);
    memoryLayout->addWidget(memoryNote_);
    memoryLayout->addWidget(pictureScroll, 1);

    tabs_ = new QTabWidget(this);
    tabs_->addTab(processor, QStringLiteral("Processor"));
    tabs_->addTab(memoryPage, QStringLiteral("Memory"));  // memoryTab

    auto* bar = new QHBoxLayout;
    bar->addWidget(search_, 1);
    bar->addWidget(changes_);
    bar->addWidget(status_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(help);
    layout->addLayout(bar);
    layout->addWidget(tabs_, 1);

    connect(tabs_, &QTabWidget::currentChanged, this, [this] {
        shownSteps_ = ~std::uint64_t{0};  // the other tab draws at once
        refresh();
    });
    connect(search_, &QLineEdit::returnPressed, this, [this] { find(search_->text()); });
    connect(changes_, &QCheckBox::toggled, this, [this](bool on) {
        board_->setShowChanges(on);
        remembered::setRelaysShowChanges(on);
    });
    connect(board_, &RelayBoard::circuitClicked, this, &RelaysWindow::showCircuit);
    connect(board_, &RelayBoard::addToSignalsRequested, this, &RelaysWindow::addToSignalsRequested);
    connect(details_, &QTreeWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        QTreeWidgetItem* item = details_->itemAt(at);
        if (item == nullptr || item->data(0, Qt::UserRole).toString().isEmpty()) return;
        const QString signalName = item->data(0, Qt::UserRole).toString();
        QMenu menu(this);
        connect(menu.addAction(QStringLiteral("Add to Signals")), &QAction::triggered, this,
                [this, signalName] { emit addToSignalsRequested(signalName); });
        menu.exec(details_->viewport()->mapToGlobal(at));
    });

    frameTimer_ = new QTimer(this);
    frameTimer_->setInterval(frameMs);
    connect(frameTimer_, &QTimer::timeout, this, &RelaysWindow::refresh);

    changes_->setChecked(remembered::relaysShowChanges());
    if (!restoreGeometry(remembered::relaysWindowGeometry())) resize(980, 720);
    board_->setSnapshot(&snapshot_);
}

RelaysWindow::~RelaysWindow() {
    computer_.keepRelaysBeforeStep(false);
    remembered::setRelaysWindowGeometry(saveGeometry());
}

void RelaysWindow::showEvent(QShowEvent* event) {
    computer_.keepRelaysBeforeStep(true);
    frameTimer_->start();
    refresh();
    QWidget::showEvent(event);
}

void RelaysWindow::hideEvent(QHideEvent* event) {
    frameTimer_->stop();
    computer_.keepRelaysBeforeStep(false);
    remembered::setRelaysWindowGeometry(saveGeometry());
    QWidget::hideEvent(event);
}

void RelaysWindow::refresh() {
    // The memory's ten million relays are read only while their tab shows.
    const bool memoryShown = tabs_->currentIndex() == memoryTab;
    const bool hadMemory = snapshot_.relayMemory;
    computer_.copyRelays(snapshot_, memoryShown);
    if (snapshot_.steps == shownSteps_ && hadMemory == snapshot_.relayMemory) return;
    shownSteps_ = snapshot_.steps;
    status_->setText(QStringLiteral("step %1").arg(snapshot_.steps));
    board_->setSnapshot(&snapshot_);
    updateDetails();
    if (memoryShown) updateMemoryTab();
}

void RelaysWindow::updateMemoryTab() {
    if (!snapshot_.relayMemory) {
        memoryNote_->setText(
            QStringLiteral("The byte array is in use: it has no relays. Turn \"Use Fast Ram\" off "
                           "to see the relay-built memory."));
        picture_->hide();
        return;
    }
    memoryNote_->setText(QStringLiteral(
        "Top: the ten levels of the tree. Below: the 1,024 blocks, each 8 rows of 8 cell columns, framed by "
        "its row decoder and bit selectors. Brighter: more relays whose normally-open contact carries "
        "current. The outline is the row the address lines select."));
    std::optional<std::uint16_t> address;
    if (const auto* lines = MachineMap::get().findSignal("controlPanel.address")) {
        const auto& outputs = MachineMap::get().namedSignals();
        address = static_cast<std::uint16_t>(
            snapshot_.signalValues[static_cast<std::size_t>(lines - outputs.data())]);
    }
    picture_->setPicture(*snapshot_.memory, address);
    picture_->show();
}

void RelaysWindow::showCircuit(int circuit) {
    board_->selectCircuit(circuit);
    details_->clear();
    updateDetails();
    const QRect first = board_->circuits()[static_cast<std::size_t>(circuit)].heading;
    scroll_->ensureVisible(first.x(), first.y(), 0, 40);
}

void RelaysWindow::updateDetails() {
    const int circuit = board_->selectedCircuit();
    if (circuit < 0) return;
    const auto& c = board_->circuits()[static_cast<std::size_t>(circuit)];
    circuitTitle_->setText(
        QStringLiteral("%1: %2 relays, section %3")
            .arg(c.name)
            .arg(c.count)
            .arg(QString::fromLatin1(sectionName(static_cast<Section>(c.section)).data())));
    const MachineMap& map = MachineMap::get();
    if (details_->topLevelItemCount() == 0) {
        auto* outputs = new QTreeWidgetItem(details_, {QStringLiteral("Outputs")});
        for (std::size_t k = 0; k < map.namedSignals().size(); ++k) {
            if (!inCircuit(map.namedSignals()[k].name, c.name)) continue;
            auto* item = new QTreeWidgetItem(outputs, {name(map.namedSignals()[k].name)});
            item->setData(0, Qt::UserRole, name(map.namedSignals()[k].name));
            item->setData(1, Qt::UserRole, static_cast<qulonglong>(k));
        }
        // The map names a circuit's outputs, not its input lines: its inputs
        // are what its relays take at the next step, supply and coil.
        auto* inputs =
            new QTreeWidgetItem(details_, {QStringLiteral("Inputs (supply, coil at the next step)")});
        for (int k = c.first; k < c.first + c.count; ++k) {
            auto* item = new QTreeWidgetItem(inputs, {name(map.relays()[static_cast<std::size_t>(k)].name)});
            item->setData(0, Qt::UserRole, name(map.relays()[static_cast<std::size_t>(k)].name));
            item->setData(1, Qt::UserRole, -1 - k);
        }
        outputs->setExpanded(true);
        inputs->setExpanded(true);
    }
    const bool haveState = snapshot_.relays.size() == map.relays().size();
    for (int top = 0; top < details_->topLevelItemCount(); ++top) {
        QTreeWidgetItem* group = details_->topLevelItem(top);
        for (int i = 0; i < group->childCount(); ++i) {
            QTreeWidgetItem* item = group->child(i);
            const qlonglong key = item->data(1, Qt::UserRole).toLongLong();
            QString text;
            if (!haveState) {
                text = QStringLiteral("-");
            } else if (key >= 0) {
                const auto k = static_cast<std::size_t>(key);
                text = valueText(snapshot_.signalValues[k], map.namedSignals()[k].width);
            } else {
                const unsigned bits = snapshot_.relays[static_cast<std::size_t>(-1 - key)];
                text = QStringLiteral("%1, %2").arg((bits >> 7) & 1).arg((bits >> 6) & 1);
            }
            if (item->text(1) != text) item->setText(1, text);
        }
    }
}

bool RelaysWindow::find(const QString& text) {
    const QString wanted = text.trimmed();
    if (wanted.isEmpty()) return false;
    const MachineMap& map = MachineMap::get();
    const auto& relays = map.relays();
    const auto& outputs = map.namedSignals();
    auto showRelay = [&](std::size_t k) {
        showCircuit(board_->circuitOf(static_cast<int>(k)));
        board_->markRelay(static_cast<int>(k));
        const QRect lamp = board_->lampRect(static_cast<int>(k));
        scroll_->ensureVisible(lamp.center().x(), lamp.center().y(), 20, 40);
        status_->setText(QStringLiteral("relay %1").arg(name(relays[k].name)));
        tabs_->setCurrentIndex(0);
    };
    auto showSignal = [&](std::size_t k) {
        const QString signalName = name(outputs[k].name);
        const int circuit =
            board_->circuitNamed(signalName.section(QLatin1Char('.'), 0, 0).section(QLatin1Char('['), 0, 0));
        if (circuit >= 0) showCircuit(circuit);
        board_->markRelay(-1);
        for (QTreeWidgetItem* item : details_->findItems(signalName, Qt::MatchExactly | Qt::MatchRecursive))
            details_->setCurrentItem(item);
        status_->setText(QStringLiteral("signal %1").arg(signalName));
        tabs_->setCurrentIndex(0);
    };
    for (int pass = 0; pass < 2; ++pass) {
        const bool whole = pass == 0;
        auto matches = [&](const QString& candidate) {
            return whole ? candidate == wanted : candidate.contains(wanted, Qt::CaseInsensitive);
        };
        for (std::size_t c = 0; c < board_->circuits().size(); ++c) {
            if (!matches(board_->circuits()[c].name)) continue;
            showCircuit(static_cast<int>(c));
            board_->markRelay(-1);
            status_->setText(QStringLiteral("circuit %1").arg(board_->circuits()[c].name));
            tabs_->setCurrentIndex(0);
            return true;
        }
        for (std::size_t k = 0; k < outputs.size(); ++k) {
            if (!matches(name(outputs[k].name))) continue;
            showSignal(k);
            return true;
        }
        for (std::size_t k = 0; k < relays.size(); ++k) {
            if (!matches(name(relays[k].name))) continue;
            showRelay(k);
            return true;
        }
    }
    status_->setText(QStringLiteral("No relay, circuit or signal named \"%1\"").arg(wanted));
    return false;
}

}  // namespace tarnwick
