#include "AddressBookController.h"

#include "RecipientListModel.h"
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
#include "app/TOrvQuilletForm.h"
#include "app/TextBoundary.h"

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
#include <QTimer>
#include <QTreeView>
#include <QTreeWidget>

#include <algorithm>

namespace quillet {

namespace {

constexpr const char* kGroupActions[] = {"EditGroupAction",   "DeleteGroupAction",  "NewRecipientAction",
                                         "SelectAllAction",   "EMailToGroupAction", "ExportToAHTMLAction"};
constexpr const char* kRecipientActions[] = {"EditRecipientAction",  "DeleteRecipientAction", "EnableRecipientAction",
                                             "EMailToCurrentAction", "CopyToGroupAction",     "MoveToGroupAction"};

} // namespace

AddressBookController::AddressBookController(TOrvQuilletForm& mainWindow)
    : QObject(&mainWindow), mainWindow_(mainWindow)
{
    // A child of the main window so that tests can find it; the window deletes it first.
    setObjectName("AddressBookController");
    recipientModel_ = new RecipientListModel(
        mainWindow_.project(), [this](bool enabled) { return mainWindow_.stateIcon(enabled ? 2 : 1); }, this);
    mainWindow_.setRecipientModel(recipientModel_);

    UserInterface& ui = mainWindow_.ui();
    EditGroupParamsForm = new TEditGroupParamsForm(&mainWindow_);
    EditRecipientForm = new TEditRecipientForm(ui, &mainWindow_);
    SelectGroupForm = new TSelectGroupForm(&mainWindow_);
    FindForm = new TFindForm(&mainWindow_);
    FindEMailForm = new TFindEMailForm(ui, mainWindow_.project(), &mainWindow_);
    EMailFoundedForm = new TEMailFoundedForm(ui, &mainWindow_);
    FindForm->onSearch = [this](bool fromStart) { mainWindow_.runGuarded([&] { FindFormSearch(fromStart); }); };
    FindEMailForm->onNewGroup = [this] { mainWindow_.runGuarded([this] { NewRecipientGroupActionExecute(); }); };

    DragPopupMenu = new QMenu(&mainWindow_);
    DragPopupMenu->setObjectName("DragPopupMenu");
    Copy1 = DragPopupMenu->addAction("Copy recipient");
    Copy1->setObjectName("Copy1");
    Move1 = DragPopupMenu->addAction("Move recipient");
    Move1->setObjectName("Move1");
    DragPopupMenu->addSeparator();
    Cancel1 = DragPopupMenu->addAction("Cancel");
    Cancel1->setObjectName("Cancel1");

    const auto bind = [this](const char* name, void (AddressBookController::*handler)()) {
        if (QAction* action = mainWindow_.action(name))
            mainWindow_.bindAction(action, [this, handler] { (this->*handler)(); });
    };
    bind("NewRecipientGroupAction", &AddressBookController::NewRecipientGroupActionExecute);
    bind("EditGroupAction", &AddressBookController::EditGroupActionExecute);
    bind("DeleteGroupAction", &AddressBookController::DeleteGroupActionExecute);
    bind("MoveToGroupAction", &AddressBookController::MoveToGroupActionExecute);
    bind("CopyToGroupAction", &AddressBookController::CopyToGroupActionExecute);
    bind("NewRecipientAction", &AddressBookController::NewRecipientActionExecute);
    bind("EditRecipientAction", &AddressBookController::EditRecipientActionExecute);
    bind("DeleteRecipientAction", &AddressBookController::DeleteRecipientActionExecute);
    bind("EnableRecipientAction", &AddressBookController::EnableRecipientActionExecute);
    bind("SelectAllAction", &AddressBookController::SelectAllActionExecute);
    bind("FindRecipientAction", &AddressBookController::FindRecipientActionExecute);
    bind("FindInFilesAction", &AddressBookController::FindInFilesActionExecute);
    bind("ExportToAHTMLAction", &AddressBookController::ExportToAHTMLActionExecute);

    QTreeWidget* groups = mainWindow_.groupListView();
    connect(groups, &QTreeWidget::itemSelectionChanged, this,
            [this] { mainWindow_.runGuarded([this] { GroupListViewSelectItem(); }); });
    connect(mainWindow_.recipientListView()->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this] { RecipientListViewSelectItem(); });
    // The Find window's position survives a change of project; the rows do not.
    connect(&mainWindow_, &TOrvQuilletForm::projectAboutToBeReplaced, this, [this] { recipientModel_->clear(); });

    // Recipient rows dropped on a group.
    groups->setAcceptDrops(true);
    groups->viewport()->setAcceptDrops(true);
    groups->viewport()->installEventFilter(this);
}

AddressBookController::~AddressBookController() = default;

// ----- selections ---------------------------------------------------------------------------

int AddressBookController::selectedGroup() const
{
    QTreeWidget* groups = mainWindow_.groupListView();
    const auto selected = groups->selectedItems();
    return selected.isEmpty() ? -1 : groups->indexOfTopLevelItem(selected.first());
}

