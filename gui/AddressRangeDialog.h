#pragma once

#include <QDialog>
#include <cstdint>
#include <optional>

class QDialogButtonBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace tarnwick {

// Asks for the first and last address to save, in hexadecimal (one to four
// digits, 0 to FFFF). OK is enabled only while both are valid and the first
// is not above the last.
class AddressRangeDialog : public QDialog {
    Q_OBJECT

public:
    AddressRangeDialog(std::uint16_t first, std::uint16_t last, QWidget* parent);

    QLineEdit* firstEdit() const { return first_; }
    QLineEdit* lastEdit() const { return last_; }
    QPushButton* okButton() const;

    // The range typed, when it is valid.
    struct Range {
        std::uint16_t first;
        std::uint16_t last;
    };
    std::optional<Range> range() const;

private:
    void validate();

    QLineEdit* first_;
    QLineEdit* last_;
    QLabel* problem_;
    QDialogButtonBox* buttons_;
};

}  // namespace tarnwick
