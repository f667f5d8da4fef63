// "Find e-mail in text file": the file to scan (kept from the previous use) and the group the
// addresses go to. "New group" runs the main window's New group command through onNewGroup.
#pragma once

#include "project/Project.h"

#include <QDialog>

#include <functional>

class QComboBox;
class QLineEdit;
class QPushButton;

namespace quillet {

class UserInterface;

class TFindEMailForm : public QDialog {
    Q_OBJECT
public:
    TFindEMailForm(UserInterface& ui, const Project& project, QWidget* parent = nullptr);

    // Refills the group list from the project; the first entry is chosen when asked, else none.
    void refillGroups(bool chooseFirst);
    // Called before every showing: the group list refilled with its first entry chosen.
    void prepareToShow();

    std::function<void()> onNewGroup;

    QLineEdit* FileNameEdit = nullptr;
    QPushButton* OpenFileBtn = nullptr;
    QComboBox* GroupComboBox = nullptr;
    QPushButton* NewGroupBtn = nullptr;
    QPushButton* Button1 = nullptr;  // "Find"
    QPushButton* Button2 = nullptr;  // "Cancel"

    static const char* const kFileFilter;

private:
    void OpenFileBtnClick();
    void NewGroupBtnClick();

    UserInterface& ui_;
    const Project& project_;
};

} // namespace quillet
