// The pages "Messages templates" and "SMTP Servers" of the main window, and template insertion
// into the send window, driven through the main window's actions with scripted answers.
#include "app/AppTestEnvironment.h"
#include "widgets/Icons.h"
#include "mailing/TemplateStore.h"
#include "mailing/forms/MailingController.h"
#include "mailing/forms/SmtpAccountsPage.h"
#include "mailing/forms/TMessageTemplateEditorForm.h"
#include "mailing/forms/TemplatesPage.h"
#include "mailing/forms/TSMTPPropForm.h"
#include "mailing/forms/TSelectTemplateForm.h"
#include "mailing/forms/TSendMailForm.h"
#include "project/ProgramFolder.h"

#include <QAction>
#include <QCheckBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTreeWidget>

using namespace quillet;
using namespace quillet::test;

namespace {

int resultOf(QDialog& dialog)
{
    return dialog.result() == QDialog::Accepted ? mrOk : mrCancel;
}

QStringList rowNames(QTreeWidget* list)
{
    QStringList names;
    for (int i = 0; i < list->topLevelItemCount(); ++i)
        names << list->topLevelItem(i)->text(0);
    names.sort();
    return names;
}

QStringList rowTexts(QTreeWidgetItem* row)
{
    QStringList texts;
    for (int c = 0; c < row->columnCount(); ++c)
        texts << row->text(c);
    return texts;
}

void selectRow(QTreeWidget* list, int row)
{
    list->clearSelection();
    list->setCurrentItem(list->topLevelItem(row));
    list->topLevelItem(row)->setSelected(true);
}

} // namespace

class MailingPagesTests : public QObject {
    Q_OBJECT

    std::unique_ptr<FreshProgram> program;
    std::unique_ptr<ProgramRun> run;

    TemplateStore store() { return TemplateStore(templatesFolder()); }
    QTreeWidget* templates() { return run->form->templateListView(); }
    QTreeWidget* accounts() { return run->form->smtpList(); }
    TSendMailForm* sendForm() { return run->form->findChild<TSendMailForm*>(); }

private slots:
    void init()
    {
        program = std::make_unique<FreshProgram>();
        QDir(program->home.path()).mkpath("Templates");
        store().save({"Greeting", "Hello %NAME%", "Ann Author <ann@author.org>", {"Dear %NAME%,", "", "Bye"}});
        run = std::make_unique<ProgramRun>();
        run->start();
        run->form->project().setChanged(false);
    }
    // Emptying a list need not disable its actions, so handlers check the selection themselves.
    void triggerEnabled(const char* name)
    {
        run->form->action(name)->setEnabled(true);
        run->form->action(name)->trigger();
    }
    void cleanup()
    {
        run->close();
        run.reset();
        program.reset();
    }

    void templateListFilledAtStartAndActionsFollowSelection()
    {
        QCOMPARE(rowNames(templates()), QStringList{"Greeting"});
        QCOMPARE(templates()->topLevelItem(0)->text(1), QString("Hello %NAME%"));
        QVERIFY(!run->form->action("EditTemplateAction")->isEnabled());
        selectRow(templates(), 0);
        QVERIFY(run->form->action("EditTemplateAction")->isEnabled());
        QVERIFY(run->form->action("DeltemplateAction")->isEnabled());
        templates()->clearSelection();
        QVERIFY(!run->form->action("DeltemplateAction")->isEnabled());
    }

    void renameInEditorRenames()
    {
        selectRow(templates(), 0);
        QString loadedBody;
        run->ui.dialogScripts.push_back([&](QDialog& d) {
            auto& editor = static_cast<TMessageTemplateEditorForm&>(d);
            loadedBody = editor.MessageEdit->toPlainText();
            editor.NameEdit->setText("Greeting 2");
            editor.OKButton->click();
            return resultOf(d);
        });
        run->form->action("EditTemplateAction")->trigger();
        QCOMPARE(loadedBody, QString("Dear %NAME%,\n\nBye"));
        QCOMPARE(rowNames(templates()), QStringList{"Greeting 2"});
        QVERIFY(!store().exists("Greeting"));
        QCOMPARE(QString::fromStdString(store().read("Greeting 2").replyTo), QString("Ann Author <ann@author.org>"));
        QVERIFY(!run->form->project().changed());
    }

