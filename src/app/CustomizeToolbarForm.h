// The "Customize" dialog of the menu bar and the toolbars. On the left every action by category
// and a separator; on the right the chosen bar (a menu of the menu bar or one of the four
// toolbars) with its entries. Actions are placed by dragging them onto the bar's list or with
// "Add", reordered by dragging or with "Move up"/"Move down", taken off with "Remove". Menus can
// be added to and removed from the menu bar. The dialog edits a copy: the caller applies
// layout() when it ends with OK.
#pragma once

#include "ActionBarsLayout.h"

#include <QDialog>

#include <map>

class QAction;
class QComboBox;
class QListWidget;
class QPushButton;
class QTreeWidget;

namespace quillet {

class CustomizeToolbarForm : public QDialog {
    Q_OBJECT
public:
    // Every action in list order; each carries its name as objectName and its category in the
    // property "category".
    explicit CustomizeToolbarForm(const QList<QAction*>& actions, QWidget* parent = nullptr);

    void setBarsLayout(const ActionBarsLayout& layout);
    ActionBarsLayout barsLayout();

    // The bars offered: the menus of the menu bar first, then the four toolbars.
    int barCount() const;
    void selectBar(int index);
    int toolBarIndex(int toolBar) const { return static_cast<int>(layout_.menus.size()) + toolBar; }
    // Adds an action (or kSeparatorItem) to the chosen bar after its current entry.
    void addItem(const QString& name);
    void removeCurrentItem();
    void moveCurrentItem(int delta);
    void addMenu(const QString& caption);

    QTreeWidget* AvailableList = nullptr;
    QComboBox* BarCombo = nullptr;
    QListWidget* BarItemsList = nullptr;
    QPushButton* AddButton = nullptr;
    QPushButton* RemoveButton = nullptr;
    QPushButton* UpButton = nullptr;
    QPushButton* DownButton = nullptr;
    QPushButton* NewMenuButton = nullptr;
    QPushButton* DeleteMenuButton = nullptr;
    QPushButton* ResetButton = nullptr;

signals:
    // "New menu" asks its caption through the program's input box.
    void newMenuRequested();

private:
    void fillBarCombo();
    void showBar(int index);
    void storeShownBar();
    BarLayout& bar(int index);
    void appendListItem(const QString& name, int row = -1);

    std::map<QString, QAction*> actions_;
    ActionBarsLayout layout_;
    int shownBar_ = -1;
};

} // namespace quillet