std::vector<int> AddressBookController::selectedRows() const
{
    std::vector<int> rows;
    const QItemSelectionModel* selection = mainWindow_.recipientListView()->selectionModel();
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

void AddressBookController::enable(const char* actionName, bool enabled)
{
    if (QAction* action = mainWindow_.action(actionName))
        action->setEnabled(enabled);
}

void AddressBookController::GroupListViewSelectItem()
{
    recipientModel_->clear();
    const int group = selectedGroup();
    for (const char* name : kGroupActions)
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

void AddressBookController::RecipientListViewSelectItem()
{
    const std::vector<int> rows = selectedRows();
    for (const char* name : kRecipientActions)
        enable(name, !rows.empty());
    if (rows.empty())
        return;
    const std::size_t record = recipientModel_->recordIndex(rows.front());
    if (QAction* action = mainWindow_.action("EnableRecipientAction"))
        action->setChecked(mainWindow_.project().recipients.at(record).enabled());
}

void AddressBookController::selectGroupAndRefresh(int group)
{
    QTreeWidget* groups = mainWindow_.groupListView();
    QTreeWidgetItem* item = groups->topLevelItem(group);
    if (!item)
        return;
    if (selectedGroup() == group) {
        showRecipientsOfSelectedGroup();
        return;
    }
    groups->setCurrentItem(item);  // the selection change shows the group's rows
    if (selectedGroup() != group) {
        groups->clearSelection();
        item->setSelected(true);
    }
}

// ----- messages -----------------------------------------------------------------------------

void AddressBookController::showError(const std::string& text)
{
    mainWindow_.ui().messageBox(&mainWindow_, toQt(text), QString(texts::kErrorCaption.data()),
                                MessageIcon::Information, MessageButtons::Ok);
}

bool AddressBookController::confirm(const std::string& text)
{
    return mainWindow_.ui().messageBox(&mainWindow_, toQt(text), QString(texts::kWarningCaption.data()),
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
    const GroupEntry& entry = project.groups.back();
    auto* row = new QTreeWidgetItem({toQt(entry.name), toQt(entry.description)});
    row->setIcon(0, mainWindow_.stateIcon(0));
    mainWindow_.groupListView()->addTopLevelItem(row);
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
    QTreeWidgetItem* row = mainWindow_.groupListView()->topLevelItem(group);
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
    QTreeWidget* groups = mainWindow_.groupListView();
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
        records.clear();  // no group shown, so no rows: nothing to copy
    copyRecipients(project, records, sourceName, project.groups.at(static_cast<std::size_t>(group)).name);
    showRecipientsOfSelectedGroup();
}

int AddressBookController::chooseTargetGroup()
{
    SelectGroupForm->copyGroupsFrom(*mainWindow_.groupListView());
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
    return source && source == mainWindow_.recipientListView();
}

void AddressBookController::GroupListViewDragDrop(const QPoint& viewportPosition)
{
    QTreeWidget* groups = mainWindow_.groupListView();
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
    if (watched != mainWindow_.groupListView()->viewport())
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
    default:
        return QObject::eventFilter(watched, event);
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
        rows.size() == 1
            ? texts::confirmDeleteRecipient(project.recipients.at(recipientModel_->recordIndex(rows.front())).EMail.str())
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
    mainWindow_.recipientListView()->selectAll();
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
    std::optional<std::size_t> hit;
    while ((hit = findRecipient(project, from, text, options, currentGroup ? &scope : nullptr)) &&
           !findGroup(project, project.recipients[*hit].Group.view()))
        from = *hit + 1;

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
    if (const auto row = recipientModel_->rows().firstRowWithEmail(project, record.EMail.view())) {
        QItemSelectionModel* selection = mainWindow_.recipientListView()->selectionModel();
        selection->select(recipientModel_->index(static_cast<int>(*row), 0),
                          QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
}

// ----- harvesting ---------------------------------------------------------------------------

void AddressBookController::FindInFilesActionExecute()
{
    UserInterface& ui = mainWindow_.ui();
    FindEMailForm->prepareToShow();
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
    const int result = ui.showModal(*EMailFoundedForm);
    EMailFoundedForm->hide();
    const bool scanned = EMailFoundedForm->finishScan();
    if (result != mrOk || !scanned)
        return;
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
    const std::string page =
        htmlPage(project, project.groups.at(static_cast<std::size_t>(group)).name, recipientModel_->rows().recordIndices());
    FileDialogOptions options;
    options.filter = "HTML files|*.htm;*.html";
    options.defaultSuffix = "htm";
    const QString fileName = mainWindow_.ui().saveFileName(&mainWindow_, options);
    if (fileName.isEmpty())
        return;
    writeHtmlFile(QFile::encodeName(fileName).toStdString(), page);
    mainWindow_.ui().openWithDesktop(fileName);
}

} // namespace quillet
