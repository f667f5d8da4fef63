// "Select Group": chooses the group that recipients are copied or moved to. Every showing
// starts from a fresh copy of the main window's group rows.
#pragma once

#include <QDialog>

class QPushButton;
class QTreeWidget;

namespace quillet {

class TSelectGroupForm : public QDialog {
    Q_OBJECT
public:
    explicit TSelectGroupForm(QWidget* parent = nullptr);

    // Replaces the rows with copies of the source list's rows (texts and icons, in order).
    void copyGroupsFrom(const QTreeWidget& source);
    // Position of the selected group, or -1.
    int selectedGroup() const;

    QTreeWidget* GroupListView = nullptr;
    QPushButton* OKButton = nullptr;
    QPushButton* CancelButton = nullptr;
};

} // namespace quillet
