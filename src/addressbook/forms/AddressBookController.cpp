#include "AddressBookController.h"
#include "widgets/DesktopOpen.h"

#include "RecipientListModel.h"
#include "ImportRecipientsDialog.h"
#include "TEMailFoundedForm.h"
#include "TEditGroupParamsForm.h"
#include "TEditRecipientForm.h"
#include "TFindEMailForm.h"
#include "TFindForm.h"
#include "TSelectGroupForm.h"

#include "addressbook/AddressBookTexts.h"
#include "addressbook/GroupOperations.h"
#include "addressbook/HtmlExport.h"
#include "addressbook/RecipientOperations.h"
#include "addressbook/RecipientSearch.h"
#include "widgets/Icons.h"
#include "widgets/ListViews.h"
#include "widgets/Shell.h"
#include "widgets/TextBoundary.h"
#include "widgets/UserInterface.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QCursor>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QRadioButton>
#include <QSplitter>
#include <QStandardItemModel>
#include <QTimer>
#include <QTreeView>
#include <QTreeWidget>

#include <algorithm>

namespace quillet {

namespace {

constexpr ActionId kGroupActions[] = {ActionId::EditGroupAction,    ActionId::DeleteGroupAction,
                                      ActionId::NewRecipientAction, ActionId::SelectAllAction,
                                      ActionId::EMailToGroupAction, ActionId::ExportToAHTMLAction};
constexpr ActionId kRecipientActions[] = {ActionId::EditRecipientAction,   ActionId::DeleteRecipientAction,
                                          ActionId::EnableRecipientAction, ActionId::EMailToCurrentAction,
                                          ActionId::CopyToGroupAction,     ActionId::MoveToGroupAction};

// Beside an e-mail text in its column: the row's 16-pixel icon and the cell's margins.
constexpr int kIconAndMargins = 40;

} // namespace

AddressBookController::AddressBookController(Shell& shell) : QObject(shell.dialogParent()), mainWindow_(shell)
{
    // A child of the main window so that tests can find it; the window deletes it first.
    setObjectName("AddressBookController");
    createViews();
    recipientModel_ = new RecipientListModel(mainWindow_.project(), recipientIcon, this);
    setRecipientModel(recipientModel_);

    UserInterface& ui = mainWindow_.ui();
    EditGroupParamsForm = new TEditGroupParamsForm(mainWindow_.dialogParent());
    EditRecipientForm = new TEditRecipientForm(ui, mainWindow_.dialogParent());
    SelectGroupForm = new TSelectGroupForm(mainWindow_.dialogParent());
    FindForm = new TFindForm(mainWindow_.dialogParent());
    FindEMailForm = new TFindEMailForm(ui, mainWindow_.project(), mainWindow_.dialogParent());
    EMailFoundedForm = new TEMailFoundedForm(ui, mainWindow_.dialogParent());
    ImportForm = new ImportRecipientsDialog(ui, mainWindow_.project(), mainWindow_.dialogParent());
    FindForm->onSearch = [this](bool fromStart) { mainWindow_.runGuarded([&] { FindFormSearch(fromStart); }); };
    FindEMailForm->onNewGroup = [this] { mainWindow_.runGuarded([this] { NewRecipientGroupActionExecute(); }); };

    DragPopupMenu = new QMenu(mainWindow_.dialogParent());
    DragPopupMenu->setObjectName("DragPopupMenu");
    Copy1 = DragPopupMenu->addAction("Copy recipient");
    Copy1->setObjectName("Copy1");
    Move1 = DragPopupMenu->addAction("Move recipient");
    Move1->setObjectName("Move1");
    DragPopupMenu->addSeparator();
    Cancel1 = DragPopupMenu->addAction("Cancel");
    Cancel1->setObjectName("Cancel1");

    const auto bind = [this](ActionId id, void (AddressBookController::*handler)()) {
        mainWindow_.bindAction(id, [this, handler] { (this->*handler)(); });
    };
    bind(ActionId::NewRecipientGroupAction, &AddressBookController::NewRecipientGroupActionExecute);
    bind(ActionId::EditGroupAction, &AddressBookController::EditGroupActionExecute);
    bind(ActionId::DeleteGroupAction, &AddressBookController::DeleteGroupActionExecute);
    bind(ActionId::MoveToGroupAction, &AddressBookController::MoveToGroupActionExecute);
    bind(ActionId::CopyToGroupAction, &AddressBookController::CopyToGroupActionExecute);
    bind(ActionId::NewRecipientAction, &AddressBookController::NewRecipientActionExecute);
    bind(ActionId::EditRecipientAction, &AddressBookController::EditRecipientActionExecute);
    bind(ActionId::DeleteRecipientAction, &AddressBookController::DeleteRecipientActionExecute);
    bind(ActionId::EnableRecipientAction, &AddressBookController::EnableRecipientActionExecute);
    bind(ActionId::SelectAllAction, &AddressBookController::SelectAllActionExecute);
    bind(ActionId::FindRecipientAction, &AddressBookController::FindRecipientActionExecute);
    bind(ActionId::FindInFilesAction, &AddressBookController::FindInFilesActionExecute);
    bind(ActionId::ExportToAHTMLAction, &AddressBookController::ExportToAHTMLActionExecute);
    bind(ActionId::ImportRecipientsAction, &AddressBookController::ImportRecipientsActionExecute);
    bind(ActionId::ExportRecipientsAction, &AddressBookController::ExportRecipientsActionExecute);

    QTreeWidget* groups = GroupListView;
    connect(groups, &QTreeWidget::itemSelectionChanged, this,
            [this] { mainWindow_.runGuarded([this] { GroupListViewSelectItem(); }); });
    connect(RecipientListView->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this] { RecipientListViewSelectItem(); });
    // A double-click on a row edits that recipient.
    connect(RecipientListView, &QAbstractItemView::doubleClicked, this,
            [this] { mainWindow_.action(ActionId::EditRecipientAction)->trigger(); });
    // The status bar counts the rows and the selected ones.
    connect(recipientModel_, &QAbstractItemModel::modelReset, this, [this] { showRecipientCounts(); });
    connect(recipientModel_, &QAbstractItemModel::rowsInserted, this, [this] { showRecipientCounts(); });
    connect(recipientModel_, &QAbstractItemModel::rowsRemoved, this, [this] { showRecipientCounts(); });

