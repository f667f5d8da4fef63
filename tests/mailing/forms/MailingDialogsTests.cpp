// The mailing dialogs on their own: what they keep between showings, what their buttons do.
#include "mailing/forms/TMessagePreviewForm.h"
#include "mailing/forms/TMessageTemplateEditorForm.h"
#include "mailing/forms/TSMTPPropForm.h"
#include "mailing/forms/TSelectMailServerForm.h"
#include "mailing/forms/TSelectTemplateForm.h"
#include "mailing/forms/TSendMailForm.h"
#include "mailing/forms/TSendingStatusForm.h"
#include "project/ProgramFolder.h"
#include "support/ScriptedUserInterface.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSet>
#include <QTabWidget>
#include <QTest>
#include <QToolBar>
#include <QTreeWidget>

using namespace quillet;
using quillet::test::ScriptedUserInterface;

namespace {

int resultOf(QDialog& dialog)
{
    return dialog.result() == QDialog::Accepted ? mrOk : mrCancel;
}

} // namespace

class MailingDialogsTests : public QObject {
    Q_OBJECT
private slots:
    void accountDialogKeepsFieldsAndOpensOnFirstPage()
    {
        ScriptedUserInterface ui;
        TSMTPPropForm form(ui);
        QCOMPARE(form.PortEdit->text(), QString("25"));
        QVERIFY(form.EnabledCheckBox->isChecked());
        ui.dialogScripts.push_back([](QDialog& d) {
            auto& f = static_cast<TSMTPPropForm&>(d);
            f.SMTPServerEdit->setText("mail.example.org");
            f.PortEdit->setText("587");
            f.PageControl1->setCurrentIndex(1);
            f.FromAddrEdit->setText("me@example.org");
            f.CancelButton->click();
            return resultOf(d);
        });
        QCOMPARE(form.ShowModal(), int(mrCancel));
        int pageAtOpening = -1;
        ui.dialogScripts.push_back([&](QDialog& d) {
            auto& f = static_cast<TSMTPPropForm&>(d);
            pageAtOpening = f.PageControl1->currentIndex();
            f.OKButton->click();
            return resultOf(d);
        });
        QCOMPARE(form.ShowModal(), int(mrOk));
        QCOMPARE(pageAtOpening, 0);
        const SmtpAccount account = form.account();
        QCOMPARE(QString::fromStdString(account.host), QString("mail.example.org"));
        QCOMPARE(QString::fromStdString(account.port), QString("587"));
        QCOMPARE(QString::fromStdString(account.fromAddress), QString("me@example.org"));
        QCOMPARE(QString::fromStdString(account.enabled), QString("True"));
    }

    void accountDialogTicksOnlyExactTrue()
    {
        ScriptedUserInterface ui;
        TSMTPPropForm form(ui);
        SmtpAccount account{"h", "u", "p", "smtp", "n", "a", "r", "true"};
        form.setAccount(account);
        QVERIFY(!form.EnabledCheckBox->isChecked());
        QCOMPARE(form.PasswordEdit->echoMode(), QLineEdit::Normal);
        QCOMPARE(QString::fromStdString(form.account().enabled), QString("False"));
        QCOMPARE(QString::fromStdString(form.account().port), QString("smtp"));
        account.enabled = "True";
        form.setAccount(account);
        QVERIFY(form.EnabledCheckBox->isChecked());
    }

    void accountDialogHelpOpensPageAndStaysOpen()
    {
        ScriptedUserInterface ui;
        TSMTPPropForm form(ui);
        qputenv("QUILLET_HOME", "/opt/quillet");
        form.HelpButton->click();
        const QString expected = QString::fromStdString(helpFolder()) + "/l2.htm";
        qunsetenv("QUILLET_HOME");
        QVERIFY(expected.startsWith("/opt/quillet/"));
        QCOMPARE(ui.opened, QStringList{expected});
        QCOMPARE(form.result(), 0);
    }

