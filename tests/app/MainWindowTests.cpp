// The main window: first start, stored placement, Program options, the Ctrl+E rule, the layout
// file and the program's error box.
#include "AppTestEnvironment.h"

#include "app/ActionBars.h"
#include "app/CustomizeToolbarForm.h"
#include "app/TAboutForm.h"
#include "addressbook/forms/TEditGroupParamsForm.h"
#include "addressbook/forms/TEditRecipientForm.h"
#include "addressbook/forms/TFindForm.h"
#include "addressbook/forms/TSelectGroupForm.h"
#include "mailing/forms/TMessageTemplateEditorForm.h"
#include "mailing/forms/TSMTPPropForm.h"
#include "mailing/forms/TSelectMailServerForm.h"
#include "mailing/forms/TSelectTemplateForm.h"
#include "project/forms/TNewProjectForm.h"
#include "project/forms/TProjectPropertiesForm.h"
#include "project/forms/TOpenWizardForm.h"
#include "project/forms/TPropertiesForm.h"

#include <QAction>
#include <QHeaderView>
#include <QLabel>
#include <QRegularExpression>
#include <QLineEdit>
#include <QListWidget>
#include <QMimeData>
#include <QTreeView>
#include <QTreeWidget>
#include <QStatusTipEvent>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSplitter>
#include <QTabWidget>
#include <QToolBar>

#include <optional>
#include <stdexcept>

using namespace quillet;
using namespace quillet::test;

namespace {

QStringList actionNames(const QList<QAction*>& actions)
{
    QStringList names;
    for (QAction* a : actions)
        names << (a->isSeparator() ? QString("-") : a->objectName());
    return names;
}

} // namespace

class MainWindowTests : public QObject {
    Q_OBJECT
private slots:
    void firstStartShowsDefaults()
    {
        FreshProgram program;
        ProgramRun run;
        bool lastProjectEnabled = true;
        run.ui.dialogScripts.push_back([&](QDialog& dialog) {
            lastProjectEnabled = static_cast<TOpenWizardForm&>(dialog).OpenLastButton->isEnabled();
            return int(mrCancel);
        });
        run.start();
        TOrvQuilletForm& form = *run.form;

        QCOMPARE(form.size(), QSize(625, 410));
        QCOMPARE(form.pos(), QPoint(10, 10));
        QCOMPARE(form.splitter()->sizes().value(0), 265);
        QCOMPARE(form.groupListWidth(), 265);
        QCOMPARE(form.propertiesForm().PortEdit->text(), QString("25"));
        QCOMPARE(form.propertiesForm().BuildInPortEdit->text(), QString("1026"));
        QVERIFY(!lastProjectEnabled);
        QCOMPARE(form.mainPageControl()->currentIndex(), 0);
        // "OK" in the start-up dialog with no default project creates one, unsaved.
        QCOMPARE(form.windowTitle(), QString("Orv Quillet:default.oqf"));
        QCOMPARE(form.statusPanel(0)->text(), QString("default.oqf"));
        // A longer name stands whole in its panel; a very long one leaves room for the others.
        QLabel* namePanel = form.statusPanel(0);
        form.project().properties.Name.set("A mailing project.oqf");
        form.showProjectName();
        QTRY_VERIFY(namePanel->contentsRect().width() >= namePanel->fontMetrics().horizontalAdvance(namePanel->text()));
        form.project().properties.Name.set(std::string(200, 'n'));
        form.showProjectName();
        QTRY_VERIFY(namePanel->width() <= 250);
        QCOMPARE(namePanel->toolTip(), namePanel->text());
        form.project().properties.Name.set("default.oqf");
        QVERIFY(form.action("SaveProjectAction")->isEnabled());
        QVERIFY(!QFile::exists(program.path("default.oqf")));
        QVERIFY(run.close());
        QCOMPARE(setting("Option/Width"), QString("625"));
        QCOMPARE(setting("Option/GroupList"), QString("265"));
        QCOMPARE(setting("Option/Project Name"), program.path("default.oqf"));
    }