    // Recipient rows dropped on a group.
    groups->setAcceptDrops(true);
    groups->viewport()->setAcceptDrops(true);
    groups->viewport()->installEventFilter(this);
}

AddressBookController::~AddressBookController() = default;

// ----- the page's views ---------------------------------------------------------------------

void AddressBookController::createViews()
{
    GroupListView = makeList("GroupListView", {"Group name", "Description"}, true, {150, 0}, 1);

    RecipientListView = new QTreeView;
    RecipientListView->setObjectName("RecipientListView");
    styleList(RecipientListView, true);
    RecipientListView->setSelectionMode(QAbstractItemView::ExtendedSelection);
    RecipientListView->setDragEnabled(true);
    RecipientListView->setDragDropMode(QAbstractItemView::DragOnly);
    setRecipientModel(new QStandardItemModel(0, 4, RecipientListView));

    Splitter1 = new QSplitter(Qt::Horizontal);
    Splitter1->setObjectName("Splitter1");
    Splitter1->addWidget(GroupListView);
    Splitter1->addWidget(RecipientListView);
    Splitter1->setStretchFactor(0, 0);
    Splitter1->setStretchFactor(1, 1);
    Splitter1->setChildrenCollapsible(false);
    Splitter1->setHandleWidth(4);

    makePopupMenu(mainWindow_, "GroupPopupAction", GroupListView,
                  {ActionId::NewRecipientGroupAction, ActionId::EditGroupAction, ActionId::DeleteGroupAction,
                   std::nullopt, ActionId::NewRecipientAction, std::nullopt, ActionId::EMailToGroupAction,
                   ActionId::ExportToAHTMLAction, ActionId::FindRecipientAction});
    makePopupMenu(mainWindow_, "RecipientPopupAction", RecipientListView,
                  {ActionId::NewRecipientAction, ActionId::EditRecipientAction, ActionId::DeleteRecipientAction,
                   ActionId::EnableRecipientAction, std::nullopt, ActionId::CopyToGroupAction,
                   ActionId::MoveToGroupAction, std::nullopt, ActionId::EMailToCurrentAction,
                   ActionId::FindRecipientAction});
}

