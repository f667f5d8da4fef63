// The main window "Orv Quillet": owner of the one open project, of the action list, the menu bar,
// the four toolbars, the three pages with their lists, the status bar and the Program options
// dialog.
//
// How the controllers use it
// --------------------------
// The window first creates its actions, menus, toolbars, pages, lists, status bar and its own
// dialogs, then constructs AddressBookController and MailingController, passing itself. A
// controller then:
//  - reaches the open project through project(): path, properties, groups, recipient records,
//    accounts. project() is the store; the lists mirror it. project().setChanged() sets the
//    changed flag, which is the enabled state of "Save project".
//  - finds every action by its name: action("EditGroupAction"), and binds its handler with
//    bindAction(action("EditGroupAction"), [this] { ... }). bindAction runs the handler inside the
//    program's error handling: an exception that escapes is shown in the "Orv Quillet" box with a
//    stop icon (what() is code-page text). Handlers test for a selection themselves, since
//    emptying a list does not disable its actions.
//  - shows every message box, dialog, file dialog, input box, pop-up menu and desktop "open"
//    through ui(), never directly, so tests can script them.
//  - uses the views: groupListView() (QTreeWidget, columns "Group name", "Description"; rows are
//    filled by refreshGroupList() from project().groups), recipientListView() (a QTreeView; the
//    address book installs its model with setRecipientModel()), smtpList() (QTreeWidget, eight
//    columns; refreshSmtpList() fills it from project().accounts), templateListView()
//    (QTreeWidget, "Message name", "Message Subject"), stateIcon(0..6) for their rows.
//  - listens to projectAboutToBeReplaced() / projectReplaced(): emitted around every operation
//    that empties or replaces the project's contents (close, open, new, default). Between the two,
//    project() is being rebuilt: a model over project().recipients must be reset in the first and
//    may be refilled in the second. After projectReplaced() no group is selected.
//  - listens to templateListRequested(): the last step of the start-up (fill the template list).
//  - opens the Program options dialog with showProgramOptions(page) and reads the settings in
//    force from propertiesForm() (its edits) at the moment they are needed.
//  - the mailing UI creates the mail server window and hands it over with setSMTPServerForm().
//  - drops onto the group list are the address book's: it enables them on groupListView() and
//    handles them (the window leaves drops off, so nothing lands there by accident).
#pragma once

#include "app/UserInterface.h"
#include "project/Project.h"

#include <QIcon>
#include <QList>
#include <QMainWindow>
#include <QString>

#include <exception>
#include <functional>
#include <map>
#include <memory>
#include <vector>

class QAbstractItemModel;
class QLabel;
class QMenu;
class QSplitter;
class QTabWidget;
class QToolBar;
class QTreeView;
class QTreeWidget;

namespace quillet {

class AddressBookController;
class MailingController;
class ActionBars;
class ProjectLifecycle;
class SettingsStore;
class CustomizeToolbarForm;
class TAboutForm;
class TPropertiesForm;

class TOrvQuilletForm : public QMainWindow {
    Q_OBJECT
public:
    explicit TOrvQuilletForm(UserInterface& ui, QWidget* parent = nullptr);
    ~TOrvQuilletForm() override;

    // Program start: runs the first-show steps (settings, Program options, the start-up dialog,
    // the template list) and shows the window in the stored state.
    void start();
    // Program end: writes the menu and toolbar layout file ("Unable to save settings" on failure).
    void programEnding();

    Project& project() { return project_; }
    UserInterface& ui() { return ui_; }

    // Actions by name ("SaveProjectAction", "EMailToGroupAction", "CustomizeActionBars", ...);
    // nullptr for an unknown name. actionList() is every action in list order.
    QAction* action(const QString& name) const;
    const QList<QAction*>& actionList() const { return actionList_; }
    // Runs the handler when the action is triggered, inside the program's error handling.
    void bindAction(QAction* action, std::function<void()> handler);
    // The program's error handling: runs the work and shows an escaping exception's text.
    void runGuarded(const std::function<void()>& work);
    void showException(const std::exception& error);

