#include "ProjectLifecycle.h"

#include "TOrvQuilletForm.h"

#include "project/CodePage.h"
#include "project/ProgramFolder.h"
#include "project/ProjectFileReader.h"
#include "project/ProjectLoading.h"
#include "project/ProjectFileWriter.h"
#include "project/forms/ProjectFormTexts.h"
#include "project/forms/ProjectLoadingDialog.h"
#include "project/forms/TDefaultProjectMessageForm.h"
#include "project/forms/TNewProjectForm.h"
#include "project/forms/TOpenWizardForm.h"
#include "project/forms/TProjectPropertiesForm.h"
#include "widgets/BusyCursor.h"
#include "widgets/TextBoundary.h"

#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QTimer>

#include <filesystem>
#include <optional>
#include <thread>

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

// The thread that reads a project file: joined on every path, asked to stop first when the
// window leaves before the load has ended.
class LoadingThread {
public:
    LoadingThread(LoadWatch& watch, std::function<void()> work) : watch_(watch), thread_(std::move(work)) {}
    ~LoadingThread()
    {
        if (!finished_)
            watch_.stopRequested = true;
        thread_.join();
    }
    LoadingThread(const LoadingThread&) = delete;
    LoadingThread& operator=(const LoadingThread&) = delete;
    void markFinished() { finished_ = true; }

private:
    LoadWatch& watch_;
    std::thread thread_;
    bool finished_ = false;
};

// How often the progress window is brought up to date while a project is read.
constexpr int kLoadingProgressIntervalMs = 100;

} // namespace

ProjectLifecycle::ProjectLifecycle(TOrvQuilletForm& form) : QObject(&form), form_(form) {}

void ProjectLifecycle::createDialogs()
{
    OpenWizardForm = new TOpenWizardForm(&form_);
    NewProjectForm = new TNewProjectForm(&form_);
    DefaultProjectMessageForm = new TDefaultProjectMessageForm(&form_);
    LoadingDialog = new ProjectLoadingDialog(&form_);
    LoadingDialog->onCancel = [this] { cancelLoading(); };
    bindStartupChoices();
}

void ProjectLifecycle::createLateDialogs()
{
    ProjectPropertiesForm = new TProjectPropertiesForm(&form_);
}

bool ProjectLifecycle::closeProject()
{
    if (!offerToSave())
        return false;
    clearProject();
    return true;
}

bool ProjectLifecycle::offerToSave()
{
    Project& project = form_.project();
    if (project.changed()) {
        const int answer = form_.ui().messageBox(&form_, texts::kSaveChangesPrompt, texts::kConfirmCaption,
                                                 MessageIcon::Question, MessageButtons::YesNoCancel);
        if (answer == mrYes) {
            // A save that fails or is declined keeps the project open: closing now would lose
            // the changes the user has just asked to keep. (A Save as whose file dialog is
            // cancelled goes on.)
            bool saved = true;
            form_.runGuarded([&] {
                saved = false;
                saved = saveProject();
            });
            if (!saved)
                return false;
        } else if (answer != mrNo) {
            return false;
        }
    }
    return true;
}

void ProjectLifecycle::clearProject()
{
    ReplaceScope scope(form_);
    form_.project().clearContents();
    pathHoldsProject_ = false;
    otherCodePageLoaded_ = false;
}

LoadedProject ProjectLifecycle::loadOffTheWindowThread(const std::string& path)
{
    LoadWatch watch;
    std::optional<LoadedProject> loaded;
    std::exception_ptr failure;
    std::atomic<bool> finished{false};
    QEventLoop loop;
    QTimer ticks;
    ticks.setInterval(kLoadingProgressIntervalMs);
    QObject::connect(&ticks, &QTimer::timeout, &loop, [&] {
        LoadingDialog->showProgress(watch.bytesRead, watch.fileBytes);
        if (finished)
            loop.quit();
    });
    watch_ = &watch;
    cancelled_ = false;
    {
        LoadingThread thread(watch, [&] {
            try {
                loaded.emplace(loadProjectFileWatched(path, watch));
            } catch (...) {
                failure = std::current_exception();
            }
            finished = true;
            QMetaObject::invokeMethod(
                &loop, [&loop] { loop.quit(); }, Qt::QueuedConnection);
        });
        // A quick load ends before anything shows; meanwhile the window repaints (the file
        // dialog that chose the file goes) but takes no input.
        QTimer::singleShot(loadingDialogDelayMs, &loop, [&loop] { loop.quit(); });
        if (!finished)
            loop.exec(QEventLoop::ExcludeUserInputEvents);
        if (!finished) {
            LoadingDialog->prepare(QFileInfo(QFile::decodeName(path.c_str())).fileName());
            LoadingDialog->show();
            ticks.start();
            loop.exec();
            ticks.stop();
            LoadingDialog->hide();
        }
        thread.markFinished();
    }
    watch_ = nullptr;
    if (cancelled_)
        throw ProjectLoadStopped();
    if (failure)
        std::rethrow_exception(failure);
    return std::move(*loaded);
}

