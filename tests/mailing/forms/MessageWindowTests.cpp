// The send window's message pages and checks, driven through the main window with a scripted
// user interface: the HTML page and its plain text, the added headers remembered, the preview of
// any recipient's message, Send test to a loopback SMTP peer (the bytes it receives), the
// pre-flight dialog with its "do not show again", and the message options of Program options.
#include "app/AppTestEnvironment.h"
#include "support/ScriptedSmtpPeer.h"
#include "mailing/forms/MailingController.h"
#include "mailing/forms/TMessagePreviewForm.h"
#include "mailing/forms/TPreflightForm.h"
#include "mailing/forms/TSelectMailServerForm.h"
#include "mailing/forms/TSendMailForm.h"
#include "project/forms/TPropertiesForm.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QStatusBar>
#include <QTabWidget>
#include <QTextBrowser>
#include <QTreeWidget>

using namespace quillet;
using namespace quillet::test;

namespace {

RecipientRecord recipient(const char* email, const char* name)
{
    RecipientRecord r;
    r.EMail.set(email);
    r.Name.set(name);
    r.Group.set("Club");
    return r;
}

int chooseDefaultRoute(QDialog& d)
{
    auto& f = static_cast<TSelectMailServerForm&>(d);
    f.DefaultSMTPButton->setChecked(true);
    f.OKButton->click();
    return int(mrOk);
}

} // namespace

class MessageWindowTests : public QObject {
    Q_OBJECT

    std::unique_ptr<FreshProgram> program;
    std::unique_ptr<ProgramRun> run;

    TOrvQuilletForm& main() { return *run->form; }
    TSendMailForm& send() { return main().mailing().sendMailForm(); }

    void startProgram()
    {
        run = std::make_unique<ProgramRun>();
        run->start();
        const auto items = main().groupListView()->findItems("Club", Qt::MatchExactly);
        QVERIFY(!items.isEmpty());
        main().groupListView()->setCurrentItem(items.first());
    }
    // Opens the send window on the whole group and runs `work` in it.
    void inSendWindow(std::function<void(TSendMailForm&)> work)
    {
        run->ui.dialogScripts.push_back([work](QDialog& d) {
            work(static_cast<TSendMailForm&>(d));
            return int(mrCancel);
        });
        main().action("EMailToGroupAction")->trigger();
    }
    void useServer(unsigned short port)
    {
        main().propertiesForm().SMTPEdit->setText("127.0.0.1");
        main().propertiesForm().PortEdit->setText(QString::number(port));
        main().propertiesForm().SendFromEdit->setText("news@club.org");
    }
    QStringList messageTexts() { return run->ui.messageTexts(); }

private slots:
    void init()
    {
        program = std::make_unique<FreshProgram>();
        Project project;
        project.properties.Name.set("Club");
        project.groups = {{"Club", ""}};
        project.recipients = {recipient("ann@x.org", "Ann"), recipient("bob@x.org", "B<o>b")};
        saveProjectFile(project, program->localPath("default.oqf"));
        startProgram();
    }
    void cleanup()
    {
        run->close();
        run.reset();
        program.reset();
    }

    void htmlPageRendersAndMakesThePlainText()
    {
        QStringList rendered, body;
        int boxes = 0;
        inSendWindow([&](TSendMailForm& f) {
            f.MakePlainBtn->click(); // an empty page: said so, nothing changes
            boxes = int(run->ui.messages().size());
            f.setHtmlLines(
                {"<h1>Hi %NAME%</h1><p>Our <b>caf&eacute;</b><br>opens <a href=\"https://x.org\">today</a></p>",
                 "<ul><li>tea<li>cake</ul>"});
            rendered << f.HtmlPreview->toPlainText();
            f.setBodyLines({"kept"});
            run->ui.messageAnswers = {mrNo};
            f.MakePlainBtn->click();
            body << f.bodyLines().join('|');
            run->ui.messageAnswers = {mrYes};
            f.MakePlainBtn->click();
            body << f.bodyLines().join('|');
        });
        QCOMPARE(boxes, 1);
        QCOMPARE(messageTexts(),
                 (QStringList{"The HTML page is empty", "Replace the plain text with the text made from the HTML?",
                              "Replace the plain text with the text made from the HTML?"}));
        QVERIFY(rendered.value(0).contains("Hi %NAME%"));
        QVERIFY(!rendered.value(0).contains("<b>"));
        QCOMPARE(body, (QStringList{"kept", QString::fromUtf8(
                                                "Hi %NAME%||Our café|opens today (https://x.org)||- tea|- cake")}));
    }

