// The operations that open, create, save and close the main window's one project: the closing
// step with its save prompt, loading a file, New project, Open project, Save project, Save as,
// Create default, Open default, Project properties and the start-up dialog. It owns the dialogs
// these operations show. All of it runs on the user-interface thread.
#pragma once

#include "project/ProjectLoading.h"

#include <QObject>

#include <functional>
#include <string>

namespace quillet {

class TOrvQuilletForm;
class TOpenWizardForm;
class TNewProjectForm;
class TDefaultProjectMessageForm;
class TProjectPropertiesForm;
class ProjectLoadingDialog;

class ProjectLifecycle : public QObject {
    Q_OBJECT
public:
    explicit ProjectLifecycle(TOrvQuilletForm& form);

    // Creates the dialogs in their start-up order (start-up, New project, default question) and,
    // with createLateDialogs(), the Project properties dialog.
    void createDialogs();
    void createLateDialogs();

    // CloseProject: asks to save a changed project; false when the user cancels.
    bool closeProject();
    // LoadProjectFile: reads the file into the (already closed) project. The file is read on a
    // worker thread; a load that lasts shows the progress window, whose Cancel leaves no
    // project. A project whose texts look like another code page's is opened with a warning,
    // and saving it asks first.
    void loadProjectFile(const std::string& path);
    // True while a project file is being read; cancelLoading asks that load to stop.
    bool loading() const { return watch_ != nullptr; }
    void cancelLoading();
    // How long a load runs before its progress window shows.
    int loadingDialogDelayMs = 300;

    void newProject();
    void openProject();
    // False when the user declined to save (the project's texts and the code page differ).
    bool saveProject();
    void saveAs();
    void createDefault();
    void openDefault();
    void projectProperties();
    // ShowStartupDialog: the start-up dialog, then Open default when it was left with "OK".
    void showStartupDialog();

    TOpenWizardForm& openWizardForm() const { return *OpenWizardForm; }
    TNewProjectForm& newProjectForm() const { return *NewProjectForm; }
    TDefaultProjectMessageForm& defaultProjectMessageForm() const { return *DefaultProjectMessageForm; }
    TProjectPropertiesForm& projectPropertiesForm() const { return *ProjectPropertiesForm; }
    ProjectLoadingDialog& loadingDialog() const { return *LoadingDialog; }

    // True while the project path names the file that holds the open project (it was loaded or
    // saved there, or it is the default project being created). When the path only names the
    // last used project, Save project asks for a file instead of overwriting it.
    bool pathHoldsProject() const { return pathHoldsProject_; }

private:
    // The first half of closing: asks to save a changed project; false when the user cancels.
    bool offerToSave();
    // The second half: the project's contents are dropped.
    void clearProject();
    LoadedProject loadOffTheWindowThread(const std::string& path);
    // Asks before a save when the project was opened with texts of another code page.
    bool confirmSaveUnderThisCodePage();
    void bindStartupChoices();
    // Runs a start-up choice; the dialog closes with 1 unless the choice raised an error.
    void runStartupChoice(const std::function<void()>& choice);

    TOrvQuilletForm& form_;
    TOpenWizardForm* OpenWizardForm = nullptr;
    TNewProjectForm* NewProjectForm = nullptr;
    TDefaultProjectMessageForm* DefaultProjectMessageForm = nullptr;
    TProjectPropertiesForm* ProjectPropertiesForm = nullptr;
    ProjectLoadingDialog* LoadingDialog = nullptr;
    bool pathHoldsProject_ = false;
    bool otherCodePageLoaded_ = false;
    LoadWatch* watch_ = nullptr;
    bool cancelled_ = false;
};

} // namespace quillet