    void aWidthThatIsNotANumberGivesTheDefault()
    {
        FreshProgram program;
        {
            QSettings settings("Orv", "Quillet");
            settings.setValue("Option/Width", "abc");
            settings.setValue("Option/Heigth", "300");
        }
        ProgramRun run;
        run.start();
        QCOMPARE(run.form->size(), QSize(625, 300));
        run.close();
    }

    void closingMaximisedKeepsTheNormalPlacement()
    {
        FreshProgram program;
        {
            ProgramRun run;
            run.start();
            run.form->move(30, 40);
            run.form->resize(700, 500);
            QVERIFY(run.close());
        }
        QCOMPARE(setting("Option/Width"), QString("700"));
        QCOMPARE(setting("Option/WinState"), QString("0"));
        {
            ProgramRun run;
            run.start();
            QCOMPARE(run.form->size(), QSize(700, 500));
            run.form->showMaximized();
            QVERIFY(run.close());
        }
        QCOMPARE(setting("Option/WinState"), QString("2"));
        QCOMPARE(setting("Option/Width"), QString("700"));
        QCOMPARE(setting("Option/Heigth"), QString("500"));
        QCOMPARE(setting("Option/Left"), QString("30"));
        QCOMPARE(setting("Option/Top"), QString("40"));
        {
            ProgramRun run;
            run.start();
            QVERIFY(run.form->isMaximized());
            run.form->showNormal();
            QCOMPARE(run.form->size(), QSize(700, 500));
            QCOMPARE(run.form->pos(), QPoint(30, 40));
            run.close();
        }
    }

    void listColumnWidthsAreRemembered()
    {
        FreshProgram program;
        {
            ProgramRun run;
            run.start();
            QHeaderView* header = run.form->recipientListView()->header();
            // The first start's width holds a typical address whole.
            QVERIFY(header->sectionSize(0) >
                    run.form->recipientListView()->fontMetrics().horizontalAdvance("firstname.lastname@example.com"));
            header->resizeSection(0, 260);
            run.form->smtpList()->header()->resizeSection(0, 180);
            // Showing another group's rows keeps the width the user gave.
            run.form->groupListView()->setCurrentItem(run.form->groupListView()->topLevelItem(0));
            QCOMPARE(header->sectionSize(0), 260);
            QVERIFY(run.close());
        }
        QVERIFY(setting("Columns/RecipientListView").startsWith("260 "));
        ProgramRun run;
        run.start();
        QCOMPARE(run.form->recipientListView()->header()->sectionSize(0), 260);
        QCOMPARE(run.form->smtpList()->header()->sectionSize(0), 180);
        QCOMPARE(run.form->templateListView()->header()->sectionSize(0), 150);
        run.close();
    }

    void programOptionsCancelRestoresAndOkKeeps()
    {
        FreshProgram program;
        ProgramRun run;
        run.start();
        TPropertiesForm& options = run.form->propertiesForm();

        run.ui.dialogScripts.push_back([](QDialog& dialog) {
            auto& form = static_cast<TPropertiesForm&>(dialog);
            form.SMTPEdit->setText("mail.example.net");
            form.PortEdit->setText("587");
            form.SendFromEdit->setText("me@example.net");
            return int(mrOk);
        });
        run.form->action("ProgOptionsAction")->trigger();
        QCOMPARE(options.SMTPEdit->text(), QString("mail.example.net"));
        // OK stores the confirmed settings at once.
        QCOMPARE(setting("SMTP/Server"), QString("mail.example.net"));

        run.ui.dialogScripts.push_back([](QDialog& dialog) {
            auto& form = static_cast<TPropertiesForm&>(dialog);
            form.SMTPEdit->setText("typo.example.net");
            form.PortEdit->setText("1");
            form.BuildInPortEdit->setText("9999");
            form.PageControl->setCurrentIndex(1);
            return int(mrCancel);
        });
        run.form->action("ProgOptionsAction")->trigger();
        // Cancel leaves exactly what was there: the settings confirmed with OK, on both pages.
        QCOMPARE(options.SMTPEdit->text(), QString("mail.example.net"));
        QCOMPARE(options.PortEdit->text(), QString("587"));
        QCOMPARE(options.SendFromEdit->text(), QString("me@example.net"));
        QCOMPARE(options.BuildInPortEdit->text(), QString("1026"));
        // The dialog opens on the page it last showed.
        int page = -1;
        run.ui.dialogScripts.push_back([&](QDialog& dialog) {
            page = static_cast<TPropertiesForm&>(dialog).PageControl->currentIndex();
            static_cast<TPropertiesForm&>(dialog).SMTPEdit->setText("smtp.example.org");
            return int(mrOk);
        });
        run.form->action("ProgOptionsAction")->trigger();
        QCOMPARE(page, 1);
        QCOMPARE(options.defaultServerHost(), QString("smtp.example.org"));
        QVERIFY(run.close());
        QCOMPARE(setting("SMTP/Server"), QString("smtp.example.org"));
        QCOMPARE(setting("SMTP/Port"), QString("587"));
    }