    void previewShowsEveryRecipientsMessageAndHeadersAreRemembered()
    {
        QStringList subjects;
        QString headers, html, text, source;
        bool htmlTabFirst = false;
        inSendWindow([&](TSendMailForm& f) {
            f.SubEdit->setText("Hi %NAME%");
            f.setBodyLines({"Dear %NAME%"});
            f.setHtmlLines({"<p>Dear <b>%NAME%</b></p>"});
            f.UnsubscribeUrlEdit->setText("https://club.org/u?e=%ADDRESS%");
            f.HeadersEdit->setPlainText("X-Campaign: spring\n\n");
            run->ui.dialogScripts.push_back([&](QDialog& d) {
                auto& p = static_cast<TMessagePreviewForm&>(d);
                htmlTabFirst = p.PageControl->currentIndex() == 1;
                subjects << p.HeadersView->toPlainText().section("Subject: ", 1).section('\n', 0, 0);
                p.RecipientBox->setCurrentIndex(1);
                headers = p.HeadersView->toPlainText();
                subjects << headers.section("Subject: ", 1).section('\n', 0, 0);
                html = p.HtmlView->toPlainText();
                text = p.TextView->toPlainText();
                source = p.SourceView->toPlainText();
                return int(mrOk);
            });
            f.PreviewBtn->click();
        });
        QVERIFY(htmlTabFirst);
        QCOMPARE(subjects, (QStringList{"Hi Ann", "Hi B<o>b"}));
        QVERIFY(headers.contains("To: bob@x.org\n"));
        QVERIFY(headers.contains("List-Unsubscribe: <https://club.org/u?e=bob%40x.org>\n"
                                 "List-Unsubscribe-Post: List-Unsubscribe=One-Click\nX-Campaign: spring"));
        QCOMPARE(text, QString("Dear B<o>b"));
        QCOMPARE(html, QString("Dear B<o>b"));
        QVERIFY(source.contains("<p>Dear <b>B&lt;o&gt;b</b></p>"));
        QVERIFY(source.contains("Message-ID: <"));

        // The added headers come back at the next start.
        QCOMPARE(setting("Send/Headers"), QString("X-Campaign: spring"));
        run->close();
        startProgram();
        QCOMPARE(send().UnsubscribeUrlEdit->text(), QString("https://club.org/u?e=%ADDRESS%"));
        QCOMPARE(send().HeadersEdit->toPlainText(), QString("X-Campaign: spring"));
    }

    void sendTestGoesToTheTypedAddressOnly()
    {
        ScriptedSmtpPeer peer;
        peer.start();
        useServer(peer.port());
        // The sender stands in for the missing From (the program option).
        QSettings settings("Orv", "Quillet");
        settings.setValue("Option/FromSender", "1");
        settings.sync();
        inSendWindow([&](TSendMailForm& f) {
            f.SubEdit->setText("Hi %NAME%");
            f.setBodyLines({"Dear %NAME%"});
            f.UnsubscribeUrlEdit->setText("https://club.org/u?e=%ADDRESS%");
            run->ui.inputAnswers = {QString("not an address"), QString(" tester@y.org ")};
            f.SendTestBtn->click();
            run->ui.dialogScripts.push_front(chooseDefaultRoute);
            f.SendTestBtn->click();
        });
        QCOMPARE(messageTexts(), (QStringList{"\"not an address\" is not a valid e-mail address",
                                              "The test message was sent to tester@y.org"}));
        QVERIFY(peer.waitClosed(1));
        std::vector<std::string> envelope;
        for (const std::string& c : peer.allCommands())
            if (c.rfind("MAIL", 0) == 0 || c.rfind("RCPT", 0) == 0)
                envelope.push_back(c);
        QCOMPARE(envelope, (std::vector<std::string>{"MAIL FROM:<news@club.org>", "RCPT TO:<tester@y.org>"}));
        const std::vector<std::string> messages = peer.messages();
        QCOMPARE(messages.size(), size_t(1));
        const QString bytes = QString::fromStdString(messages[0]);
        QVERIFY(bytes.contains("\r\nSubject: [Test] Hi Ann\r\n"));
        QVERIFY(bytes.contains("\r\nTo: tester@y.org\r\n"));
        QVERIFY(bytes.startsWith("From: news@club.org\r\n"));
        QVERIFY(bytes.contains("\r\nList-Unsubscribe: <https://club.org/u?e=ann%40x.org>\r\n"));
        QVERIFY(bytes.endsWith("\r\n\r\nDear Ann\r\n"));
        QCOMPARE(setting("Send/TestAddress"), QString("tester@y.org"));
        QVERIFY(send().SendMailAction->isEnabled());
    }

