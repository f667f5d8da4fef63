#include "ProjectLifecycle.h"

#include "TOrvQuilletForm.h"

#include "project/ProgramFolder.h"
#include "project/ProjectFileReader.h"
#include "project/ProjectFileWriter.h"
#include "project/forms/ProjectFormTexts.h"
#include "project/forms/TDefaultProjectMessageForm.h"
#include "project/forms/TNewProjectForm.h"
#include "project/forms/TOpenWizardForm.h"
#include "project/forms/TProjectPropertiesForm.h"
#include "widgets/BusyCursor.h"
#include "widgets/TextBoundary.h"

#include <QFile>
#include <QFileInfo>
#include <QLineEdit>

#include <filesystem>

namespace quillet {

namespace {

// A file-system path chosen in a dialog, as the core keeps it (the local 8-bit encoding).
std::string localPath(const QString& path)
{
    return QFile::encodeName(path).toStdString();
}

bool fileExists(const std::string& path)
{
    std::error_code error;
    return !path.empty() && std::filesystem::is_regular_file(path, error);
}

FileDialogOptions projectFileDialog(const char* title)
{
    return {QString::fromLatin1(title),
            QString::fromLatin1(texts::kProjectFilter),
            QString::fromLatin1(texts::kProjectSuffix),
            {}};
}

// Keeps the window's lists and models in step while the project's contents are replaced.
class ReplaceScope {
public:
    explicit ReplaceScope(TOrvQuilletForm& form) : form_(form) { form_.beginProjectReplace(); }
    ~ReplaceScope() { form_.endProjectReplace(); }
    ReplaceScope(const ReplaceScope&) = delete;
    ReplaceScope& operator=(const ReplaceScope&) = delete;

private:
    TOrvQuilletForm& form_;
};

} // namespace

ProjectLifecycle::ProjectLifecycle(TOrvQuilletForm& form) : QObject(&form), form_(form) {}

void ProjectLifecycle::createDialogs()
{
    OpenWizardForm = new TOpenWizardForm(&form_);
    NewProjectForm = new TNewProjectForm(&form_);
    DefaultProjectMessageForm = new TDefaultProjectMessageForm(&form_);
    bindStartupChoices();
}

void ProjectLifecycle::createLateDialogs()
{
    ProjectPropertiesForm = new TProjectPropertiesForm(&form_);
}

bool ProjectLifecycle::closeProject()
{
    Project& project = form_.project();
    if (project.changed()) {
        const int answer = form_.ui().messageBox(&form_, texts::kSaveChangesPrompt, texts::kConfirmCaption,
                                                 MessageIcon::Question, MessageButtons::YesNoCancel);
        if (answer == mrYes) {
            // A save that fails keeps the project open: closing now would lose the changes the
            // user has just asked to keep. (A Save as whose file dialog is cancelled goes on.)
            bool saved = true;
            form_.runGuarded([&] {
                saved = false;
                saveProject();
                saved = true;
            });
            if (!saved)
                return false;
        } else if (answer != mrNo) {
            return false;
        }
    }
    ReplaceScope scope(form_);
    project.clearContents();
    pathHoldsProject_ = false;
    return true;
}

void ProjectLifecycle::loadProjectFile(const std::string& path)
{
    Project& project = form_.project();
    ReplaceScope scope(form_);
    pathHoldsProject_ = false;
    try {
        const BusyCursor busy;
        loadProjectFileInto(project, path);
    } catch (const ProjectFileError& error) {
        // The project stays empty, named after the file; the title is left as it was.
        try {
            project.properties.Name.set(fromQt(QFileInfo(QFile::decodeName(path.c_str())).fileName()));
        } catch (const UnrepresentableText&) {
        }
        if (error.kind() == ProjectFileError::Kind::NotProjectFile) {
            form_.ui().messageBox(&form_, error.what(), texts::kErrorCaption, MessageIcon::Information,
                                  MessageButtons::Ok);
            return;
        }
        throw;
    }
    pathHoldsProject_ = true;
    form_.showProjectName();
}

void ProjectLifecycle::newProject()
{
    if (!closeProject())
        return;
    NewProjectForm->AutorWEBEdit->setText(texts::kNewProjectWeb);
    NewProjectForm->AutorEmailEdit->setText(texts::kPlaceholderEmail);
    if (form_.ui().showModal(*NewProjectForm) != mrOk)
        return;
    ProjectProperties properties;
    NewProjectForm->store(properties);
    Project& project = form_.project();
    ReplaceScope scope(form_);
    project.groups.push_back({properties.Name.str(), {}});
    project.properties = properties;
    project.path.clear();
    pathHoldsProject_ = false;
    form_.showProjectName();
    project.setChanged();
}

void ProjectLifecycle::openProject()
{
    if (!closeProject())
        return;
    const QString chosen = form_.ui().openFileName(&form_, projectFileDialog(texts::kOpenDialogTitle));
    if (!chosen.isEmpty())
        loadProjectFile(localPath(chosen));
}

void ProjectLifecycle::saveProject()
{
    Project& project = form_.project();
    if (project.path.empty() || !pathHoldsProject_) {
        saveAs();
        return;
    }
    {
        const BusyCursor busy;
        saveProjectFile(project, project.path);
    }
    pathHoldsProject_ = true;
    form_.showProjectName();
    project.setChanged(false);
}

void ProjectLifecycle::saveAs()
{
    const QString chosen = form_.ui().saveFileName(&form_, projectFileDialog(texts::kSaveDialogTitle));
    if (chosen.isEmpty())
        return;
    // The project takes the file's name, extension included.
    const std::string name = fromQt(QFileInfo(chosen).fileName());
    Project& project = form_.project();
    project.path = localPath(chosen);
    project.properties.Name.set(name);
    pathHoldsProject_ = true;
    saveProject();
}

void ProjectLifecycle::createDefault()
{
    if (!closeProject())
        return;
    const std::string path = defaultProjectPath();
    if (fileExists(path) && form_.ui().showModal(*DefaultProjectMessageForm) == mrOk) {
        openDefault();
        return;
    }
    Project& project = form_.project();
    ReplaceScope scope(form_);
    project.groups.push_back({texts::kDefaultGroupName, texts::kDefaultGroupDescription});
    project.path = path;
    project.properties = ProjectProperties{};
    project.properties.Name.set(texts::kDefaultProjectName);
    project.properties.Description.set(texts::kDefaultProjectDescription);
    // Saving replaces the old default file: the user chose this path by creating the default.
    pathHoldsProject_ = true;
    form_.showProjectName();
    project.setChanged();
}

void ProjectLifecycle::openDefault()
{
    if (!closeProject())
        return;
    const std::string path = defaultProjectPath();
    if (fileExists(path))
        loadProjectFile(path);
    else
        createDefault();
}

void ProjectLifecycle::projectProperties()
{
    Project& project = form_.project();
    ProjectPropertiesForm->fill(project.properties);
    if (form_.ui().showModal(*ProjectPropertiesForm) != mrOk)
        return;
    ProjectPropertiesForm->store(project.properties);
    project.setChanged();
}

void ProjectLifecycle::showStartupDialog()
{
    closeProject();
    OpenWizardForm->setLastProjectEnabled(!form_.project().path.empty());
    if (form_.ui().showModal(*OpenWizardForm) != mrOk)
        form_.runGuarded([this] { openDefault(); });
}

void ProjectLifecycle::runStartupChoice(const std::function<void()>& choice)
{
    bool done = false;
    form_.runGuarded([&] {
        choice();
        done = true;
    });
    if (done)
        OpenWizardForm->done(mrOk);
}

void ProjectLifecycle::bindStartupChoices()
{
    connect(OpenWizardForm, &TOpenWizardForm::openLastChosen, this, [this] {
        const std::string path = form_.project().path;
        if (!fileExists(path)) {
            form_.ui().messageBox(OpenWizardForm, texts::kLastProjectMissing, texts::kErrorCaption,
                                  MessageIcon::Information, MessageButtons::Ok);
            return;
        }
        runStartupChoice([this, path] { loadProjectFile(path); });
    });
    connect(OpenWizardForm, &TOpenWizardForm::createDefaultChosen, this,
            [this] { runStartupChoice([this] { createDefault(); }); });
    connect(OpenWizardForm, &TOpenWizardForm::createNewChosen, this,
            [this] { runStartupChoice([this] { newProject(); }); });
    connect(OpenWizardForm, &TOpenWizardForm::openDefaultChosen, this,
            [this] { runStartupChoice([this] { openDefault(); }); });
    connect(OpenWizardForm, &TOpenWizardForm::openExistingChosen, this,
            [this] { runStartupChoice([this] { openProject(); }); });
}

} // namespace quillet
