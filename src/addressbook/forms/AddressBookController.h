// The page "Recipients" of the main window: it builds its group list, recipient list and the
// splitter between them (the main window places them in its tab), binds the address-book actions (groups, recipients, find, harvesting, HTML export) of the
// main window to their handlers and dialogs, fills the recipient list from the selected group,
// keeps the enabled states of the group and recipient actions, and handles drops of recipient
// rows onto the group list (DragPopupMenu: "Copy recipient", "Move recipient", "Cancel").
#pragma once

#include "widgets/ActionId.h"

#include <QObject>
#include <QPoint>
#include <QString>

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

class QAbstractItemModel;
class QMenu;
class QAction;
class QSplitter;
class QTreeView;
class QTreeWidget;
class QTreeWidgetItem;
class QWidget;

namespace quillet {

class Shell;
struct GroupEntry;
class RecipientListModel;
class TEditGroupParamsForm;
class TEditRecipientForm;
class TSelectGroupForm;
class TFindForm;
class TFindEMailForm;
class TEMailFoundedForm;
class ImportRecipientsDialog;

class AddressBookController : public QObject {
    Q_OBJECT
public:
    explicit AddressBookController(Shell& shell);
    ~AddressBookController() override;

    // The page: the group list and the recipient list side by side.
    QWidget* view() const;
    QTreeWidget* groupListView() const { return GroupListView; }
    QTreeView* recipientListView() const { return RecipientListView; }
    QSplitter* splitter() const { return Splitter1; }
    // Rebuilds the rows of the group list from the project.
    void showGroups();
    // Around every operation that empties or replaces the project's contents: the recipient rows
    // go first, the groups are shown again after (no group is then selected).
    void projectAboutToBeReplaced();
    void projectReplaced();

    RecipientListModel& recipientModel() const { return *recipientModel_; }
    // Position of the group selected in the main window, or -1.
    int selectedGroup() const;
    // Rows of the recipient list that are selected, top to bottom.
    std::vector<int> selectedRows() const;
    // The records behind the selected rows, top to bottom.
    std::vector<std::size_t> selectedRecords() const;
    void selectAllRecipients();

    // Event handlers, public so that window tests can drive them as the user would.
    void GroupListViewSelectItem();
    void RecipientListViewSelectItem();
    bool GroupListViewDragOver(const QObject* source) const;
    void GroupListViewDragDrop(const QPoint& viewportPosition);

    TEditGroupParamsForm& editGroupParamsForm() const { return *EditGroupParamsForm; }
    TEditRecipientForm& editRecipientForm() const { return *EditRecipientForm; }
    TSelectGroupForm& selectGroupForm() const { return *SelectGroupForm; }
    TFindForm& findForm() const { return *FindForm; }
    TFindEMailForm& findEMailForm() const { return *FindEMailForm; }
    TEMailFoundedForm& eMailFoundedForm() const { return *EMailFoundedForm; }
    ImportRecipientsDialog& importRecipientsForm() const { return *ImportForm; }
    QMenu& dragPopupMenu() const { return *DragPopupMenu; }

signals:
    // The selected group's number of recipients and of selected ones, as the status bar shows
    // it ("12 recipients, 3 selected"); empty without a group.
    void recipientCountsChanged(const QString& text);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void NewRecipientGroupActionExecute();
    void EditGroupActionExecute();
    void DeleteGroupActionExecute();
    void MoveToGroupActionExecute();
    void CopyToGroupActionExecute();
    void NewRecipientActionExecute();
    void EditRecipientActionExecute();
    void DeleteRecipientActionExecute();
    void EnableRecipientActionExecute();
    void SelectAllActionExecute();
    void FindRecipientActionExecute();
    void FindInFilesActionExecute();
    void ExportToAHTMLActionExecute();
    void ImportRecipientsActionExecute();
    void ExportRecipientsActionExecute();
    void FindFormSearch(bool fromStart);

    // "Select Group" over the main window's groups: the chosen group, or -1 when cancelled or
    // when no group was chosen (then "Have not selected group" is shown).
    int chooseTargetGroup();
    // The selected group, or -1 after showing "Have not selected group".
    int selectedGroupOrError();
    // Move to group / Copy to group of the selected rows to the chosen group.
    void moveSelectedTo(int group);
    void copySelectedTo(int group);
    // Selects the group at the position in the main window (its rows are shown) and, if it
    // already was selected, shows its rows again.
    void selectGroupAndRefresh(int group);
    void showRecipientsOfSelectedGroup();

    void showError(const std::string& text);
    void showRecipientCounts();
    bool confirm(const std::string& text);
    void enable(ActionId id, bool enabled);
    void createViews();
    void setRecipientModel(QAbstractItemModel* model);
    static QTreeWidgetItem* groupRow(const GroupEntry& group);

    Shell& mainWindow_;
    QTreeWidget* GroupListView = nullptr;
    QTreeView* RecipientListView = nullptr;
    QSplitter* Splitter1 = nullptr;
    RecipientListModel* recipientModel_ = nullptr;
    TEditGroupParamsForm* EditGroupParamsForm = nullptr;
    TEditRecipientForm* EditRecipientForm = nullptr;
    TSelectGroupForm* SelectGroupForm = nullptr;
    TFindForm* FindForm = nullptr;
    TFindEMailForm* FindEMailForm = nullptr;
    TEMailFoundedForm* EMailFoundedForm = nullptr;
    ImportRecipientsDialog* ImportForm = nullptr;
    QMenu* DragPopupMenu = nullptr;
    QAction* Copy1 = nullptr;
    QAction* Move1 = nullptr;
    QAction* Cancel1 = nullptr;
    std::optional<std::size_t> lastHit_;
};

} // namespace quillet