    void editingKeepsAndChangesTheHtmlBesideTheTemplate()
    {
        MessageTemplate page{"Page", "Hi", "", {"plain"}};
        page.htmlBody = {"<p>Caf\xE9</p>"};
        store().save(page);
        run->form->mailing().templatesPage().LoadTemplateList("Page");
        QString loadedHtml;
        run->ui.dialogScripts.push_back([&](QDialog& d) {
            auto& editor = static_cast<TMessageTemplateEditorForm&>(d);
            loadedHtml = editor.HtmlEdit->toPlainText();
            editor.SubjectEdit->setText("Hello");
            editor.OKButton->click();
            return resultOf(d);
        });
        run->form->action("EditTemplateAction")->trigger();
        QCOMPARE(loadedHtml, QString::fromUtf8("<p>Caf\u00e9</p>"));
        const std::string html = (store().folder() / "Page.tmpl.html").string();
        QCOMPARE(QString::fromLatin1(fileBytes(QString::fromStdString(html))),
                 QString::fromLatin1("<p>Caf\xE9</p>\r\n"));
        // Emptied, the HTML file goes.
        run->ui.dialogScripts.push_back([&](QDialog& d) {
            static_cast<TMessageTemplateEditorForm&>(d).HtmlEdit->clear();
            static_cast<TMessageTemplateEditorForm&>(d).OKButton->click();
            return resultOf(d);
        });
        run->form->action("EditTemplateAction")->trigger();
        QVERIFY(!QFile::exists(QString::fromStdString(html)));
        QCOMPARE(QString::fromStdString(store().read("Page").subject), QString("Hello"));
    }

    void doubleClickEditsAndTheListKeepsItsOrder()
    {
        for (const char* name : {"Alpha", "Beta", "Gamma"})
            store().save({name, name, "", {}});
        // The list as an earlier reading showed it; after an edit the folder is read again, and
        // whatever order it gives now, the shown rows stay where they were.
        templates()->clear();
        for (const char* name : {"Gamma", "Greeting", "Alpha", "Beta"})
            new QTreeWidgetItem(templates(), QStringList{name, name});
        const auto shownOrder = [this] {
            QStringList names;
            for (int i = 0; i < templates()->topLevelItemCount(); ++i)
                names << templates()->topLevelItem(i)->text(0);
            return names;
        };
        const auto editTo = [this](QString& edited, const QString& name) {
            run->ui.dialogScripts.push_back([&edited, name](QDialog& d) {
                auto& editor = static_cast<TMessageTemplateEditorForm&>(d);
                edited = editor.NameEdit->text();
                editor.NameEdit->setText(name);
                editor.SubjectEdit->setText("Changed");
                editor.OKButton->click();
                return resultOf(d);
            });
        };
        QString edited;
        editTo(edited, "Alpha");
        selectRow(templates(), 2);
        emit templates()->itemDoubleClicked(templates()->topLevelItem(2), 0);
        QCOMPARE(edited, QString("Alpha"));
        QCOMPARE(shownOrder(), (QStringList{"Gamma", "Greeting", "Alpha", "Beta"}));
        QCOMPARE(templates()->topLevelItem(2)->text(1), QString("Changed"));
        QCOMPARE(templates()->selectedItems().value(0), templates()->topLevelItem(2));
        // A new name renames the selected template: its row keeps its place under the new name.
        editTo(edited, "Beta 2");
        emit templates()->itemDoubleClicked(templates()->topLevelItem(3), 0);
        QCOMPARE(shownOrder(), (QStringList{"Gamma", "Greeting", "Beta 2", "Beta"}));
        QCOMPARE(templates()->selectedItems().value(0), templates()->topLevelItem(2));

        // A double-click on an account row edits the account.
        run->form->project().accounts.push_back({"smtp.x.org", "", "", "25", "", "", "", "True"});
        run->form->mailing().smtpAccountsPage().showAccounts();
        selectRow(accounts(), 0);
        QString host;
        run->ui.dialogScripts.push_back([&](QDialog& d) {
            host = static_cast<TSMTPPropForm&>(d).SMTPServerEdit->text();
            return int(mrCancel);
        });
        emit accounts()->itemDoubleClicked(accounts()->topLevelItem(0), 0);
        QCOMPARE(host, QString("smtp.x.org"));
    }

    void newTemplateRefusesTakenNameThenAppendsRow()
    {
        QString startBody;
        run->ui.dialogScripts.push_back([&](QDialog& d) {
            auto& editor = static_cast<TMessageTemplateEditorForm&>(d);
            startBody = editor.MessageEdit->toPlainText();
            editor.NameEdit->setText("Greeting");
            editor.OKButton->click(); // refused: the editor stays open
            if (d.result() == QDialog::Accepted)
                return int(mrOk);
            editor.NameEdit->setText("Fresh");
            editor.SubjectEdit->setText("Fresh subject");
            editor.OKButton->click();
            return resultOf(d);
        });
        run->form->action("NewTemplateAction")->trigger();
        QCOMPARE(startBody, QString("Dear, %NAME%!\n\nBest regards,\n%AUTHORNAME%: %AUTHORWEB%"));
        const auto messages = run->ui.messages();
        QCOMPARE(messages.size(), size_t(1));
        QCOMPARE(messages[0].text, QString("Template with this name already exists"));
        QCOMPARE(rowNames(templates()), (QStringList{"Fresh", "Greeting"}));
        QCOMPARE(QString::fromStdString(store().read("Fresh").subject), QString("Fresh subject"));
        QCOMPARE(QString::fromStdString(store().read("Greeting").subject), QString("Hello %NAME%"));
    }

