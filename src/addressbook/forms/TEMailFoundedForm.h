// "Find E-Mail status": the addresses found in the file, which the user may edit or delete
// before confirming. The scan runs as the dialog opens, with the animation shown meanwhile.
#pragma once

#include <QDialog>

#include <string>
#include <vector>

class QListView;
class QProgressBar;
class QPushButton;
class QStringListModel;

namespace quillet {

class UserInterface;

class TEMailFoundedForm : public QDialog {
    Q_OBJECT
public:
    explicit TEMailFoundedForm(UserInterface& ui, QWidget* parent = nullptr);

    // Empties the list, shows the animation, scans the file into the list, hides the animation.
    // A file that cannot be read throws with its message.
    void scanFile(const std::string& path);
    // The entries as they stand (code-page texts); throws UnrepresentableText for an edited
    // entry the code page cannot hold.
    std::vector<std::string> entries() const;
    int entryCount() const;

    QListView* FoundedListBox = nullptr;
    QStringListModel* foundedEntries = nullptr;
    QPushButton* Button1 = nullptr;  // "OK"
    QPushButton* Button2 = nullptr;  // "Cancel"
    QPushButton* EditButton = nullptr;
    QPushButton* DeleteButton = nullptr;
    QProgressBar* Animate1 = nullptr;

    void EditButtonClick();
    void DeleteButtonClick();

private:
    void selectionChanged();
    int selectedRow() const;
    UserInterface& ui_;
};

} // namespace quillet
