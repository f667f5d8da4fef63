// Opening, creating, saving and closing projects from the main window, and the start-up dialog.
#include "AppTestEnvironment.h"

#include "app/ProjectLifecycle.h"

#include "project/CodePage.h"
#include "project/ProjectFileReader.h"
#include "project/ProjectFileWriter.h"
#include "project/forms/ProjectLoadingDialog.h"
#include "widgets/ClickLabel.h"
#include "project/forms/TNewProjectForm.h"
#include "project/forms/TOpenWizardForm.h"
#include "project/forms/TProjectPropertiesForm.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace quillet;
using namespace quillet::test;

namespace {

// A start-up dialog script that clicks one of its choices.
std::function<int(QDialog&)> choose(QPushButton* TOpenWizardForm::*button)
{
    return [button](QDialog& dialog) {
        (static_cast<TOpenWizardForm&>(dialog).*button)->click();
        return dialog.result() == mrOk ? int(mrOk) : int(mrCancel);
    };
}

void rememberLastProject(const QString& path)
{
    QSettings settings("Orv", "Quillet");
    settings.setValue("Option/Project Name", path);
}

} // namespace

class LifecycleTests : public QObject {
    Q_OBJECT
private slots:
    void openLastUsedProjectLoadsIt()
    {
        FreshProgram program;
        writeProject(program.localPath("work.oqf"), "Work project", {"Friends", "Clients"});
        rememberLastProject(program.path("work.oqf"));
        ProgramRun run;
        run.ui.dialogScripts.push_back(choose(&TOpenWizardForm::OpenLastButton));
        run.start();
        QCOMPARE(run.form->windowTitle(), QString("Orv Quillet:Work project"));
        QCOMPARE(run.form->groupListView()->topLevelItemCount(), 2);
        QCOMPARE(run.form->groupListView()->topLevelItem(1)->text(0), QString("Clients"));
        QVERIFY(!run.form->action("SaveProjectAction")->isEnabled());
        QVERIFY(run.close());
    }

    void missingLastProjectKeepsTheDialogOpen()
    {
        FreshProgram program;
        rememberLastProject(program.path("gone.oqf"));
        ProgramRun run;
        bool stayedOpen = false;
        run.ui.dialogScripts.push_back([&](QDialog& dialog) {
            auto& wizard = static_cast<TOpenWizardForm&>(dialog);
            if (!wizard.LastProjectLabel->isEnabled())
                return int(mrCancel);
            wizard.OpenLastButton->click();
            stayedOpen = dialog.result() != mrOk;
            wizard.OKButton->click();
            return int(mrCancel);
        });
        run.start();
        QVERIFY(stayedOpen);
        const auto messages = run.ui.messages();
        QCOMPARE(messages.size(), std::size_t(1));
        QCOMPARE(messages[0].text, QString("Last used project is not exist"));
        QCOMPARE(messages[0].caption, QString("Error"));
        QCOMPARE(messages[0].icon, MessageIcon::Information);
        // "OK" then created the default project.
        QCOMPARE(run.form->windowTitle(), QString("Orv Quillet:default.oqf"));
        run.close();
    }

    void okInTheStartupDialogOpensTheDefaultProject()
    {
        FreshProgram program;
        writeProject(program.localPath("default.oqf"), "My default", {"Everyone"});
        ProgramRun run;
        run.ui.dialogScripts.push_back([](QDialog& dialog) {
            static_cast<TOpenWizardForm&>(dialog).OKButton->click();
            return int(mrCancel);
        });
        run.start();
        QCOMPARE(run.form->windowTitle(), QString("Orv Quillet:My default"));
        QCOMPARE(run.form->project().groups.size(), std::size_t(1));
        QVERIFY(!run.form->project().changed());
        QVERIFY(run.close());
    }

    void startupChoicesCloseTheDialogAlsoWhenTheirOwnDialogIsCancelled()
    {
        FreshProgram program;
        writeProject(program.localPath("default.oqf"), "Not wanted", {"Default"});
        for (auto button : {&TOpenWizardForm::CreateNewButton, &TOpenWizardForm::OpenExistingButton}) {
            ProgramRun run;
            run.ui.dialogScripts.push_back(choose(button));
            run.start();
            // No project: the default project was not opened after the choice.
            QCOMPARE(run.form->windowTitle(), QString("Orv Quillet"));
            QVERIFY(run.form->project().groups.empty());
            QVERIFY(!run.form->project().changed());
            QVERIFY(run.close());
        }
    }

