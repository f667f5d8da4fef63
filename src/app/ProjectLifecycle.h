// The operations that open, create, save and close the main window's one project: the closing
// step with its save prompt, loading a file, New project, Open project, Save project, Save as,
// Create default, Open default, Project properties and the start-up dialog. It owns the dialogs
// these operations show. All of it runs on the user-interface thread.
#pragma once

#include <QObject>

#include <functional>
#include <string>

namespace quillet {

class TOrvQuilletForm;
class TOpenWizardForm;
class TNewProjectForm;
class TDefaultProjectMessageForm;
class TProjectPropertiesForm;

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
    // LoadProjectFile: reads the file into the (already closed) project.
    void loadProjectFile(const std::string& path);

    void newProject();
    void openProject();
    void saveProject();
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

    // True while the project path names the file that holds the open project (it was loaded or
    // saved there, or it is the default project being created). When the path only names the
    // last used project, Save project asks for a file instead of overwriting it.
    bool pathHoldsProject() const { return pathHoldsProject_; }

private:
    void bindStartupChoices();
    // Runs a start-up choice; the dialog closes with 1 unless the choice raised an error.
    void runStartupChoice(const std::function<void()>& choice);

    TOrvQuilletForm& form_;
    TOpenWizardForm* OpenWizardForm = nullptr;
    TNewProjectForm* NewProjectForm = nullptr;
    TDefaultProjectMessageForm* DefaultProjectMessageForm = nullptr;
    TProjectPropertiesForm* ProjectPropertiesForm = nullptr;
    bool pathHoldsProject_ = false;
};

} // namespace quillet
