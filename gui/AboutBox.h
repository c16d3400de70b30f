#pragma once

#include <QDialog>

class QPushButton;

namespace tarnwick {

// The modal About box: the program icon, the version line and a default OK
// button. OK or Enter accepts; Escape and the close box reject.
class AboutBox : public QDialog {
    Q_OBJECT

public:
    explicit AboutBox(QWidget* owner);

    QPushButton* okButton() const { return okButton_; }

private:
    QPushButton* okButton_;
};

}  // namespace tarnwick