QWidget* AddressBookController::view() const
{
    return Splitter1;
}

void AddressBookController::setRecipientModel(QAbstractItemModel* model)
{
    RecipientListView->setModel(model);
    if (model && model->columnCount() >= 4) {
        model->setHeaderData(0, Qt::Horizontal, "Recipient e-mail");
        model->setHeaderData(1, Qt::Horizontal, "Name");
        model->setHeaderData(2, Qt::Horizontal, "Surname");
        model->setHeaderData(3, Qt::Horizontal, "Enabled");
    }
    // The first layout gives the e-mail column room for a typical address beside its icon;
    // the name takes what is left.
    const int emailWidth =
        RecipientListView->fontMetrics().horizontalAdvance(QString(texts::kTypicalAddress.data())) + kIconAndMargins;
    setColumns(RecipientListView, {emailWidth, 0, 100, 70}, 1);
    for (int column = 4; model && column < model->columnCount(); ++column)
        RecipientListView->setColumnHidden(column, true);
}

void AddressBookController::showGroups()
{
    GroupListView->clear();
    QList<QTreeWidgetItem*> rows;
    for (const GroupEntry& group : mainWindow_.project().groups)
        rows << groupRow(group);
    GroupListView->addTopLevelItems(rows);
}

QTreeWidgetItem* AddressBookController::groupRow(const GroupEntry& group)
{
    auto* row = new QTreeWidgetItem({toQt(group.name), toQt(group.description)});
    row->setIcon(0, stateIcon(StateIcon::Group));
    return row;
}

// The Find window's position survives a change of project; the rows do not.
void AddressBookController::projectAboutToBeReplaced()
{
    recipientModel_->clear();
}

// The fresh lists have nothing selected, so no action may stay enabled from the rows of the
// project before.
void AddressBookController::projectReplaced()
{
    showGroups();
    GroupListViewSelectItem();
    RecipientListViewSelectItem();
}

void AddressBookController::selectAllRecipients()
{
    RecipientListView->selectAll();
}

// ----- selections ---------------------------------------------------------------------------

int AddressBookController::selectedGroup() const
{
    QTreeWidget* groups = GroupListView;
    const auto selected = groups->selectedItems();
    return selected.isEmpty() ? -1 : groups->indexOfTopLevelItem(selected.first());
}

std::vector<int> AddressBookController::selectedRows() const
{
    std::vector<int> rows;
    const QItemSelectionModel* selection = RecipientListView->selectionModel();
    if (!selection || selection->model() != recipientModel_)
        return rows;
    for (const QItemSelectionRange& range : selection->selection())
        for (int row = range.top(); row <= range.bottom(); ++row)
            rows.push_back(row);
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    return rows;
}

std::vector<std::size_t> AddressBookController::selectedRecords() const
{
    std::vector<std::size_t> records;
    for (int row : selectedRows())
        records.push_back(recipientModel_->recordIndex(row));
    return records;
}

int AddressBookController::selectedGroupOrError()
{
    const int group = selectedGroup();
    if (group < 0)
        showError(std::string(texts::kHaveNotSelectedGroup));
    return group;
}

void AddressBookController::enable(ActionId id, bool enabled)
{
    mainWindow_.action(id)->setEnabled(enabled);
}

void AddressBookController::GroupListViewSelectItem()
{
    recipientModel_->clear();
    const int group = selectedGroup();
    for (const ActionId name : kGroupActions)
        enable(name, group >= 0);
    if (group < 0 || static_cast<std::size_t>(group) >= mainWindow_.project().groups.size())
        return;
    showRecipientsOfSelectedGroup();
}

void AddressBookController::showRecipientsOfSelectedGroup()
{
    const int group = selectedGroup();
    if (group < 0 || static_cast<std::size_t>(group) >= mainWindow_.project().groups.size()) {
        recipientModel_->clear();
        return;
    }
    recipientModel_->rebuild(mainWindow_.project().groups[static_cast<std::size_t>(group)].name);
}