    void newProjectThenSaveAsksForAFileAndLeavesThePreviousOneAlone()
    {
        FreshProgram program;
        writeProject(program.localPath("old.oqf"), "Old", {"Old group"});
        const QByteArray before = fileBytes(program.path("old.oqf"));
        rememberLastProject(program.path("old.oqf"));
        ProgramRun run;
        run.ui.dialogScripts.push_back(choose(&TOpenWizardForm::OpenLastButton));
        run.start();

        bool webPrefilled = false;
        run.ui.dialogScripts.push_back([&](QDialog& dialog) {
            auto& form = static_cast<TNewProjectForm&>(dialog);
            webPrefilled = form.AutorWEBEdit->text() == "http://" && !form.AutorEmailEdit->text().isEmpty();
            form.NameEdit->setText("Fresh");
            form.DescriptionEdit->setText("A new one");
            return int(mrOk);
        });
        run.form->action("NewProjectAction")->trigger();
        QVERIFY(webPrefilled);
        QCOMPARE(run.form->windowTitle(), QString("Orv Quillet:Fresh"));
        QCOMPARE(run.form->statusPanel(0)->text(), QString("Fresh"));
        QCOMPARE(run.form->groupListView()->topLevelItem(0)->text(0), QString("Fresh"));
        QVERIFY(run.form->project().path.empty());
        QVERIFY(run.form->action("SaveProjectAction")->isEnabled());

        run.ui.fileAnswers.push_back(program.path("fresh.oqf"));
        run.form->action("SaveProjectAction")->trigger();
        QCOMPARE(run.ui.prompts.back().kind, QString("save"));
        QCOMPARE(run.ui.prompts.back().caption, QString("Saving Orv Quillet project"));
        QCOMPARE(run.ui.prompts.back().text, QString("Orv Quillet Files|*.oqf"));
        QCOMPARE(fileBytes(program.path("old.oqf")), before);
        QCOMPARE(fileBytes(program.path("fresh.oqf")).size(), 1304 + 512);
        QVERIFY(!run.form->action("SaveProjectAction")->isEnabled());
        QVERIFY(run.close());
    }

    void saveAsRenamesTheProjectAfterTheFile()
    {
        FreshProgram program;
        ProgramRun run;
        run.start();
        run.ui.fileAnswers.push_back(program.path("Mail list.oqf"));
        run.form->action("SaveAsAction")->trigger();
        QCOMPARE(run.form->windowTitle(), QString("Orv Quillet:Mail list.oqf"));
        QCOMPARE(run.form->statusPanel(0)->text(), QString("Mail list.oqf"));
        const Project saved = loadProjectFile(program.localPath("Mail list.oqf"));
        QCOMPARE(QString::fromStdString(saved.properties.Name.str()), QString("Mail list.oqf"));
        QCOMPARE(saved.groups.size(), std::size_t(1));
        // The default project was not written: Save as chose another file.
        QVERIFY(!QFile::exists(program.path("default.oqf")));

        // A cancelled Save as changes nothing.
        run.ui.fileAnswers.push_back(QString());
        run.form->action("SaveAsAction")->trigger();
        QCOMPARE(run.form->windowTitle(), QString("Orv Quillet:Mail list.oqf"));
        QVERIFY(run.close());
    }

    void cancelInNewOrOpenKeepsTheOpenProject()
    {
        FreshProgram program;
        writeProject(program.localPath("work.oqf"), "Work project", {"Friends", "Clients"});
        rememberLastProject(program.path("work.oqf"));
        ProgramRun run;
        run.ui.dialogScripts.push_back(choose(&TOpenWizardForm::OpenLastButton));
        run.start();
        run.ui.dialogScripts.push_back([](QDialog&) { return int(mrCancel); });
        run.form->action("NewProjectAction")->trigger();
        run.ui.fileAnswers.push_back(QString());
        run.form->action("OpenProjectAction")->trigger();
        QCOMPARE(run.form->windowTitle(), QString("Orv Quillet:Work project"));
        QCOMPARE(run.form->project().groups.size(), std::size_t(2));
        QCOMPARE(run.form->groupListView()->topLevelItemCount(), 2);
        QVERIFY(run.close());
    }

