// The main window "Orv Quillet": owner of the one open project, of the action list, the menu bar,
// the four toolbars, the three pages with their lists, the status bar and the Program options
// dialog.
//
// How the subsystem windows use it
// --------------------------------
// The window creates its actions, menus, toolbars, status bar and its own dialogs, then the
// address book (AddressBookController) and the mailing windows (MailingController), giving each
// the Shell interface it implements (project, user interface, actions by ActionId, bindAction,
// runGuarded, showProgramOptions). Each subsystem page builds its own lists; the window only
// places the pages with their toolbars in its tabs, and tells them when the project's contents
// are about to be replaced and when they have been (close, open, new, default): between the two
// project() is being rebuilt. Nothing below this folder includes it.
#pragma once

#include "project/Project.h"
#include "widgets/Shell.h"
#include "widgets/UserInterface.h"

#include <QIcon>
#include <QList>
#include <QMainWindow>
#include <QString>

#include <exception>
#include <functional>
#include <map>
#include <memory>
#include <utility>
#include <vector>

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

class TOrvQuilletForm : public QMainWindow, public Shell {
    Q_OBJECT
public:
    explicit TOrvQuilletForm(UserInterface& ui, QWidget* parent = nullptr);
    ~TOrvQuilletForm() override;

    // Program start: runs the first-show steps (settings, Program options, the start-up dialog,
    // the template list) and shows the window in the stored state. A project file given (the
    // program's command line, a double-click on the file) opens instead of the start-up dialog.
    void start(const QString& projectFile = {});
    // Program end: writes the menu and toolbar layout file ("Unable to save settings" on failure).
    void programEnding();

    // The shell of the subsystem windows.
    Project& project() override { return project_; }
    UserInterface& ui() override { return ui_; }
    QWidget* dialogParent() override { return this; }
    // Raises std::logic_error for an id without an action, which cannot happen once the window
    // has been built (it refuses to start with an action missing).
    QAction* action(ActionId id) const override;
    void bindAction(ActionId id, std::function<void()> handler) override;
    void runGuarded(const std::function<void()>& work) override;
    int showProgramOptions(int page = -1) override;
    void showException(const std::exception& error, const QString& moreLines = {}) override;

    // Actions by object name, for the menu and toolbar layout file: nullptr for an unknown name.
    // actionList() is every action in list order.
    QAction* action(const QString& name) const;
    const QList<QAction*>& actionList() const { return actionList_; }

    // The pages and their lists.
    QTabWidget* mainPageControl() const { return MainPageControl; }
    AddressBookController& addressBook() const { return *addressBook_; }
    MailingController& mailing() const { return *mailing_; }
    QTreeWidget* groupListView() const;
    QTreeView* recipientListView() const;
    QTreeWidget* smtpList() const;
    QTreeWidget* templateListView() const;
    QSplitter* splitter() const;

    // Status bar panels 0 (project name), 1 (the recipient counts of the selected group), 2 (current
    // hint).
    QLabel* statusPanel(int index) const;

    // The Program options dialog; its edits are the settings in force.
    TPropertiesForm& propertiesForm() const { return *PropertiesForm; }

    // Lifecycle steps shared by the actions (CloseProject, LoadProjectFile, ...).
    ProjectLifecycle& lifecycle() const { return *lifecycle_; }
    // Menu bar and toolbars with their layout.
    ActionBars& actionBars() const { return *actionBars_; }
    TAboutForm& aboutForm() const { return *AboutForm; }

    // Sets status bar panel 0 to the project's Name and the title to "Orv Quillet:" + Name.
    void showProjectName();
    // No project open: the program's bare title and an empty panel 0.
    void showNoProject();
    // Width of the group list as it is stored ("GroupList").
    int groupListWidth() const;
    void setGroupListWidth(int width);

    // Used by the lifecycle around operations that empty or replace the project's contents.
    void beginProjectReplace();
    void endProjectReplace();

protected:
    void closeEvent(QCloseEvent* event) override;
    bool event(QEvent* event) override;

private:
    void createActions();
    void placePages();
    void createStatusBar();
    void bindOwnActions();
    void formShow(const QString& projectFile);
    void readSettings();
    void writeSettings();
    void customizeActionBars();
    // The lists whose column widths are kept in the settings, by their names.
    std::vector<std::pair<QString, QTreeView*>> keptColumnLists() const;
    // The "..." of the trusted-certificates file in Program options.
    void chooseTrustedCertificates();

    UserInterface& ui_;
    Project project_;
    QList<QAction*> actionList_;
    std::map<QString, QAction*> actionsByName_;
    QAction* actionsById_[kActionIdCount] = {};

    QTabWidget* MainPageControl = nullptr;
    QLabel* statusPanels_[3] = {};
    int pendingGroupListWidth_ = 265;
    int replaceDepth_ = 0;
    bool hintsInstalled_ = false;
    QString layoutFilePath_;

    TAboutForm* AboutForm = nullptr;
    TPropertiesForm* PropertiesForm = nullptr;
    CustomizeToolbarForm* CustomizeForm = nullptr;
    std::unique_ptr<ActionBars> actionBars_;
    std::unique_ptr<ProjectLifecycle> lifecycle_;
    std::unique_ptr<AddressBookController> addressBook_;
    std::unique_ptr<MailingController> mailing_;
};

} // namespace quillet