void AddressBookController::showRecipientCounts()
{
    const std::size_t rows = std::size_t(recipientModel_->rowCount());
    emit recipientCountsChanged(selectedGroup() < 0 ? QString()
                                                    : toQt(texts::recipientCounts(rows, selectedRows().size())));
}

void AddressBookController::RecipientListViewSelectItem()
{
    showRecipientCounts();
    const std::vector<int> rows = selectedRows();
    for (const ActionId name : kRecipientActions)
        enable(name, !rows.empty());
    if (rows.empty())
        return;
    const std::size_t record = recipientModel_->recordIndex(rows.front());
    mainWindow_.action(ActionId::EnableRecipientAction)
        ->setChecked(mainWindow_.project().recipients.at(record).enabled());
}

void AddressBookController::selectGroupAndRefresh(int group)
{
    QTreeWidget* groups = GroupListView;
    QTreeWidgetItem* item = groups->topLevelItem(group);
    if (!item)
        return;
    if (selectedGroup() == group) {
        showRecipientsOfSelectedGroup();
        return;
    }
    groups->setCurrentItem(item); // the selection change shows the group's rows
    if (selectedGroup() != group) {
        groups->clearSelection();
        item->setSelected(true);
    }
}

// ----- messages -----------------------------------------------------------------------------

void AddressBookController::showError(const std::string& text)
{
    mainWindow_.ui().messageBox(mainWindow_.dialogParent(), toQt(text), QString(texts::kErrorCaption.data()),
                                MessageIcon::Information, MessageButtons::Ok);
}

bool AddressBookController::confirm(const std::string& text)
{
    return mainWindow_.ui().messageBox(mainWindow_.dialogParent(), toQt(text), QString(texts::kWarningCaption.data()),
                                       MessageIcon::Information, MessageButtons::OkCancel) == mrOk;
}

// ----- groups -------------------------------------------------------------------------------

void AddressBookController::NewRecipientGroupActionExecute()
{
    EditGroupParamsForm->GroupNameEdit->setText(QString(texts::kNewGroupDefaultName.data()));
    EditGroupParamsForm->DescriptionEdit->clear();
    if (mainWindow_.ui().showModal(*EditGroupParamsForm) != mrOk)
        return;
    const std::string name = fromQt(EditGroupParamsForm->GroupNameEdit->text());
    const std::string description = fromQt(EditGroupParamsForm->DescriptionEdit->text());
    Project& project = mainWindow_.project();
    try {
        addGroup(project, name, description);
    } catch (const AddressBookError& error) {
        showError(error.what());
        return;
    }
    GroupListView->addTopLevelItem(groupRow(project.groups.back()));
}

void AddressBookController::EditGroupActionExecute()
{
    const int group = selectedGroupOrError();
    if (group < 0)
        return;
    Project& project = mainWindow_.project();
    const GroupEntry& entry = project.groups.at(static_cast<std::size_t>(group));
    EditGroupParamsForm->GroupNameEdit->setText(toQt(entry.name));
    EditGroupParamsForm->DescriptionEdit->setText(toQt(entry.description));
    if (mainWindow_.ui().showModal(*EditGroupParamsForm) != mrOk)
        return;
    const std::string name = fromQt(EditGroupParamsForm->GroupNameEdit->text());
    const std::string description = fromQt(EditGroupParamsForm->DescriptionEdit->text());
    try {
        editGroup(project, static_cast<std::size_t>(group), name, description);
    } catch (const AddressBookError& error) {
        showError(error.what());
        return;
    }
    QTreeWidgetItem* row = GroupListView->topLevelItem(group);
    row->setText(0, toQt(project.groups[static_cast<std::size_t>(group)].name));
    row->setText(1, toQt(project.groups[static_cast<std::size_t>(group)].description));
}

void AddressBookController::DeleteGroupActionExecute()
{
    const int group = selectedGroupOrError();
    if (group < 0)
        return;
    Project& project = mainWindow_.project();
    if (!confirm(texts::confirmDeleteGroup(project.groups.at(static_cast<std::size_t>(group)).name)))
        return;
    recipientModel_->clear();
    deleteGroup(project, static_cast<std::size_t>(group));
    QTreeWidget* groups = GroupListView;
    groups->clearSelection();
    delete groups->takeTopLevelItem(group);
    groups->clearSelection();
}