    void templateEditorRefusesExistingNameOnlyWhenCreating()
    {
        ScriptedUserInterface ui;
        TMessageTemplateEditorForm form(ui);
        form.templateExists = [](const QString& name) { return name == "Taken"; };
        form.editMode = false;
        form.NameEdit->setText("Taken");
        form.setResult(0);
        form.OKButton->click();
        QCOMPARE(form.result(), 0);
        QCOMPARE(ui.messages().size(), size_t(1));
        QCOMPARE(ui.messages()[0].text, QString("Template with this name already exists"));
        QCOMPARE(ui.messages()[0].caption, QString("Orv Quillet"));
        QCOMPARE(ui.messages()[0].icon, MessageIcon::Warning);
        form.NameEdit->setText("Free");
        form.OKButton->click();
        QCOMPARE(form.result(), int(QDialog::Accepted));

        form.editMode = true;
        form.NameEdit->setText("Taken");
        form.setResult(0);
        form.OKButton->click();
        QCOMPARE(form.result(), int(QDialog::Accepted));
        QCOMPARE(ui.messages().size(), size_t(1));
    }

    void selectTemplateReportsChosenRow()
    {
        ScriptedUserInterface ui;
        TSelectTemplateForm form(ui);
        std::vector<TemplateRowText> rows{{"One", "S1", {}}, {"Two", "S2", {}}};
        // OK without a selected row: -1.
        ui.dialogScripts.push_back([](QDialog& d) {
            auto& f = static_cast<TSelectTemplateForm&>(d);
            f.TemplateListView->clearSelection();
            f.OKButton->click();
            return resultOf(d);
        });
        QCOMPARE(form.ShowModal(rows), int(mrOk));
        QCOMPARE(form.chosenIndex, -1);
        // Cancel: the chosen index stays at 0, the result is Cancel.
        ui.dialogScripts.push_back([](QDialog& d) {
            static_cast<TSelectTemplateForm&>(d).CancelButton->click();
            return resultOf(d);
        });
        QCOMPARE(form.ShowModal(rows), int(mrCancel));
        QCOMPARE(form.chosenIndex, 0);
        // The list is a fresh copy at every showing; OK reports the selected position.
        rows.push_back({"Three", "S3", {}});
        int shown = 0;
        ui.dialogScripts.push_back([&](QDialog& d) {
            auto& f = static_cast<TSelectTemplateForm&>(d);
            shown = f.TemplateListView->topLevelItemCount();
            f.TemplateListView->setCurrentItem(f.TemplateListView->topLevelItem(2));
            f.OKButton->click();
            return resultOf(d);
        });
        QCOMPARE(form.ShowModal(rows), int(mrOk));
        QCOMPARE(shown, 3);
        QCOMPARE(form.chosenIndex, 2);
    }

    void sendMethodRemembersLastChoice()
    {
        ScriptedUserInterface ui;
        TSelectMailServerForm form(ui);
        QVERIFY(form.DefaultSMTPButton->isChecked());
        ui.dialogScripts.push_back([](QDialog& d) {
            auto& f = static_cast<TSelectMailServerForm&>(d);
            f.BuildInServersButton->setChecked(true);
            f.OKButton->click();
            return resultOf(d);
        });
        QCOMPARE(form.ShowModal(), int(mrOk));
        bool builtInOffered = false;
        ui.dialogScripts.push_back([&](QDialog& d) {
            auto& f = static_cast<TSelectMailServerForm&>(d);
            builtInOffered = f.BuildInServersButton->isChecked() && !f.DefaultSMTPButton->isChecked();
            f.CancelButton->click();
            return resultOf(d);
        });
        QCOMPARE(form.ShowModal(), int(mrCancel));
        QVERIFY(builtInOffered);
    }