    void openingAnotherProjectLeavesNoSelectionActionEnabled()
    {
        FreshProgram program;
        Project first;
        first.properties.Name.set("First");
        first.groups.push_back({"Friends", ""});
        first.recipients.resize(1);
        first.recipients[0].EMail.set("ann@example.org");
        first.recipients[0].Group.set("Friends");
        first.accounts.resize(1);
        first.accounts[0].host = "mail.example.org";
        saveProjectFile(first, program.localPath("first.oqf"));
        writeProject(program.localPath("second.oqf"), "Second", {"Other"});
        ProgramRun run;
        run.start();
        run.ui.messageAnswers.push_back(mrNo);
        run.ui.fileAnswers.push_back(program.path("first.oqf"));
        run.form->action("OpenProjectAction")->trigger();
        run.form->groupListView()->setCurrentItem(run.form->groupListView()->topLevelItem(0));
        run.form->recipientListView()->selectAll();
        run.form->smtpList()->setCurrentItem(run.form->smtpList()->topLevelItem(0));
        const char* selectionActions[] = {"EditGroupAction", "EditRecipientAction", "DeleteRecipientAction",
                                          "EditSMTPAction"};
        for (const char* name : selectionActions)
            QVERIFY2(run.form->action(name)->isEnabled(), name);

        run.ui.fileAnswers.push_back(program.path("second.oqf"));
        run.form->action("OpenProjectAction")->trigger();
        QCOMPARE(run.form->windowTitle(), QString("Orv Quillet:Second"));
        for (const char* name : selectionActions)
            QVERIFY2(!run.form->action(name)->isEnabled(), name);
        QVERIFY(run.close());
    }

    void aProjectOfAnotherCodePageWarnsAndSavingItAsks()
    {
        FreshProgram program;
        Project other;
        other.properties.Name.set("Other");
        other.groups.push_back({codePageIsUtf8() ? "D\xED"
                                                   "az"
                                                 : "D\xC3\xAD"
                                                   "az",
                                ""});
        saveProjectFile(other, program.localPath("other.oqf"));
        const QByteArray before = fileBytes(program.path("other.oqf"));
        rememberLastProject(program.path("other.oqf"));
        ProgramRun run;
        run.ui.dialogScripts.push_back(choose(&TOpenWizardForm::OpenLastButton));
        run.start();
        QCOMPARE(run.ui.messages().size(), std::size_t(1));
        QCOMPARE(run.ui.messages()[0].icon, MessageIcon::Warning);
        QVERIFY(run.ui.messages()[0].text.startsWith("The texts of \"other.oqf\" do not look like text of code page"));

        run.form->project().setChanged();
        run.ui.messageAnswers.push_back(mrNo);
        run.form->action("SaveProjectAction")->trigger();
        QCOMPARE(run.ui.messages().back().buttons, MessageButtons::YesNo);
        QVERIFY(run.ui.messages().back().text.contains("Save anyway?"));
        QCOMPARE(fileBytes(program.path("other.oqf")), before);
        QVERIFY(run.form->project().changed());
        QVERIFY(run.close());
    }

