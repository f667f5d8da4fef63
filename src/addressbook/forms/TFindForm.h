// "Find": a window that stays on top and does not block the main window. It keeps its text,
// options, scope and search position between showings; the search itself and the showing of
// a hit belong to the address book controller, which the buttons call.
#pragma once

#include <QDialog>

#include <cstddef>
#include <functional>

class QCheckBox;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace quillet {

class TFindForm : public QDialog {
    Q_OBJECT
public:
    explicit TFindForm(QWidget* parent = nullptr);

    // Run by "Find" (fromStart true: the position goes back to 0) and "Find next".
    std::function<void(bool fromStart)> onSearch;
    // The position in the project's recipient list where the next search starts.
    std::size_t searchPosition = 0;

    QLineEdit* FindEdit = nullptr;
    QCheckBox* CaseSensitiveBox = nullptr;
    QCheckBox* FindExactlyBox = nullptr;
    QRadioButton* CurrentGroupButton = nullptr;
    QRadioButton* GlobalButton = nullptr;
    QPushButton* FindButton = nullptr;
    QPushButton* FindNextButton = nullptr;
    QPushButton* CancelButton = nullptr;

private:
    void FindButtonClick();
    void FindNextButtonClick();
};

} // namespace quillet