    void statusWindowCountsStopsAndOnlyHides()
    {
        QWidget owner;
        TSendingStatusForm status(&owner);
        QVERIFY(status.windowFlags() & Qt::WindowStaysOnTopHint);
        status.startRun(10);
        QVERIFY(status.isVisible());
        QCOMPARE(status.AllLabel->text(), QString("10"));
        QCOMPARE(status.NumberLabel->text(), QString("0"));
        QCOMPARE(status.ProgressBar1->maximum(), 10);
        status.setProgress(3);
        QCOMPARE(status.NumberLabel->text(), QString("3"));
        QCOMPARE(status.ProgressBar1->value(), 3);
        QVERIFY(!status.stopRequested());
        status.Button1->click();
        QVERIFY(status.stopRequested());
        QVERIFY(status.close());
        QVERIFY(status.isHidden());
        status.show();
        QVERIFY(!status.stopRequested());
        // An empty run still shows a sane bar.
        status.startRun(0);
        QCOMPARE(status.AllLabel->text(), QString("0"));
        QCOMPARE(status.ProgressBar1->value(), 0);
    }

    void sendWindowToolbarInOrder()
    {
        ScriptedUserInterface ui;
        TSendMailForm form(ui, nullptr);
        QStringList names;
        for (QAction* a : form.ToolBar->actions())
            names << (a->isSeparator() ? QString("-") : a->objectName());
        QCOMPARE(names,
                 (QStringList{"InsertFromTemplateAction", "SendMailAction", "-", "UndoAction", "-", "CutAction",
                              "CopyAction", "PasteAction", "-", "AttachAction", "OptionsAction", "-", "CloseAction"}));
        QCOMPARE(form.ToolBar->toolButtonStyle(), Qt::ToolButtonIconOnly);
        // Icons only: the tool tip names the command, and no two commands share a picture.
        QCOMPARE(form.CutAction->toolTip(), QString("Cut: Cut to clipboard"));
        QCOMPARE(form.SendMailAction->toolTip(), QString("Send: Send personalized e-mail"));
        QCOMPARE(form.CloseAction->toolTip(), QString("Close"));
        QSet<QByteArray> pictures;
        for (QAction* a : form.ToolBar->actions()) {
            if (a->isSeparator())
                continue;
            const QImage image = a->icon().pixmap(16, 16).toImage();
            pictures.insert(QByteArray(reinterpret_cast<const char*>(image.constBits()), image.sizeInBytes()));
        }
        QCOMPARE(pictures.size(), 9);

        // A list of thousands of addresses is one line: its count stands beside it, and it
        // shows from its first address.
        QString list;
        for (int i = 0; i < 3000; ++i)
            list += QString("r%1@example.org;").arg(i);
        form.BccEdit->setText(list);
        QCOMPARE(form.RecipientCountLabel->text(), QString("3000 recipients"));
        form.BccEdit->setText("r0@example.org;");
        QCOMPARE(form.RecipientCountLabel->text(), QString("1 recipient"));
        form.BccEdit->setText(list);
        form.ShowModal();
        QCOMPARE(form.BccEdit->cursorPosition(), 0);

        // The preview lists the first recipients of a long run and says how many more it has.
        TMessagePreviewForm preview;
        preview.setRecipients({"a@x.org", "b@x.org"}, 5000);
        QCOMPARE(preview.RecipientBox->count(), 3);
        QCOMPARE(preview.RecipientBox->itemText(1), QString("2. b@x.org"));
        QCOMPARE(preview.RecipientBox->itemText(2), QString("... and 4998 more"));
        QVERIFY(
            !(preview.RecipientBox->model()->flags(preview.RecipientBox->model()->index(2, 0)) & Qt::ItemIsEnabled));
        preview.setRecipients({"a@x.org"}, 1);
        QCOMPARE(preview.RecipientBox->count(), 1);
    }

    void sendWindowEditingActsOnBodyOnly()
    {
        ScriptedUserInterface ui;
        TSendMailForm form(ui, nullptr);
        form.show();
        form.SubEdit->setText("subject text");
        form.SubEdit->selectAll();
        form.SubEdit->setFocus();
        form.TextEdit->setPlainText("body");
        form.TextEdit->selectAll();
        form.CutAction->trigger();
        QCOMPARE(form.TextEdit->toPlainText(), QString());
        QCOMPARE(form.SubEdit->text(), QString("subject text"));
        if (QApplication::clipboard()->text() == "body") {
            form.PasteAction->trigger();
            form.PasteAction->trigger();
            QCOMPARE(form.TextEdit->toPlainText(), QString("bodybody"));
            QCOMPARE(form.SubEdit->text(), QString("subject text"));
        }
        form.UndoAction->trigger();
        QVERIFY(form.TextEdit->toPlainText() != QString("bodybody"));
        QCOMPARE(form.SubEdit->text(), QString("subject text"));
    }

