#include "gui/AddressRangeDialog.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

namespace tarnwick {

namespace {

QString hex4(std::uint16_t value) {
    return QStringLiteral("%1").arg(value, 4, 16, QLatin1Char('0')).toUpper();
}

std::optional<std::uint16_t> parseHex(const QLineEdit* edit) {
    if (!edit->hasAcceptableInput()) return std::nullopt;
    bool ok = false;
    const uint value = edit->text().toUInt(&ok, 16);
    if (!ok || value > 0xFFFF) return std::nullopt;
    return static_cast<std::uint16_t>(value);
}

}  // namespace

AddressRangeDialog::AddressRangeDialog(std::uint16_t first, std::uint16_t last, QWidget* parent)
    : QDialog(parent) {
    setWindowTitle(QStringLiteral("Save Memory File"));
    auto* validator =
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9A-Fa-f]{1,4}")), this);
    first_ = new QLineEdit(hex4(first), this);
    first_->setObjectName(QStringLiteral("firstAddressEdit"));
    last_ = new QLineEdit(hex4(last), this);
    last_->setObjectName(QStringLiteral("lastAddressEdit"));
    for (QLineEdit* edit : {first_, last_}) {
        edit->setValidator(validator);
        connect(edit, &QLineEdit::textChanged, this, &AddressRangeDialog::validate);
    }
    problem_ = new QLabel(this);
    buttons_ = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons_, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons_, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("&First address (hex):"), first_);
    form->addRow(QStringLiteral("&Last address (hex):"), last_);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(problem_);
    layout->addWidget(buttons_);
    validate();
}

QPushButton* AddressRangeDialog::okButton() const { return buttons_->button(QDialogButtonBox::Ok); }

std::optional<AddressRangeDialog::Range> AddressRangeDialog::range() const {
    const auto first = parseHex(first_);
    const auto last = parseHex(last_);
    if (!first || !last || *first > *last) return std::nullopt;
    return Range{*first, *last};
}

void AddressRangeDialog::validate() {
    QString problem;
    if (!parseHex(first_) || !parseHex(last_))
        problem = QStringLiteral("Addresses are 1 to 4 hexadecimal digits, 0 to FFFF.");
    else if (!range())
        problem = QStringLiteral("The first address is above the last.");
    problem_->setText(problem);
    okButton()->setEnabled(problem.isEmpty());
}

}  // namespace tarnwick
