#include "gui/AboutBox.h"

#include <QLabel>
#include <QPushButton>

#include "TarnwickVersion.h"
#include "gui/PanelLook.h"

namespace tarnwick {

// The box is laid out in dialog units of its 8-point font, two pixels each
// way: 230 x 75 units.
namespace {
constexpr int unit = 2;
QRect units(int x, int y, int w, int h) { return QRect(x * unit, y * unit, w * unit, h * unit); }
}  // namespace

AboutBox::AboutBox(QWidget* owner)
    : QDialog(owner,
              Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint) {
    setWindowTitle(QStringLiteral("About"));
    setFixedSize(units(0, 0, 230, 75).size());

    auto* icon = new QLabel(this);
    icon->setObjectName(QStringLiteral("icon"));
    icon->setPixmap(programIcon().pixmap(32, 32));
    icon->setGeometry(units(14, 9, 16, 16));

    auto* version =
        new QLabel(QStringLiteral("Tarnwick Version ") + QLatin1StringView(tarnwick::version), this);
    version->setObjectName(QStringLiteral("version"));
    version->setTextFormat(Qt::PlainText);
    version->setGeometry(units(49, 10, 119, 8));

    okButton_ = new QPushButton(QStringLiteral("OK"), this);
    okButton_->setGeometry(units(195, 6, 30, 11));
    okButton_->setDefault(true);
    okButton_->setFocus();
    connect(okButton_, &QPushButton::clicked, this, &QDialog::accept);
}

}  // namespace tarnwick