    void deleteAsksAndNoSelectionIsReported()
    {
        triggerEnabled("EditTemplateAction");
        triggerEnabled("DeltemplateAction");
        auto messages = run->ui.messages();
        QCOMPARE(messages.size(), size_t(2));
        QCOMPARE(messages[1].text, QString("Have not selected template"));
        QCOMPARE(messages[1].caption, QString("Error"));

        selectRow(templates(), 0);
        run->ui.messageAnswers.push_back(mrCancel);
        run->form->action("DeltemplateAction")->trigger();
        QCOMPARE(templates()->topLevelItemCount(), 1);
        run->ui.messageAnswers.push_back(mrOk);
        run->form->action("DeltemplateAction")->trigger();
        messages = run->ui.messages();
        QCOMPARE(messages.back().text, QString("Are you sure that you want delete \"Greeting\" template?"));
        QCOMPARE(messages.back().caption, QString("Warning"));
        QCOMPARE(messages.back().buttons, MessageButtons::OkCancel);
        QCOMPARE(templates()->topLevelItemCount(), 0);
        QVERIFY(!store().exists("Greeting"));
    }

    void unreadableTemplateShowsTheErrorAndChangesNothing()
    {
        QFile::remove(QString::fromStdString(store().pathOf("Greeting").string()));
        selectRow(templates(), 0);
        run->form->action("EditTemplateAction")->trigger();
        const auto messages = run->ui.messages();
        QCOMPARE(messages.size(), size_t(1));
        QVERIFY(messages[0].text.startsWith("Cannot open file \""));
        QCOMPARE(messages[0].caption, QString("Orv Quillet"));
        QCOMPARE(messages[0].icon, MessageIcon::Stop);
        QCOMPARE(templates()->topLevelItemCount(), 1);
    }

    void insertionIntoSendWindow()
    {
        TSendMailForm* send = sendForm();
        QVERIFY(send);
        send->SubEdit->setText("typed subject");
        send->setBodyLines({"typed body"});
        // Cancel, and OK without a row, change nothing.
        run->ui.dialogScripts.push_back([](QDialog& d) {
            static_cast<TSelectTemplateForm&>(d).CancelButton->click();
            return resultOf(d);
        });
        send->InsertFromTemplateAction->trigger();
        run->ui.dialogScripts.push_back([](QDialog& d) {
            auto& select = static_cast<TSelectTemplateForm&>(d);
            select.TemplateListView->clearSelection();
            select.OKButton->click();
            return resultOf(d);
        });
        send->InsertFromTemplateAction->trigger();
        QCOMPARE(send->SubEdit->text(), QString("typed subject"));
        QCOMPARE(send->bodyLines(), QStringList{"typed body"});
        QVERIFY(send->MsgSend.From.Address.empty());

        // A template with a reply-to line sets the sender; one without keeps it.
        store().save({"Plain", "Plain subject", "", {}});
        auto choose = [](const QString& name) {
            return [name](QDialog& d) {
                auto& select = static_cast<TSelectTemplateForm&>(d);
                const auto found = select.TemplateListView->findItems(name, Qt::MatchExactly);
                select.TemplateListView->setCurrentItem(found.value(0));
                select.OKButton->click();
                return resultOf(d);
            };
        };
        run->ui.dialogScripts.push_back(choose("Greeting"));
        send->InsertFromTemplateAction->trigger();
        QCOMPARE(send->SubEdit->text(), QString("Hello %NAME%"));
        QCOMPARE(send->bodyLines(), (QStringList{"Dear %NAME%,", "", "Bye"}));
        QCOMPARE(QString::fromStdString(send->MsgSend.From.Address), QString("ann@author.org"));
        QCOMPARE(QString::fromStdString(send->MsgSend.From.Name), QString("Ann Author"));

        // The select dialog copies the main list, so the new file needs a listed row.
        new QTreeWidgetItem(templates(), QStringList{"Plain", "Plain subject"});
        run->ui.dialogScripts.push_back(choose("Plain"));
        send->InsertFromTemplateAction->trigger();
        QCOMPARE(send->SubEdit->text(), QString("Plain subject"));
        QVERIFY(send->bodyLines().isEmpty());
        QCOMPARE(QString::fromStdString(send->MsgSend.From.Address), QString("ann@author.org"));
    }