    void preflightListsFindingsAndCanBeLeftOut()
    {
        ScriptedSmtpPeer peer;
        peer.start();
        useServer(peer.port());
        QStringList findings;
        QString summary;
        inSendWindow([&](TSendMailForm& f) {
            f.SubEdit->setText("Hi %NAME% from %TOWN%");
            run->ui.dialogScripts.push_front([&](QDialog& d) {
                auto& p = static_cast<TPreflightForm&>(d);
                summary = p.SummaryLabel->text();
                for (int i = 0; i < p.FindingList->count(); ++i)
                    findings << p.FindingList->item(i)->text();
                return int(mrCancel);
            });
            run->ui.dialogScripts.push_front(chooseDefaultRoute);
            f.SendMailAction->trigger();
            // Sent once, the check not to be shown again; then no check at all.
            run->ui.dialogScripts.push_front([](QDialog& d) {
                auto& p = static_cast<TPreflightForm&>(d);
                p.DontShowCheck->setChecked(true);
                p.OKButton->click();
                return int(mrOk);
            });
            run->ui.dialogScripts.push_front(chooseDefaultRoute);
            f.SendMailAction->trigger();
            run->ui.dialogScripts.push_front(chooseDefaultRoute);
            f.SendMailAction->trigger();
        });
        QCOMPARE(summary, QString("3 warning(s): look at them before sending."));
        QCOMPARE(findings, (QStringList{"2 recipient(s): %TOWN% is not replaced in the message (ann@x.org, bob@x.org)",
                                        "The message has no text",
                                        "The message has no From: receivers may refuse it (insert a template with a "
                                        "reply-to line, or tick \"Use the sender address as From\" in Program options)",
                                        findings.value(3)}));
        QVERIFY2(
            QRegularExpression("^2 message\\(s\\), about \\d+\\.\\d KB in all$").match(findings.value(3)).hasMatch(),
            qPrintable(findings.value(3)));
        int preflightShown = 0;
        for (const auto& p : run->ui.prompts)
            preflightShown += p.dialogClass == "TPreflightForm";
        QCOMPARE(preflightShown, 2);
        QVERIFY(peer.waitClosed(2));
        QCOMPARE(peer.messages().size(), size_t(4));
        QCOMPARE(setting("Option/SkipPreflight"), QString("1"));
        QVERIFY(!main().propertiesForm().PreflightCheck->isChecked());
    }

    void programOptionsKeepTheMessageOptions()
    {
        TPropertiesForm& options = main().propertiesForm();
        QCOMPARE(options.CodePageBox->currentData().toString(), QString("auto"));
        run->ui.dialogScripts.push_back([&](QDialog&) {
            options.CodePageBox->setCurrentIndex(options.CodePageBox->findData("utf-8"));
            options.FromSenderCheck->setChecked(true);
            return int(mrOk);
        });
        main().showProgramOptions(TPropertiesForm::kMessagePage);
        QCOMPARE(setting("Option/CodePage"), QString("utf-8"));
        QCOMPARE(setting("Option/FromSender"), QString("1"));
        // Cancel leaves what was confirmed.
        run->ui.dialogScripts.push_back([&](QDialog&) {
            options.FromSenderCheck->setChecked(false);
            return int(mrCancel);
        });
        main().showProgramOptions(TPropertiesForm::kMessagePage);
        QVERIFY(options.FromSenderCheck->isChecked());
        QVERIFY(!main().findChild<QLabel*>("CodePagePanel"));

        // A chosen code page is named in the status bar.
        run->close();
        selectCodePage("utf-8");
        startProgram();
        selectCodePage("auto");
        const QLabel* panel = main().findChild<QLabel*>("CodePagePanel");
        QVERIFY(panel);
        QCOMPARE(panel->text(), QString("Code page: UTF-8"));
        QCOMPARE(main().propertiesForm().CodePageBox->currentText(), QString("UTF-8 (Unicode)"));
    }
};

QUILLET_APP_TEST_MAIN(MessageWindowTests)
#include "MessageWindowTests.moc"