    void sendWindowAttachments()
    {
        ScriptedUserInterface ui;
        TSendMailForm form(ui, nullptr);
        ui.manyFileAnswers.push_back({"/tmp/a.txt", "/tmp/b.pdf"});
        form.AttachBtn->click();
        QCOMPARE(form.PageControl->currentWidget(), form.AttachmentPage);
        ui.manyFileAnswers.push_back({"/tmp/a.txt"});
        form.AttachAction->trigger();
        QCOMPARE(form.attachmentPaths(), (QStringList{"/tmp/a.txt", "/tmp/b.pdf", "/tmp/a.txt"}));
        QCOMPARE(ui.prompts[0].kind, QString("openMany"));
        // A cancelled dialog adds nothing.
        form.AttachAction->trigger();
        QCOMPARE(form.attachmentPaths().size(), 3);

        form.AttachmentListBox->clearSelection();
        form.AttachmentListBox->setCurrentRow(-1);
        form.DeleteAttachBtn->click();
        QCOMPARE(ui.messages().size(), size_t(1));
        QCOMPARE(ui.messages()[0].text, QString("Select attachment for deletion"));
        QCOMPARE(ui.messages()[0].caption, QString("Error!"));
        QCOMPARE(form.attachmentPaths().size(), 3);

        form.AttachmentListBox->setCurrentRow(1);
        form.DeleteAttachBtn->click();
        QCOMPARE(form.attachmentPaths(), (QStringList{"/tmp/a.txt", "/tmp/a.txt"}));
        form.ClearBtn->click();
        QVERIFY(form.attachmentPaths().isEmpty());
        QCOMPARE(ui.messages().size(), size_t(1));
    }

    void sendWindowBlocksItsActionsDuringRun()
    {
        ScriptedUserInterface ui;
        TSendMailForm form(ui, nullptr);
        QCOMPARE(form.MsgSend.ContentType, std::string("text/plain"));
        form.show();
        form.setRunInProgress(true);
        QVERIFY(!form.SendMailAction->isEnabled());
        QVERIFY(!form.InsertFromTemplateAction->isEnabled());
        QVERIFY(!form.CloseAction->isEnabled());
        QVERIFY(!form.ClearBtn->isEnabled());
        ui.manyFileAnswers.push_back({"/tmp/a.txt"});
        form.AttachBtn->click();
        QVERIFY(form.attachmentPaths().isEmpty());
        form.reject();
        QVERIFY(form.isVisible());
        QVERIFY(form.UndoAction->isEnabled());
        form.setRunInProgress(false);
        QVERIFY(form.SendMailAction->isEnabled());
        form.reject();
        QVERIFY(!form.isVisible());
    }

    void sendWindowShowingResetsPageAndAccountIndex()
    {
        ScriptedUserInterface ui;
        TSendMailForm form(ui, nullptr);
        form.PageControl->setCurrentWidget(form.AttachmentPage);
        form.SubEdit->setText("kept");
        int pageSeen = -1;
        ui.dialogScripts.push_back([&](QDialog& d) {
            auto& f = static_cast<TSendMailForm&>(d);
            pageSeen = f.PageControl->currentIndex();
            f.CloseAction->trigger();
            return resultOf(d);
        });
        form.ShowModal();
        QCOMPARE(pageSeen, 0);
        QCOMPARE(form.MailingRun.AccountIndex(), -1);
        QCOMPARE(form.SubEdit->text(), QString("kept"));
    }
};

QTEST_MAIN(MailingDialogsTests)
#include "MailingDialogsTests.moc"