void AddressBookController::moveSelectedTo(int group)
{
    Project& project = mainWindow_.project();
    moveRecipients(project, selectedRecords(), project.groups.at(static_cast<std::size_t>(group)).name);
    showRecipientsOfSelectedGroup();
}

void AddressBookController::copySelectedTo(int group)
{
    Project& project = mainWindow_.project();
    std::vector<std::size_t> records = selectedRecords();
    const int source = selectedGroup();
    const std::string sourceName = source >= 0 ? project.groups.at(static_cast<std::size_t>(source)).name : "";
    if (source < 0)
        records.clear(); // no group shown, so no rows: nothing to copy
    copyRecipients(project, records, sourceName, project.groups.at(static_cast<std::size_t>(group)).name);
    showRecipientsOfSelectedGroup();
}

int AddressBookController::chooseTargetGroup()
{
    SelectGroupForm->copyGroupsFrom(*GroupListView);
    if (mainWindow_.ui().showModal(*SelectGroupForm) != mrOk)
        return -1;
    const int group = SelectGroupForm->selectedGroup();
    if (group < 0)
        showError(std::string(texts::kHaveNotSelectedGroup));
    return group;
}

void AddressBookController::MoveToGroupActionExecute()
{
    if (const int group = chooseTargetGroup(); group >= 0)
        moveSelectedTo(group);
}

void AddressBookController::CopyToGroupActionExecute()
{
    if (const int group = chooseTargetGroup(); group >= 0)
        copySelectedTo(group);
}

bool AddressBookController::GroupListViewDragOver(const QObject* source) const
{
    return source && source == RecipientListView;
}

void AddressBookController::GroupListViewDragDrop(const QPoint& viewportPosition)
{
    QTreeWidget* groups = GroupListView;
    QTreeWidgetItem* item = groups->itemAt(viewportPosition);
    if (!item)
        return;
    const int target = groups->indexOfTopLevelItem(item);
    QAction* chosen = mainWindow_.ui().popupMenu(*DragPopupMenu, QCursor::pos());
    if (chosen == Copy1)
        copySelectedTo(target);
    else if (chosen == Move1)
        moveSelectedTo(target);
}

bool AddressBookController::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != GroupListView->viewport())
        return QObject::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove: {
        auto* drag = static_cast<QDropEvent*>(event);
        if (GroupListViewDragOver(drag->source())) {
            drag->setDropAction(Qt::CopyAction);
            drag->accept();
        } else {
            drag->ignore();
        }
        return true;
    }
    case QEvent::Drop: {
        auto* drop = static_cast<QDropEvent*>(event);
        if (!GroupListViewDragOver(drop->source())) {
            drop->ignore();
            return true;
        }
        drop->setDropAction(Qt::CopyAction);
        drop->accept();
        // The menu opens once the drag has finished.
        const QPoint position = drop->position().toPoint();
        QTimer::singleShot(0, this, [this, position] {
            mainWindow_.runGuarded([this, position] { GroupListViewDragDrop(position); });
        });
        return true;
    }
    default: return QObject::eventFilter(watched, event);
    }
}

// ----- recipients ---------------------------------------------------------------------------

void AddressBookController::NewRecipientActionExecute()
{
    const int group = selectedGroupOrError();
    if (group < 0)
        return;
    EditRecipientForm->clearFields();
    EditRecipientForm->prepareToShow();
    if (mainWindow_.ui().showModal(*EditRecipientForm) != mrOk)
        return;
    const RecipientRecord typed = EditRecipientForm->record();
    Project& project = mainWindow_.project();
    const std::size_t index = appendRecipient(project, typed, project.groups.at(static_cast<std::size_t>(group)).name);
    recipientModel_->addRow(index);
}

void AddressBookController::EditRecipientActionExecute()
{
    const std::vector<int> rows = selectedRows();
    if (rows.empty()) {
        showError(std::string(texts::kHaveNotSelectedRecipient));
        return;
    }
    Project& project = mainWindow_.project();
    const std::size_t index = recipientModel_->recordIndex(rows.front());
    EditRecipientForm->setRecord(project.recipients.at(index));
    EditRecipientForm->prepareToShow();
    if (mainWindow_.ui().showModal(*EditRecipientForm) != mrOk)
        return;
    const RecipientRecord edited = EditRecipientForm->record();
    updateRecipient(project, index, edited);
    recipientModel_->recordEdited(rows.front());
    RecipientListViewSelectItem();
}