    void builtInServerEditsAreForgottenAfterARestart()
    {
        FreshProgram program;
        {
            ProgramRun run;
            run.start();
            run.ui.dialogScripts.push_back([](QDialog& dialog) {
                auto& form = static_cast<TPropertiesForm&>(dialog);
                form.BuildInPortEdit->setText("2525");
                form.BuildInFromEdit->setText("me@example.org");
                return int(mrOk);
            });
            run.form->action("ProgOptionsAction")->trigger();
            QCOMPARE(run.form->propertiesForm().builtInServerPort(), 2525);
            QVERIFY(run.close());
        }
        ProgramRun run;
        run.start();
        QCOMPARE(run.form->propertiesForm().BuildInPortEdit->text(), QString("1026"));
        QCOMPARE(run.form->propertiesForm().BuildInFromEdit->text(), QString(""));
        run.form->propertiesForm().BuildInPortEdit->setText("none");
        QCOMPARE(run.form->propertiesForm().builtInServerPort(), 1026);
        run.form->propertiesForm().PortEdit->setText("x25");
        QCOMPARE(run.form->propertiesForm().defaultServerPort(), 25);
        run.close();
    }

    void ctrlENeverOpensTheRecipientEditor()
    {
        FreshProgram program;
        ProgramRun run;
        run.start();
        TOrvQuilletForm& form = *run.form;
        QAction* group = form.action("EMailToGroupAction");
        QAction* edit = form.action("EditRecipientAction");
        int groupRuns = 0;
        int editRuns = 0;
        connect(group, &QAction::triggered, [&] { ++groupRuns; });
        connect(edit, &QAction::triggered, [&] { ++editRuns; });
        form.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&form));

        // The key belongs to the group action only, and no entry shows a key it does not run.
        QVERIFY(edit->shortcut().isEmpty());
        for (QAction* a : form.actionList())
            QVERIFY2(!a->text().contains('\t'), qPrintable(a->text()));
        QCOMPARE(group->shortcut(), QKeySequence("Ctrl+E"));

        group->setEnabled(false);
        edit->setEnabled(true);
        form.recipientListView()->setFocus();
        QTest::keyClick(form.recipientListView(), Qt::Key_E, Qt::ControlModifier);
        QCOMPARE(editRuns, 0);
        QCOMPARE(groupRuns, 0);

        group->setEnabled(true);
        run.ui.dialogScripts.clear();
        QTest::keyClick(form.recipientListView(), Qt::Key_E, Qt::ControlModifier);
        QCOMPARE(groupRuns, 1);
        QCOMPARE(editRuns, 0);
        run.close();
    }

    void actionListHasItsCaptionsShortcutsAndStates()
    {
        FreshProgram program;
        ProgramRun run;
        run.start();
        TOrvQuilletForm& form = *run.form;
        QCOMPARE(form.actionList().size(), 40);
        // About names the program's version.
        QVERIFY(QRegularExpression("^Version \\d+\\.\\d+").match(form.aboutForm().VersionLabel->text()).hasMatch());
        QCOMPARE(form.actionList().first()->objectName(), QString("CreateDefaultAction"));
        QCOMPARE(form.actionList().last()->objectName(), QString("RunsAction"));
        QCOMPARE(form.action("OpenProjectAction")->toolTip(), QString("Open project existing project"));
        QCOMPARE(form.action("CreateDefaultAction")->shortcut(), QKeySequence("Ctrl+Shift+N"));
        QCOMPARE(form.action("NewRecipientAction")->shortcut(), QKeySequence(Qt::Key_Insert));
        QVERIFY(form.action("EnableRecipientAction")->isChecked());
        QVERIFY(!form.action("EditGroupAction")->isEnabled());
        QVERIFY(form.action("NewSMTPAction")->isEnabled());
        // Menus in order, with accelerators.
        QStringList menus;
        for (QAction* menu : form.menuBar()->actions())
            menus << menu->text();
        QCOMPARE(menus, QStringList({"&File", "&Group", "&Recipient", "&SMTP", "&Templates", "&Mailing", "Too&ls",
                                     "&Options", "&Help"}));
        QCOMPARE(actionNames(form.actionBars().toolBar(2)->actions()),
                 QStringList({"NewSMTPAction", "EditSMTPAction", "DelSMTPAction", "-", "EnableSMTPAction"}));
        // The hint of the item under the mouse goes to status bar panel 2.
        QStatusTipEvent tip("Save current project");
        QApplication::sendEvent(&form, &tip);
        QCOMPARE(form.statusPanel(2)->text(), QString("Save current project"));
        run.close();
    }
    // Every typed id names its action; an id outside the list is refused, never bound to nothing.
    void everyActionIdFindsItsAction()
    {
        FreshProgram program;
        ProgramRun run;
        run.start();
        TOrvQuilletForm& form = *run.form;
        QCOMPARE(kActionIdCount, int(form.actionList().size()));
        for (int index = 0; index < kActionIdCount; ++index) {
            const auto id = static_cast<ActionId>(index);
            QCOMPARE(form.action(id)->objectName(), actionName(id));
            QCOMPARE(actionIdOf(actionName(id)), std::optional<ActionId>(id));
        }
        QVERIFY_THROWS_EXCEPTION(std::logic_error, form.action(static_cast<ActionId>(kActionIdCount)));
        QVERIFY_THROWS_EXCEPTION(std::logic_error, form.bindAction(static_cast<ActionId>(-1), [] {}));
        QVERIFY(!actionIdOf("NoSuchAction"));
        run.close();
    }

    void customisedLayoutSurvivesARestart()
    {
        FreshProgram program;
        {
            ProgramRun run;
            run.start();
            run.ui.dialogScripts.push_back([](QDialog& dialog) {
                auto& customize = static_cast<CustomizeToolbarForm&>(dialog);
                customize.selectBar(customize.toolBarIndex(2));
                customize.BarItemsList->setCurrentRow(4);
                customize.addItem("FindRecipientAction");
                customize.BarItemsList->setCurrentRow(0);
                customize.moveCurrentItem(1);
                customize.selectBar(0);
                customize.BarItemsList->setCurrentRow(0);
                customize.removeCurrentItem();
                return int(mrOk);
            });
            run.form->action("CustomizeActionBars")->trigger();
            QCOMPARE(actionNames(run.form->actionBars().toolBar(2)->actions()),
                     QStringList({"EditSMTPAction", "NewSMTPAction", "DelSMTPAction", "-", "EnableSMTPAction",
                                  "FindRecipientAction"}));
            QVERIFY(run.close());
            QVERIFY(QFile::exists(program.path("quillet.dat")));
        }
        ProgramRun run;
        run.start();
        QCOMPARE(actionNames(run.form->actionBars().toolBar(2)->actions()),
                 QStringList({"EditSMTPAction", "NewSMTPAction", "DelSMTPAction", "-", "EnableSMTPAction",
                              "FindRecipientAction"}));
        QMenu* file = run.form->menuBar()->actions().first()->menu();
        QCOMPARE(file->actions().first()->objectName(), QString("NewProjectAction"));

        // Cancel in the dialog changes nothing.
        run.ui.dialogScripts.push_back([](QDialog& dialog) {
            static_cast<CustomizeToolbarForm&>(dialog).ResetButton->click();
            return int(mrCancel);
        });
        run.form->action("CustomizeActionBars")->trigger();
        QCOMPARE(run.form->actionBars().toolBar(2)->actions().size(), 6);
        run.close();
    }

    void actionsDroppedOnABarAreKept()
    {
        FreshProgram program;
        ProgramRun run;
        run.start();
        run.ui.dialogScripts.push_back([](QDialog& dialog) {
            auto& customize = static_cast<CustomizeToolbarForm&>(dialog);
            customize.selectBar(customize.toolBarIndex(3));
            // What a drag from the command list onto the bar's list hands over.
            QTreeWidgetItem* about = nullptr;
            for (QTreeWidgetItem* item : customize.AvailableList->findItems("About program", Qt::MatchRecursive))
                about = item;
            if (!about)
                return int(mrCancel);
            const QModelIndex index = customize.AvailableList->model()->index(
                about->parent()->indexOfChild(about), 0,
                customize.AvailableList->model()->index(customize.AvailableList->indexOfTopLevelItem(about->parent()),
                                                        0));
            std::unique_ptr<QMimeData> data(customize.AvailableList->model()->mimeData({index}));
            customize.BarItemsList->model()->dropMimeData(data.get(), Qt::CopyAction, 0, 0, QModelIndex());
            return int(mrOk);
        });
        run.form->action("CustomizeActionBars")->trigger();
        QCOMPARE(actionNames(run.form->actionBars().toolBar(3)->actions()),
                 QStringList({"AboutAction", "NewTemplateAction", "EditTemplateAction", "DeltemplateAction", "-",
                              "RunsAction"}));
        run.close();
    }

    void unreadableLayoutFileGivesTheBuiltInArrangement()
    {
        FreshProgram program;
        QFile garbage(program.path("quillet.dat"));
        QVERIFY(garbage.open(QIODevice::WriteOnly));
        garbage.write("{\"format\": \"something else\"}");
        garbage.close();
        ProgramRun run;
        run.start();
        QCOMPARE(run.form->actionBars().layout(), ActionBarsLayout::builtIn());
        QCOMPARE(run.form->actionBars().toolBar(0)->actions().size(), 19);
        run.close(mrNo);
    }

    void layoutFileEntriesOfUnknownActionsAreLeftOut()
    {
        FreshProgram program;
        ActionBarsLayout layout = ActionBarsLayout::builtIn();
        layout.toolBars[3].items = QStringList({"NoSuchAction", "-", "NewTemplateAction"});
        layout.menus.push_back({"&Extra", {"AboutAction"}});
        QFile file(program.path("quillet.dat"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(layout.toJson());
        file.close();
        ProgramRun run;
        run.start();
        QCOMPARE(actionNames(run.form->actionBars().toolBar(3)->actions()), QStringList({"-", "NewTemplateAction"}));
        QCOMPARE(run.form->menuBar()->actions().size(), 10);
        QCOMPARE(run.form->menuBar()->actions().last()->text(), QString("&Extra"));
        run.close();
    }

    void layoutThatCannotBeWrittenIsReported()
    {
        FreshProgram program;
        QVERIFY(QDir(program.home.path()).mkdir("quillet.dat"));
        ProgramRun run;
        run.start();
        QVERIFY(run.close());
        const auto messages = run.ui.messages();
        QVERIFY(!messages.empty());
        QCOMPARE(messages.back().text, QString("Unable to save settings."));
        QCOMPARE(messages.back().caption, QString("Orv Quillet"));
        QCOMPARE(messages.back().icon, MessageIcon::Stop);
    }

    void errorBoxAddsAFullStopOnlyAfterLettersAndDigits()
    {
        FreshProgram program;
        ProgramRun run;
        run.start();
        run.ui.prompts.clear();
        run.form->showException(std::runtime_error("Connection refused"));
        run.form->showException(std::runtime_error("Socket Error # 10061"));
        run.form->showException(std::runtime_error("Done."));
        run.form->showException(std::runtime_error("Stop!"));
        run.form->showException(std::runtime_error("(quoted)"));
        const auto messages = run.ui.messages();
        QCOMPARE(messages.size(), std::size_t(5));
        QCOMPARE(messages[0].text, QString("Connection refused."));
        QCOMPARE(messages[1].text, QString("Socket Error # 10061."));
        QCOMPARE(messages[2].text, QString("Done."));
        QCOMPARE(messages[3].text, QString("Stop!"));
        QCOMPARE(messages[4].text, QString("(quoted)"));
        run.close();
    }

    void everyDialogOpensWithTheFocusInItsFirstField()
    {
        ScriptedUserInterface ui;
        TNewProjectForm newProject;
        TProjectPropertiesForm properties;
        TEditGroupParamsForm group;
        TEditRecipientForm recipient(ui);
        TSelectGroupForm selectGroup;
        TFindForm find;
        TMessageTemplateEditorForm templateEditor(ui);
        TSMTPPropForm account(ui);
        TSelectMailServerForm method(ui);
        TSelectTemplateForm selectTemplate(ui);
        TPropertiesForm options;
        const std::vector<std::pair<QWidget*, QWidget*>> firstFields = {
            {&newProject, newProject.NameEdit},
            {&properties, properties.NameEdit},
            {&group, group.GroupNameEdit},
            {&recipient, recipient.EMailEdit},
            {&selectGroup, selectGroup.GroupListView},
            {&find, find.FindEdit},
            {&templateEditor, templateEditor.NameEdit},
            {&account, account.SMTPServerEdit},
            {&method, method.DefaultSMTPButton},
            {&selectTemplate, selectTemplate.TemplateListView},
            {&options, options.SMTPEdit},
        };
        for (const auto& [dialog, field] : firstFields) {
            // The first showing, and a second one after the user left the focus elsewhere.
            for (int showing = 0; showing < 2; ++showing) {
                dialog->show();
                QVERIFY2(dialog->focusWidget() == field, qPrintable(dialog->objectName()));
                if (QPushButton* button = dialog->findChild<QPushButton*>())
                    button->setFocus();
                dialog->hide();
            }
        }
        // Enter in the group list chooses the group: OK is pressed even from "Cancel".
        selectGroup.show();
        selectGroup.CancelButton->setFocus();
        QTest::keyClick(selectGroup.CancelButton, Qt::Key_Return);
        QCOMPARE(selectGroup.result(), int(QDialog::Accepted));
    }

    void helpAndLinksGoToTheDesktop()
    {
        FreshProgram program;
        ProgramRun run;
        run.start();
        run.form->action("HowToUseAction")->trigger();
        run.form->action("MailToUsAction")->trigger();
        QCOMPARE(run.ui.opened.value(0), program.path("quillet-help/index.htm"));
        QVERIFY(run.ui.opened.value(1).startsWith("mailto:"));
        run.ui.dialogScripts.push_back([](QDialog& dialog) {
            dialog.findChild<QPushButton*>("HomePageButton")->click();
            return int(mrOk);
        });
        run.form->action("AboutAction")->trigger();
        QVERIFY(run.ui.opened.value(2).startsWith("http"));
        QVERIFY(run.ui.messages().empty());

        // Without a program to open them, each says what failed and where the page is.
        run.ui.desktopOpens = false;
        run.form->action("HowToUseAction")->trigger();
        QDir().mkpath(program.path("quillet-help"));
        QFile page(program.path("quillet-help/index.htm"));
        QVERIFY(page.open(QIODevice::WriteOnly));
        page.close();
        run.form->action("HowToUseAction")->trigger();
        run.form->action("HomePageAction")->trigger();
        run.form->action("MailToUsAction")->trigger();
        const auto messages = run.ui.messages();
        QCOMPARE(messages.size(), std::size_t(4));
        QCOMPARE(messages[0].text, "The help page is missing: \"" + program.path("quillet-help/index.htm") + "\"");
        QCOMPARE(messages[1].text, "No program to show the page could be started.\nThe page is the file \"" +
                                       program.path("quillet-help/index.htm") + "\"");
        QVERIFY(messages[2].text.startsWith("No program to show web pages could be started for http"));
        QVERIFY(messages[3].text.startsWith("No e-mail program could be started to write to quillet@"));
        QCOMPARE(messages[3].caption, QString("Orv Quillet"));
        run.close();
    }
};

QUILLET_APP_TEST_MAIN(MainWindowTests)
#include "MainWindowTests.moc"