    void accountDialogKeepsValuesForNextCreate()
    {
        QVERIFY(!run->form->project().changed());
        run->ui.dialogScripts.push_back([](QDialog& d) {
            auto& f = static_cast<TSMTPPropForm&>(d);
            f.SMTPServerEdit->setText("smtp.example.org");
            f.PortEdit->setText("587");
            f.OKButton->click();
            return resultOf(d);
        });
        QStringList offered;
        run->ui.dialogScripts.push_back([&](QDialog& d) {
            auto& f = static_cast<TSMTPPropForm&>(d);
            offered << f.SMTPServerEdit->text() << f.PortEdit->text();
            f.OKButton->click();
            return resultOf(d);
        });
        run->form->action("NewSMTPAction")->trigger();
        run->form->action("NewSMTPAction")->trigger();
        QCOMPARE(offered, (QStringList{"smtp.example.org", "587"}));
        QCOMPARE(accounts()->topLevelItemCount(), 2);
        const QStringList expected{"smtp.example.org", "", "", "587", "", "", "", "True"};
        QCOMPARE(rowTexts(accounts()->topLevelItem(0)), expected);
        QCOMPARE(rowTexts(accounts()->topLevelItem(1)), expected);
        QCOMPARE(run->form->project().accounts.size(), size_t(2));
        QVERIFY(run->form->project().changed());
        QVERIFY(accounts()->selectedItems().isEmpty());
        QCOMPARE(accounts()->columnWidth(2), 1);
    }

    void cancelledEditLeavesRowButDialogKeepsTypedValues()
    {
        run->form->project().accounts.push_back({"a.example", "u", "p", "25", "From", "f@a.example", "r@a", "True"});
        run->form->mailing().smtpAccountsPage().showAccounts();
        run->form->project().setChanged(false);
        selectRow(accounts(), 0);
        run->ui.dialogScripts.push_back([](QDialog& d) {
            auto& f = static_cast<TSMTPPropForm&>(d);
            f.SMTPServerEdit->setText("typed.example");
            f.CancelButton->click();
            return resultOf(d);
        });
        QString offered;
        run->ui.dialogScripts.push_back([&](QDialog& d) {
            offered = static_cast<TSMTPPropForm&>(d).SMTPServerEdit->text();
            return int(mrCancel);
        });
        run->form->action("EditSMTPAction")->trigger();
        QCOMPARE(accounts()->topLevelItem(0)->text(0), QString("a.example"));
        QVERIFY(!run->form->project().changed());
        run->form->action("NewSMTPAction")->trigger();
        QCOMPARE(offered, QString("typed.example"));
        QCOMPARE(accounts()->topLevelItemCount(), 1);
    }

    void enableDisableOfSmallLetterTrueRow()
    {
        run->form->project().accounts.push_back({"b.example", "", "", "smtp", "", "", "", "true"});
        run->form->mailing().smtpAccountsPage().showAccounts();
        QTreeWidgetItem* row = accounts()->topLevelItem(0);
        QCOMPARE(row->icon(0).cacheKey(), stateIcon(StateIcon::DisabledServer).cacheKey());
        QAction* enable = run->form->action("EnableSMTPAction");
        QVERIFY(!enable->isEnabled());
        selectRow(accounts(), 0);
        QVERIFY(enable->isEnabled());
        QVERIFY(!enable->isChecked());
        enable->trigger();
        QCOMPARE(row->text(7), QString("True"));
        QCOMPARE(row->icon(0).cacheKey(), stateIcon(StateIcon::EnabledServer).cacheKey());
        QCOMPARE(QString::fromStdString(run->form->project().accounts[0].enabled), QString("True"));
        QVERIFY(run->form->project().changed());
        enable->trigger();
        QCOMPARE(row->text(7), QString("False"));
        QCOMPARE(row->icon(0).cacheKey(), stateIcon(StateIcon::DisabledServer).cacheKey());
    }

    void deleteAccountAsksAndNoSelectionIsReported()
    {
        run->form->project().accounts.push_back({"c.example", "", "", "25", "", "", "", "True"});
        run->form->mailing().smtpAccountsPage().showAccounts();
        triggerEnabled("DelSMTPAction");
        QCOMPARE(run->ui.messages().size(), size_t(1));
        QCOMPARE(run->ui.messages().back().text, QString("Have not selected SMTP server"));
        selectRow(accounts(), 0);
        run->ui.messageAnswers.push_back(mrOk);
        run->form->action("DelSMTPAction")->trigger();
        QCOMPARE(run->ui.messages().back().text,
                 QString("Are you sure that you want delete \"c.example\" SMTP server?"));
        QCOMPARE(accounts()->topLevelItemCount(), 0);
        QVERIFY(run->form->project().accounts.empty());
        QVERIFY(!run->form->action("EditSMTPAction")->isEnabled());
    }
};

QUILLET_APP_TEST_MAIN(MailingPagesTests)
#include "MailingPagesTests.moc"