void AddressBookController::DeleteRecipientActionExecute()
{
    const std::vector<int> rows = selectedRows();
    if (rows.empty()) {
        showError(std::string(texts::kHaveNotSelectedRecipient));
        return;
    }
    Project& project = mainWindow_.project();
    const std::string question =
        rows.size() == 1 ? texts::confirmDeleteRecipient(
                               project.recipients.at(recipientModel_->recordIndex(rows.front())).EMail.str())
                         : std::string(texts::kDeleteAllSelectedRecipients);
    if (!confirm(question))
        return;
    recipientModel_->removeRecords(rows);
    project.setChanged();
}

void AddressBookController::EnableRecipientActionExecute()
{
    const std::vector<int> rows = selectedRows();
    toggleEnabled(mainWindow_.project(), selectedRecords());
    recipientModel_->rowsChanged(rows);
}

void AddressBookController::SelectAllActionExecute()
{
    selectAllRecipients();
}

// ----- find ---------------------------------------------------------------------------------

void AddressBookController::FindRecipientActionExecute()
{
    FindForm->show();
    FindForm->raise();
    FindForm->activateWindow();
}

void AddressBookController::FindFormSearch(bool fromStart)
{
    const Project& project = mainWindow_.project();
    if (selectedGroup() < 0)
        FindForm->GlobalButton->setChecked(true);
    std::size_t from;
    if (fromStart) {
        from = 0;
        lastHit_.reset();
    } else {
        from = lastHit_ ? *lastHit_ + 1 : FindForm->searchPosition;
    }
    const std::string text = fromQt(FindForm->FindEdit->text());
    const SearchOptions options{FindForm->CaseSensitiveBox->isChecked(), FindForm->FindExactlyBox->isChecked()};
    std::string scope;
    const bool currentGroup = FindForm->CurrentGroupButton->isChecked();
    if (currentGroup)
        scope = project.groups.at(static_cast<std::size_t>(selectedGroup())).name;

    // A recipient whose group does not exist cannot be shown, so the search passes over it.
    const auto search = [&](std::size_t start) {
        std::optional<std::size_t> found;
        while ((found = findRecipient(project, start, text, options, currentGroup ? &scope : nullptr)) &&
               !findGroup(project, project.recipients[*found].Group.view()))
            start = *found + 1;
        return found;
    };
    // Past the last match the search wraps to the first; "not found" means no match at all.
    std::optional<std::size_t> hit = search(from);
    if (!hit && from > 0)
        hit = search(0);

    if (!hit) {
        FindForm->searchPosition = project.recipients.size();
        lastHit_.reset();
        mainWindow_.ui().messageBox(FindForm, toQt(texts::searchStringNotFound(text)),
                                    QString(texts::kInformationCaption.data()), MessageIcon::Information,
                                    MessageButtons::Ok);
        return;
    }
    FindForm->searchPosition = *hit;
    lastHit_ = *hit;

    const RecipientRecord& record = project.recipients[*hit];
    const int selected = selectedGroup();
    if (selected < 0 || project.groups[static_cast<std::size_t>(selected)].name != record.Group.view())
        selectGroupAndRefresh(static_cast<int>(*findGroup(project, record.Group.view())));
    // The hit replaces the selection, becomes the current row and is scrolled into view, so
    // that a following Delete or Send acts on the row the user sees.
    if (const auto row = recipientModel_->rows().firstRowWithEmail(project, record.EMail.view())) {
        const QModelIndex index = recipientModel_->index(static_cast<int>(*row), 0);
        RecipientListView->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect |
                                                                        QItemSelectionModel::Rows);
        RecipientListView->scrollTo(index);
    }
}

// ----- harvesting ---------------------------------------------------------------------------