    // Pages and lists.
    QTabWidget* mainPageControl() const { return MainPageControl; }
    QTreeWidget* groupListView() const { return GroupListView; }
    QTreeView* recipientListView() const { return RecipientListView; }
    QTreeWidget* smtpList() const { return SMTPList; }
    QTreeWidget* templateListView() const { return TemplateListView; }
    QSplitter* splitter() const { return Splitter1; }
    // Installs the recipient rows' model and applies the column widths (100, rest, 100, 70).
    void setRecipientModel(QAbstractItemModel* model);
    // Rebuilds the rows of the group list / SMTP list from project().
    void refreshGroupList();
    void refreshSmtpList();
    // The seven 16 x 16 state icons: 0 group, 1 disabled recipient, 2 enabled recipient,
    // 3 disabled SMTP account, 4 enabled SMTP account, 5 note pad, 6 template.
    QIcon stateIcon(int index) const;
    // Pop-up menus by name: "GroupPopupAction", "RecipientPopupAction", "SMTPPopup", "TemplatePopup".
    QMenu* popupMenu(const QString& name) const;

    // Status bar panels 0 (project name), 1 (empty), 2 (current hint).
    QLabel* statusPanel(int index) const;

    // The Program options dialog; its edits are the settings in force.
    TPropertiesForm& propertiesForm() const { return *PropertiesForm; }
    // Shows it modally on a page (-1: the page it last showed); anything but OK reloads the
    // default mail server settings. Returns the modal result.
    int showProgramOptions(int page = -1);

    // The mail server status window, created and owned by the mailing UI.
    void setSMTPServerForm(QWidget* form) { smtpServerForm_ = form; }
    QWidget* smtpServerForm() const { return smtpServerForm_; }

    // Lifecycle steps shared by the actions (CloseProject, LoadProjectFile, ...).
    ProjectLifecycle& lifecycle() const { return *lifecycle_; }
    // Menu bar and toolbars with their layout.
    ActionBars& actionBars() const { return *actionBars_; }
    TAboutForm& aboutForm() const { return *AboutForm; }

    // Sets status bar panel 0 to the project's Name and the title to "Orv Quillet:" + Name.
    void showProjectName();
    // Width of the group list as it is stored ("GroupList").
    int groupListWidth() const;
    void setGroupListWidth(int width);

    // Used by the lifecycle around operations that empty or replace the project's contents.
    void beginProjectReplace();
    void endProjectReplace();

signals:
    void projectAboutToBeReplaced();
    void projectReplaced();
    void templateListRequested();

protected:
    void closeEvent(QCloseEvent* event) override;
    bool event(QEvent* event) override;

private:
    void createActions();
    void createPages();
    void createStatusBar();
    void createPopupMenus();
    void bindOwnActions();
    void formShow();
    void readSettings();
    void writeSettings();
    void customizeActionBars();
    void styleList(QTreeView* view, bool hotTracking);

    UserInterface& ui_;
    Project project_;
    QList<QAction*> actionList_;
    std::map<QString, QAction*> actionsByName_;
    std::map<QString, QMenu*> popupMenus_;
    QIcon stateIcons_[7];

    QTabWidget* MainPageControl = nullptr;
    QTreeWidget* GroupListView = nullptr;
    QTreeView* RecipientListView = nullptr;
    QTreeWidget* SMTPList = nullptr;
    QTreeWidget* TemplateListView = nullptr;
    QSplitter* Splitter1 = nullptr;
    QLabel* statusPanels_[3] = {};
    int pendingGroupListWidth_ = 265;
    int replaceDepth_ = 0;
    bool hintsInstalled_ = false;
    QString layoutFilePath_;

    TAboutForm* AboutForm = nullptr;
    TPropertiesForm* PropertiesForm = nullptr;
    CustomizeToolbarForm* CustomizeForm = nullptr;
    QWidget* smtpServerForm_ = nullptr;
    std::unique_ptr<ActionBars> actionBars_;
    std::unique_ptr<ProjectLifecycle> lifecycle_;
    std::unique_ptr<AddressBookController> addressBook_;
    std::unique_ptr<MailingController> mailing_;
};

} // namespace quillet