    void cancelWhileAProjectIsReadLeavesNoProject()
    {
        FreshProgram program;
        ProgramRun run;
        run.start();
        // A pipe stands for a file that takes long to read: the reading waits for its bytes.
        const std::string pipe = program.localPath("slow.oqf");
        QCOMPARE(::mkfifo(pipe.c_str(), 0600), 0);
        const int writer = ::open(pipe.c_str(), O_RDWR | O_CLOEXEC);
        QVERIFY(writer >= 0);
        ProjectLoadingDialog& dialog = run.form->lifecycle().loadingDialog();
        run.form->lifecycle().loadingDialogDelayMs = 0;
        bool shownWhileReading = false;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            if (!dialog.isVisible())
                return;
            poll.stop();
            shownWhileReading = run.form->lifecycle().loading();
            dialog.CancelButton->click();
            ::close(writer);
        });
        poll.start(10);
        run.ui.messageAnswers.push_back(mrNo); // the default project is not saved
        run.ui.fileAnswers.push_back(QString::fromStdString(pipe));
        run.form->action("OpenProjectAction")->trigger();
        QVERIFY(shownWhileReading);
        QVERIFY(!dialog.isVisible());
        QVERIFY(!run.form->lifecycle().loading());
        QCOMPARE(run.form->windowTitle(), QString("Orv Quillet"));
        QVERIFY(run.form->project().groups.empty());
        QCOMPARE(run.ui.messages().size(), std::size_t(1)); // the save question only
        QVERIFY(run.close());
    }

    void createDefaultWithOverwriteLeavesTheOldFileUntilSaved()
    {
        FreshProgram program;
        writeProject(program.localPath("default.oqf"), "Old default", {"Old one", "Old two"});
        const QByteArray before = fileBytes(program.path("default.oqf"));
        ProgramRun run;
        run.ui.dialogScripts.push_back(choose(&TOpenWizardForm::CreateDefaultButton));
        run.ui.dialogScripts.push_back([](QDialog& dialog) {
            dialog.findChild<QPushButton*>("OverwriteButton")->click();
            return int(mrCancel);
        });
        run.start();
        QCOMPARE(run.ui.prompts[1].caption, QString("Warning"));
        QCOMPARE(run.form->windowTitle(), QString("Orv Quillet:default.oqf"));
        QCOMPARE(run.form->groupListView()->topLevelItem(0)->text(0), QString("Default Group"));
        QCOMPARE(run.form->groupListView()->topLevelItem(0)->text(1), QString("This is default group"));
        QVERIFY(run.form->project().changed());
        QCOMPARE(fileBytes(program.path("default.oqf")), before);

        run.form->action("SaveProjectAction")->trigger();
        const Project saved = loadProjectFile(program.localPath("default.oqf"));
        QCOMPARE(QString::fromStdString(saved.properties.Description.str()),
                 QString("This is defaul Orv Quillet project"));
        QCOMPARE(saved.groups.size(), std::size_t(1));
        QVERIFY(run.close());
    }

    void createDefaultWithOpenLoadsTheExistingFile()
    {
        FreshProgram program;
        writeProject(program.localPath("default.oqf"), "Kept default", {"Kept"});
        ProgramRun run;
        run.start();
        run.ui.dialogScripts.push_back([](QDialog& dialog) {
            dialog.findChild<QPushButton*>("OpenButton")->click();
            return dialog.result();
        });
        run.form->action("CreateDefaultAction")->trigger();
        QCOMPARE(run.form->windowTitle(), QString("Orv Quillet:Kept default"));
        QVERIFY(!run.form->project().changed());
        QVERIFY(run.close());
    }

    void cancelOnTheSavePromptAtExitKeepsProgramAndProject()
    {
        FreshProgram program;
        ProgramRun run;
        run.start();
        QVERIFY(run.form->project().changed());
        run.ui.prompts.clear();
        run.ui.messageAnswers.push_back(mrCancel);
        run.form->action("ExitAction")->trigger();
        QVERIFY(run.form->isVisible());
        QCOMPARE(run.form->project().groups.size(), std::size_t(1));
        QVERIFY(run.form->project().changed());
        QCOMPARE(run.form->groupListView()->topLevelItemCount(), 1);
        const auto messages = run.ui.messages();
        QCOMPARE(messages.size(), std::size_t(1));
        QCOMPARE(messages[0].text, QString("Project has changed. Save changes?"));
        QCOMPARE(messages[0].caption, QString("Confirm"));
        QCOMPARE(messages[0].icon, MessageIcon::Question);
        QCOMPARE(messages[0].buttons, MessageButtons::YesNoCancel);
        // Nothing was written: the settings are written only when the window really closes.
        QCOMPARE(setting("Option/Width"), QString());

        // Yes saves and then closes.
        run.ui.messageAnswers.push_back(mrYes);
        QVERIFY(run.form->close());
        QVERIFY(QFile::exists(program.path("default.oqf")));
    }

    void rejectedFileIsNeverOverwrittenBySaveProject()
    {
        FreshProgram program;
        QFile broken(program.path("broken.oqf"));
        QVERIFY(broken.open(QIODevice::WriteOnly));
        broken.write(QByteArray("\x0A"
                                "OrvQuillet1",
                                12) +
                     QByteArray(1292, '\0'));
        broken.close();
        const QByteArray before = fileBytes(program.path("broken.oqf"));

        ProgramRun run;
        run.start();
        run.ui.prompts.clear();
        run.ui.messageAnswers.push_back(mrNo);
        run.ui.fileAnswers.push_back(program.path("broken.oqf"));
        // The busy cursor of the load is gone before the message shows.
        bool busyAtMessage = true;
        run.ui.onMessage = [&](const RecordedPrompt&) { busyAtMessage = QApplication::overrideCursor() != nullptr; };
        run.form->action("OpenProjectAction")->trigger();
        run.ui.onMessage = nullptr;
        QVERIFY(!busyAtMessage);
        const auto messages = run.ui.messages();
        QCOMPARE(messages.back().text, QString("Is not are Orv Quillet file or this file broken"));
        QCOMPARE(messages.back().caption, QString("Error"));
        QCOMPARE(run.form->project().path, program.localPath("broken.oqf"));
        QVERIFY(!run.form->project().changed());
        QCOMPARE(run.form->windowTitle(), QString("Orv Quillet:default.oqf"));

        // Building a project now and saving it asks for a file instead of replacing the rejected one.
        run.form->project().groups.push_back({"Typed in", ""});
        run.form->project().setChanged();
        run.ui.fileAnswers.push_back(program.path("rescued.oqf"));
        run.form->action("SaveProjectAction")->trigger();
        QCOMPARE(run.ui.prompts.back().kind, QString("save"));
        QCOMPARE(fileBytes(program.path("broken.oqf")), before);
        QVERIFY(QFile::exists(program.path("rescued.oqf")));
        QVERIFY(run.close());
    }

    void aSaveThatFailsKeepsTheProjectOpen()
    {
        FreshProgram program;
        ProgramRun run;
        run.start();
        run.ui.fileAnswers.push_back(program.path("no such folder/x.oqf"));
        run.form->action("SaveAsAction")->trigger();
        auto messages = run.ui.messages();
        QVERIFY(messages.back().text.startsWith("Cannot create file \""));
        QCOMPARE(messages.back().caption, QString("Orv Quillet"));
        QCOMPARE(messages.back().icon, MessageIcon::Stop);
        QVERIFY(run.form->project().changed());
        QVERIFY(!QApplication::overrideCursor());

        // Exit, Yes to saving, the save fails again: the window stays open with the project.
        run.ui.messageAnswers.push_back(mrYes);
        QVERIFY(!run.form->close());
        QCOMPARE(run.form->project().groups.size(), std::size_t(1));
        QVERIFY(run.form->project().changed());
        QVERIFY(run.close(mrNo));
    }

    void projectPropertiesOkSetsTheChangedFlagButKeepsTheTitle()
    {
        FreshProgram program;
        writeProject(program.localPath("default.oqf"), "Props", {});
        ProgramRun run;
        run.start();
        QVERIFY(!run.form->project().changed());
        run.ui.dialogScripts.push_back([](QDialog& dialog) {
            auto& form = static_cast<TProjectPropertiesForm&>(dialog);
            if (form.NameEdit->text() != "Props")
                return int(mrCancel);
            form.NameEdit->setText("Renamed");
            form.AutorNameEdit->setText("Ann Author");
            return int(mrOk);
        });
        run.form->action("ProjectPropAction")->trigger();
        QVERIFY(run.form->project().changed());
        QCOMPARE(QString::fromStdString(run.form->project().properties.AutorName.str()), QString("Ann Author"));
        QCOMPARE(run.form->windowTitle(), QString("Orv Quillet:Props"));
        run.form->action("SaveProjectAction")->trigger();
        QCOMPARE(run.form->windowTitle(), QString("Orv Quillet:Renamed"));
        QVERIFY(run.close());
    }
};

QUILLET_APP_TEST_MAIN(LifecycleTests)
#include "LifecycleTests.moc"