void AddressBookController::FindInFilesActionExecute()
{
    UserInterface& ui = mainWindow_.ui();
    FindEMailForm->prepareToShow(selectedGroup());
    if (ui.showModal(*FindEMailForm) != mrOk)
        return;
    const QString fileName = FindEMailForm->FileNameEdit->text();
    const QFileInfo file(fileName);
    if (fileName.isEmpty() || !file.exists() || file.isDir()) {
        showError(std::string(texts::kFileIsNotExists));
        return;
    }
    // The addresses must go to a group that exists, or they would be shown nowhere.
    const int target = FindEMailForm->GroupComboBox->currentIndex();
    Project& project = mainWindow_.project();
    if (target < 0 || static_cast<std::size_t>(target) >= project.groups.size()) {
        showError(std::string(texts::kHaveNotSelectedGroup));
        return;
    }
    const std::string groupName = project.groups[static_cast<std::size_t>(target)].name;

    // The file is scanned while the dialog shows its animation; closing the dialog before the
    // scan is complete drops the scan, and a file that cannot be read ends the operation with
    // the reading error.
    EMailFoundedForm->startScan(QFile::encodeName(fileName).toStdString());
    for (;;) {
        const int result = ui.showModal(*EMailFoundedForm);
        EMailFoundedForm->hide();
        const bool scanned = EMailFoundedForm->finishScan();
        if (result != mrOk || !scanned)
            return;
        // Entries that are not valid or repeat an earlier one: offer to leave them out. Cancel
        // goes back to the list as it stands.
        const std::size_t marked = EMailFoundedForm->review().marked;
        if (marked == 0)
            break;
        const int answer =
            ui.messageBox(mainWindow_.dialogParent(), toQt(harvestRemoveMarkedQuestion(EMailFoundedForm->review())),
                          toQt(std::string(texts::kConfirmCaption)), MessageIcon::Question,
                          MessageButtons::YesNoCancel);
        if (answer == mrYes)
            EMailFoundedForm->removeMarkedEntries();
        if (answer != mrCancel)
            break;
    }
    appendHarvested(project, EMailFoundedForm->entries(), groupName);
    selectGroupAndRefresh(static_cast<int>(*findGroup(project, groupName)));
}

// ----- export -------------------------------------------------------------------------------

void AddressBookController::ExportToAHTMLActionExecute()
{
    const int group = selectedGroupOrError();
    if (group < 0)
        return;
    const Project& project = mainWindow_.project();
    const std::string page = htmlPage(project, project.groups.at(static_cast<std::size_t>(group)).name,
                                      recipientModel_->rows().recordIndices());
    FileDialogOptions options;
    options.filter = "HTML files|*.htm;*.html";
    options.defaultSuffix = "htm";
    const QString fileName = mainWindow_.ui().saveFileName(mainWindow_.dialogParent(), options);
    if (fileName.isEmpty())
        return;
    writeHtmlFile(QFile::encodeName(fileName).toStdString(), page);
    openWrittenFile(mainWindow_.ui(), mainWindow_.dialogParent(), fileName);
}

// ----- CSV import and export ---------------------------------------------------------------

void AddressBookController::ImportRecipientsActionExecute()
{
    Project& project = mainWindow_.project();
    const int selected = selectedGroup();
    const std::string group = selected >= 0            ? project.groups.at(static_cast<std::size_t>(selected)).name
                              : project.groups.empty() ? std::string(texts::kNewGroupDefaultName)
                                                       : project.groups.front().name;
    const std::size_t groupsBefore = project.groups.size();
    importRecipients(mainWindow_.ui(), project, *ImportForm, mainWindow_.dialogParent(), group,
                     [&](std::size_t target) {
                         if (project.groups.size() != groupsBefore) // the import made a new group
                             GroupListView->addTopLevelItem(groupRow(project.groups.back()));
                         selectGroupAndRefresh(static_cast<int>(target));
                     });
}

void AddressBookController::ExportRecipientsActionExecute()
{
    const Project& project = mainWindow_.project();
    const int selected = selectedGroup();
    exportRecipients(mainWindow_.ui(), project, mainWindow_.dialogParent(),
                     selected >= 0
                         ? std::optional<std::string>(project.groups.at(static_cast<std::size_t>(selected)).name)
                         : std::nullopt);
}

} // namespace quillet
