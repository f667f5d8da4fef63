// "Find e-mail in text file": the file to scan (kept from the previous use) and the group the
// addresses go to. "New group" runs the main window's New group command through onNewGroup and
// chooses the group it made (the earlier choice stays when no group was made).
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

    // Refills the group list from the project and chooses the entry at `chosen` (-1: none).
    void refillGroups(int chosen);
    // Called before every showing: the group list refilled with the group selected in the main
    // window chosen (`selectedGroup`; the first one when none is selected), and the focus in the
    // file name.
    void prepareToShow(int selectedGroup);

    std::function<void()> onNewGroup;

    QLineEdit* FileNameEdit = nullptr;
    QPushButton* OpenFileBtn = nullptr;
    QComboBox* GroupComboBox = nullptr;
    QPushButton* NewGroupBtn = nullptr;
    QPushButton* Button1 = nullptr; // "Find"
    QPushButton* Button2 = nullptr; // "Cancel"

    static const char* const kFileFilter;

private:
    void OpenFileBtnClick();
    void NewGroupBtnClick();

    UserInterface& ui_;
    const Project& project_;
};

} // namespace quillet