void ProjectLifecycle::cancelLoading()
{
    if (!watch_)
        return;
    cancelled_ = true;
    watch_->stopRequested = true;
}

void ProjectLifecycle::loadProjectFile(const std::string& path)
{
    Project& project = form_.project();
    ReplaceScope scope(form_);
    pathHoldsProject_ = false;
    otherCodePageLoaded_ = false;
    LoadedProject loaded;
    try {
        project.path = path;
        loaded = loadOffTheWindowThread(path);
    } catch (const ProjectLoadStopped&) {
        // Cancelled: no project, and the window says so.
        project.clearContents();
        project.properties = ProjectProperties{};
        form_.showNoProject();
        return;
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
    project.properties = loaded.project.properties;
    project.groups = std::move(loaded.project.groups);
    project.recipients = std::move(loaded.project.recipients);
    project.accounts = std::move(loaded.project.accounts);
    project.setChanged(false);
    pathHoldsProject_ = true;
    form_.showProjectName();
    if (loaded.looksLikeOtherCodePage) {
        otherCodePageLoaded_ = true;
        form_.ui().messageBox(&form_,
                              QString(texts::kOtherCodePageOpened)
                                  .arg(QFile::decodeName(QByteArray::fromStdString(std::string(fileNamePart(path)))),
                                       QString::fromLatin1(registeredCharsetName(codePageName()))),
                              texts::kOtherCodePageCaption, MessageIcon::Warning, MessageButtons::Ok);
    }
}

bool ProjectLifecycle::confirmSaveUnderThisCodePage()
{
    if (!otherCodePageLoaded_)
        return true;
    const QString question =
        QString(texts::kOtherCodePageSave).arg(QString::fromLatin1(registeredCharsetName(codePageName())));
    if (form_.ui().messageBox(&form_, question, texts::kOtherCodePageCaption, MessageIcon::Warning,
                              MessageButtons::YesNo) != mrYes)
        return false;
    otherCodePageLoaded_ = false;
    return true;
}

// New project and Open project close the open project only once the user has chosen what
// replaces it: Cancel in their dialogs leaves the open project as it was.
void ProjectLifecycle::newProject()
{
    if (!offerToSave())
        return;
    NewProjectForm->AutorWEBEdit->setText(texts::kNewProjectWeb);
    NewProjectForm->AutorEmailEdit->setText(texts::kPlaceholderEmail);
    if (form_.ui().showModal(*NewProjectForm) != mrOk)
        return;
    clearProject();
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
    if (!offerToSave())
        return;
    const QString chosen = form_.ui().openFileName(&form_, projectFileDialog(texts::kOpenDialogTitle));
    if (chosen.isEmpty())
        return;
    clearProject();
    loadProjectFile(localPath(chosen));
}

bool ProjectLifecycle::saveProject()
{
    if (!confirmSaveUnderThisCodePage())
        return false;
    Project& project = form_.project();
    if (project.path.empty() || !pathHoldsProject_) {
        saveAs();
        return true;
    }
    {
        const BusyCursor busy;
        saveProjectFile(project, project.path);
    }
    pathHoldsProject_ = true;
    form_.showProjectName();
    project.setChanged(false);
    return true;
}

void ProjectLifecycle::saveAs()
{
    if (!confirmSaveUnderThisCodePage())
        return;
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
