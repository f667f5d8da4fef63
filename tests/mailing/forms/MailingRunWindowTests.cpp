// Whole mailing runs started from the send window against real sockets: the built-in server
// (with the mail server window showing what arrived) and a scripted SMTP peer. The run goes on
// the window thread; the scripted interface's processEvents hook stands for the event loop.
#include "addressbook/forms/AddressBookController.h"
#include "app/AppTestEnvironment.h"
#include "support/ScriptedSmtpPeer.h"
#include "mailing/forms/MailingController.h"
#include "mailing/forms/RunOptionsPage.h"
#include "mailing/forms/RunsWindow.h"
#include "mailing/forms/TSelectMailServerForm.h"
#include "mailing/forms/TSendMailForm.h"
#include "mailing/forms/TSendingStatusForm.h"
#include "project/forms/TPropertiesForm.h"
#include "mailing/RunJournal.h"
#include "project/settings/SettingsStore.h"
#include "server/forms/TSMTPServerForm.h"
#include "support/FreePort.h"
#include "transport/TlsPeer.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QElapsedTimer>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTreeView>
#include <QToolButton>
#include <QTreeWidget>

using namespace quillet;
using namespace quillet::test;

namespace {

RecipientRecord recipient(const char* email, const char* name, const char* group)
{
    RecipientRecord r;
    r.EMail.set(email);
    r.Name.set(name);
    r.Group.set(group);
    return r;
}

// A server that takes connections (the system completes them) and never says a word.
class SilentServer {
public:
    SilentServer()
    {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (fd_ < 0 || ::bind(fd_, reinterpret_cast<sockaddr*>(&address), length) != 0 || ::listen(fd_, 4) != 0)
            throw std::runtime_error("the silent server cannot listen");
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
    }
    ~SilentServer() { ::close(fd_); }
    int port() const { return port_; }

private:
    int fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int port_ = 0;
};

enum class Method { Default, Rotating, BuiltIn };

std::function<int(QDialog&)> chooseMethod(Method method)
{
    return [method](QDialog& d) {
        auto& f = static_cast<TSelectMailServerForm&>(d);
        (method == Method::Default    ? f.DefaultSMTPButton
         : method == Method::Rotating ? f.AllServersButton
                                      : f.BuildInServersButton)
            ->setChecked(true);
        f.OKButton->click();
        return d.result() == QDialog::Accepted ? int(mrOk) : int(mrCancel);
    };
}

} // namespace

class MailingRunWindowTests : public QObject {
    Q_OBJECT

    std::unique_ptr<FreshProgram> program;
    std::unique_ptr<ProgramRun> run;

    TOrvQuilletForm& main() { return *run->form; }
    TSendMailForm& send() { return *main().findChild<TSendMailForm*>(); }
    TSendingStatusForm& status() { return *main().findChild<TSendingStatusForm*>(); }
    TSMTPServerForm& serverWindow() { return main().mailing().smtpServerForm(); }

    void selectGroup(const QString& name)
    {
        const auto items = main().groupListView()->findItems(name, Qt::MatchExactly);
        QVERIFY(!items.isEmpty());
        main().groupListView()->setCurrentItem(items.first());
    }
    QStringList recipientCaptions()
    {
        QStringList captions;
        auto* model = main().recipientListView()->model();
        for (int row = 0; model && row < model->rowCount(); ++row)
            captions << model->index(row, 0).data().toString();
        return captions;
    }
    // The send window's script: write the message, send once per entry of methods, close.
    void scriptSendWindow(const QString& subject, const QStringList& body, std::vector<Method> methods)
    {
        run->ui.dialogScripts.push_back([this, subject, body, methods](QDialog& d) {
            auto& f = static_cast<TSendMailForm&>(d);
            f.SubEdit->setText(subject);
            f.setBodyLines(body);
            for (Method method : methods) {
                run->ui.dialogScripts.push_front(chooseMethod(method));
                f.SendMailAction->trigger();
            }
            f.CloseAction->trigger();
            return int(mrCancel);
        });
    }
    void useDefaultServer(int port)
    {
        main().propertiesForm().SMTPEdit->setText("127.0.0.1");
        main().propertiesForm().PortEdit->setText(QString::number(port));
        main().propertiesForm().SendFromEdit->setText("sender@example.org");
    }
    QStringList messageTexts()
    {
        QStringList texts;
        for (const auto& m : run->ui.messages())
            texts << m.text;
        return texts;
    }

private slots:
    void init()
    {
        program = std::make_unique<FreshProgram>();
        Project project;
        project.properties.Name.set("Runs");
        project.groups = {{"Five", ""}, {"Ten", ""}, {"Empty", ""}};
        for (const char* e : {"e@x.org", "a@x.org", "d@x.org", "c@x.org", "b@x.org"})
            project.recipients.push_back(recipient(e, e, "Five"));
        for (int i = 0; i < 10; ++i) {
            const std::string e = "n" + std::to_string(i) + "@y.org";
            project.recipients.push_back(recipient(e.c_str(), ("N" + std::to_string(i)).c_str(), "Ten"));
        }
        saveProjectFile(project, program->localPath("default.oqf"));
        // These runs go without the pre-flight dialog; MessageWindowTests show it.
        QSettings settings("Orv", "Quillet");
        settings.setValue("Option/SkipPreflight", "1");
        settings.sync();
        run = std::make_unique<ProgramRun>();
        run->start();
        QCOMPARE(main().groupListView()->topLevelItemCount(), 3);
    }
    void cleanup()
    {
        run->close();
        run.reset();
        program.reset();
    }

    void longSelectionShowsItsCountAndTheFirstAddresses()
    {
        Project& project = main().project();
        project.groups.push_back({"Many", ""});
        for (int i = 0; i < 150; ++i)
            project.recipients.push_back(
                recipient(QString::asprintf("m%03d@z.org", i).toUtf8().constData(), "M", "Many"));
        main().addressBook().showGroups();
        selectGroup("Many");
        QString shown, count;
        run->ui.dialogScripts.push_back([&](QDialog& d) {
            shown = static_cast<TSendMailForm&>(d).BccEdit->text();
            count = static_cast<TSendMailForm&>(d).RecipientCountLabel->text();
            return int(mrCancel);
        });
        main().action("EMailToGroupAction")->trigger();
        QString expected = "150 recipients: ";
        for (int i = 0; i < 100; ++i)
            expected += QString::asprintf("m%03d@z.org;", i);
        QCOMPARE(shown, expected + " ...");
        // The count beside it is the selection's, not the 100 addresses the line holds.
        QCOMPARE(count, QString("150 recipients"));
    }

    void groupThroughBuiltInServer()
    {
        main().propertiesForm().BuildInPortEdit->setText(QString::number(freePort()));
        main().propertiesForm().BuildInFromEdit->setText("me@example.org");
        selectGroup("Five");
        QCOMPARE(recipientCaptions(), (QStringList{"a@x.org", "b@x.org", "c@x.org", "d@x.org", "e@x.org"}));
        QStringList counts, addresses;
        QString all;
        run->ui.onProcessEvents = [&] {
            if (status().isVisible() && (counts.isEmpty() || counts.back() != status().NumberLabel->text()))
                counts << status().NumberLabel->text();
            if (status().isVisible() && (addresses.isEmpty() || addresses.back() != status().Animate1->text()))
                addresses << status().Animate1->text();
            all = status().AllLabel->text();
        };
        // The closing box is not hidden behind the always-on-top status window.
        bool statusShownWithTheBox = true, stopEnabledWithTheBox = true;
        run->ui.onMessage = [&](const RecordedPrompt&) {
            statusShownWithTheBox = status().isVisible();
            stopEnabledWithTheBox = status().Button1->isEnabled();
        };
        scriptSendWindow("Hello %NAME%", {"Body for %ADDRESS%"}, {Method::BuiltIn});
        main().action("EMailToGroupAction")->trigger();

        QCOMPARE(send().BccEdit->text(), QString("a@x.org;b@x.org;c@x.org;d@x.org;e@x.org;"));
        QCOMPARE(messageTexts(), QStringList{"Mail sending complete!\n5 of 5 messages sent"});
        QCOMPARE(run->ui.messages()[0].caption, QString("Orv Quillet!"));
        QVERIFY(!statusShownWithTheBox);
        QVERIFY(!stopEnabledWithTheBox);
        QCOMPARE(all, QString("5"));
        QCOMPARE(counts, (QStringList{"0", "1", "2", "3", "4", "5"}));
        // The status window names the recipient of the message under way.
        QCOMPARE(addresses, (QStringList{"Sending to: a@x.org", "Sending to: b@x.org", "Sending to: c@x.org",
                                         "Sending to: d@x.org", "Sending to: e@x.org", ""}));
        QStringList labels;
        for (const QLabel* label : status().findChildren<QLabel*>())
            labels << label->text();
        QVERIFY(labels.contains("Sent:") && labels.contains("Total:"));
        QVERIFY(status().isHidden());
        QVERIFY(!serverWindow().SMTPServer1.Active());
        // The last message reaches the server window through the event loop.
        QTRY_COMPARE_WITH_TIMEOUT(serverWindow().SubjectLabel->text(), QString("Hello e@x.org"), 5000);
        QCOMPARE(serverWindow().ToLabel->text(), QString("e@x.org"));
        QCOMPARE(serverWindow().Memo1->toPlainText(), QString("Body for e@x.org"));
        QVERIFY(serverWindow().isHidden());
        // The window's own text keeps its macros for the next run.
        QCOMPARE(send().SubEdit->text(), QString("Hello %NAME%"));
    }

    void threeOfFiveSelectedRowsThroughScriptedPeer()
    {
        ScriptedSmtpPeer peer;
        peer.start();
        useDefaultServer(peer.port());
        selectGroup("Five");
        auto* view = main().recipientListView();
        view->clearSelection();
        for (int row : {1, 2, 4})
            view->selectionModel()->select(view->model()->index(row, 0),
                                           QItemSelectionModel::Select | QItemSelectionModel::Rows);
        QString all;
        run->ui.onProcessEvents = [&] {
            if (status().isVisible()) {
                all = status().AllLabel->text();
                // The close box only hides the status window; the run goes on.
                status().close();
            }
        };
        scriptSendWindow("Hi %NAME%", {"line"}, {Method::Default});
        main().action("EMailToCurrentAction")->trigger();

        QCOMPARE(send().BccEdit->text(), QString("b@x.org;c@x.org;e@x.org;"));
        QCOMPARE(messageTexts(), QStringList{"Mail sending complete!\n3 of 3 messages sent"});
        QCOMPARE(all, QString("3"));
        QVERIFY(peer.waitClosed(1));
        std::vector<std::string> rcpt;
        for (const auto& c : peer.allCommands())
            if (c.rfind("RCPT", 0) == 0)
                rcpt.push_back(c);
        QCOMPARE(rcpt, (std::vector<std::string>{"RCPT TO:<b@x.org>", "RCPT TO:<c@x.org>", "RCPT TO:<e@x.org>"}));
        QCOMPARE(peer.connections().size(), size_t(1));
    }

    void skipsAreCountedInTheClosingBoxWhichOpensTheRunForItsResume()
    {
        // The second message's data is refused; the Options page says to go on.
        ScriptedSmtpPeer peer;
        peer.failDataOf = 2;
        peer.start();
        useDefaultServer(peer.port());
        selectGroup("Five");
        run->ui.dialogScripts.push_back([this](QDialog& d) {
            auto& f = static_cast<TSendMailForm&>(d);
            f.SubEdit->setText("Hi");
            f.OptionsPage->OnErrorBox->setCurrentIndex(1);
            f.OptionsPage->RateEdit->setText("1000/s");
            f.OptionsPage->RetryWaitEdit->setValue(5);
            run->ui.dialogScripts.push_front(chooseMethod(Method::Default));
            run->ui.messageAnswers.push_back(mrNo); // open the run
            f.SendMailAction->trigger();
            f.CloseAction->trigger();
            return int(mrCancel);
        });
        QString shownRun, resumedRun;
        run->ui.dialogScripts.push_back([&](QDialog& d) {
            auto& runs = static_cast<RunsWindow&>(d);
            shownRun = runs.Details->toPlainText();
            runs.ResumeButton->click(); // b@x.org again: now the peer takes it
            resumedRun = runs.Details->toPlainText();
            return int(mrOk);
        });
        main().action("EMailToGroupAction")->trigger();

        QCOMPARE(
            messageTexts(),
            (QStringList{"Mail sending complete!\n4 of 5 messages sent\n0 skipped, 1 failed\n\nResume the run now, "
                         "sending to the recipients not yet sent? (No: open the run)",
                         "Mail sending complete!\n1 of 1 messages sent"}));
        QVERIFY(shownRun.contains("Counts: sent 4, rejected 1, failed 0, unknown 0, skipped 0, not tried 0 of 5"));
        QVERIFY(shownRun.contains("of 5\n\nNot sent:\nb@x.org\trejected\t554 no thanks\n\na@x.org\tsent"));
        QVERIFY(resumedRun.contains("Counts: sent 5, rejected 0"));
        QVERIFY(peer.waitClosed(2));
        QCOMPARE(peer.messages().size(), size_t(5));
        // The options are remembered for the next showing of the window.
        QCOMPARE(SettingsStore().readRun().onError, QString("skip"));
        QCOMPARE(SettingsStore().readRun().rate, QString("1000/s"));
        QCOMPARE(SettingsStore().readRun().retryWaitSeconds, 5);
    }

    void aRunThatASessionStillSendsShowsAsRunningAndCannotBeResumed()
    {
        RunDescription description;
        description.route = "default";
        description.projectPath = main().project().path;
        description.group = "Five";
        description.recipients = {"a@x.org"};
        RunJournal going = RunJournal::Create(description); // the session of another window
        QString counts, details;
        bool resumable = true;
        run->ui.dialogScripts.push_back([&](QDialog& d) {
            auto& runs = static_cast<RunsWindow&>(d);
            counts = runs.RunList->currentItem()->text(4);
            details = runs.Details->toPlainText();
            resumable = runs.ResumeButton->isEnabled();
            return int(mrOk);
        });
        main().mailing().ShowRunsWindow(going.Id());
        const QString running = QString("running (process %1)").arg(::getpid());
        QVERIFY(counts.startsWith(running + ": sent 0"));
        QVERIFY(details.startsWith(running + "\n"));
        QVERIFY(!resumable);
    }

    void aResumeNamesTheUnknownAndTheRemovedRecipientsAndLeavesTheUnknownOutWhenAsked()
    {
        ScriptedSmtpPeer peer;
        peer.start();
        useDefaultServer(peer.port());
        // A run killed while b@x.org's fate was open; gone@x.org has left the group since.
        RunDescription description;
        description.route = "default";
        description.projectPath = main().project().path;
        description.group = "Five";
        description.recipients = {"a@x.org", "b@x.org", "c@x.org", "gone@x.org"};
        description.draft.subject = "Hi";
        description.servers = {{"127.0.0.1", std::to_string(peer.port()), "", "sender@example.org", ""}};
        std::string id;
        {
            RunJournal journal = RunJournal::Create(description);
            id = journal.Id();
            journal.Outcome(0, "a@x.org", RecipientStatus::Sent, "250 ok", 1);
            journal.Pending(1, "b@x.org");
        }
        QString question;
        run->ui.messageAnswers.push_back(mrNo); // leave b@x.org out
        run->ui.dialogScripts.push_back([&](QDialog& d) {
            auto& runs = static_cast<RunsWindow&>(d);
            runs.ResumeButton->click();
            return int(mrOk);
        });
        // While the resumed run goes on, nothing starts another one.
        bool anotherRunOffered = false;
        run->ui.onProcessEvents = [&] {
            if (status().isVisible())
                anotherRunOffered |= main().mailing().runsWindow().ResumeButton->isEnabled() ||
                                     send().OptionsPage->RunsButton->isEnabled();
        };
        main().mailing().ShowRunsWindow(id);
        QVERIFY(!anotherRunOffered);
        QVERIFY(main().mailing().runsWindow().ResumeButton->isEnabled());

        QCOMPARE(messageTexts().value(0),
                 QString("No longer in the group, not sent (1):\n  gone@x.org\n\n"
                         "Outcome unknown: the message may have arrived (1):\n  b@x.org\n\n"
                         "Send to the recipients whose outcome is unknown again? (No: leave them out)"));
        QCOMPARE(messageTexts().value(1), QString("Mail sending complete!\n1 of 1 messages sent"));
        QVERIFY(peer.waitClosed(1));
        QCOMPARE(peer.messages().size(), size_t(1));
        QVERIFY(peer.messages()[0].find("To: c@x.org") != std::string::npos);
    }

    void noSelectionAndNoHostAreReported()
    {
        selectGroup("Five");
        main().recipientListView()->clearSelection();
        // Emptying a selection need not disable the action; the handler checks for itself.
        main().action("EMailToCurrentAction")->setEnabled(true);
        main().action("EMailToCurrentAction")->trigger();
        QCOMPARE(messageTexts(), QStringList{"Have not selected recipient"});
        QCOMPARE(run->ui.messages()[0].caption, QString("Error"));

        // No default host: the options dialog is offered, then "SMTP Server error!".
        main().propertiesForm().SMTPEdit->clear();
        int optionsShown = 0;
        run->ui.dialogScripts.push_back([&](QDialog& d) {
            auto& f = static_cast<TSendMailForm&>(d);
            run->ui.dialogScripts.push_front([&](QDialog&) {
                ++optionsShown;
                return int(mrCancel);
            });
            run->ui.dialogScripts.push_front(chooseMethod(Method::Default));
            f.SendMailAction->trigger();
            return int(mrCancel);
        });
        main().action("EMailToGroupAction")->trigger();
        QCOMPARE(optionsShown, 1);
        QCOMPARE(messageTexts(), (QStringList{"Have not selected recipient", "SMTP Server error!"}));
        QCOMPARE(run->ui.messages()[1].caption, QString("Error!"));
        QVERIFY(status().isHidden());
    }

    void stopDuringThirdOfTen()
    {
        ScriptedSmtpPeer peer;
        peer.start();
        useDefaultServer(peer.port());
        selectGroup("Ten");
        int callsAtTwo = 0;
        bool blockedDuringRun = false;
        run->ui.onProcessEvents = [&] {
            if (!status().isVisible() || status().NumberLabel->text() != "2")
                return;
            blockedDuringRun = !send().SendMailAction->isEnabled();
            // The first call follows the second message; later ones come from network waits
            // of the third.
            if (++callsAtTwo == 2)
                status().Button1->click();
        };
        scriptSendWindow("Stop test", {"x"}, {Method::Default});
        main().action("EMailToGroupAction")->trigger();

        QVERIFY(callsAtTwo >= 2);
        QVERIFY(blockedDuringRun);
        // What a stopped run did, under the closing text.
        QCOMPARE(messageTexts(), QStringList{"Mail sending complete!\n3 of 10 messages sent"});
        QVERIFY(peer.waitClosed(1));
        QCOMPARE(peer.messages().size(), size_t(3));
        QVERIFY(send().SendMailAction->isEnabled());
    }

    void errorMidRunShowsItsTextAndNextRunSucceeds()
    {
        ScriptedSmtpPeer peer;
        peer.failDataOf = 2;
        peer.start();
        useDefaultServer(peer.port());
        selectGroup("Five");
        scriptSendWindow("Twice", {"x"}, {Method::Default, Method::Default});
        main().action("EMailToGroupAction")->trigger();

        const auto messages = run->ui.messages();
        QCOMPARE(messages.size(), size_t(2));
        // The server's text, then where and at whom the run failed and what it had sent.
        QCOMPARE(messages[0].text, QString("no thanks\r\n\nServer: 127.0.0.1, port %1\n1 of 5 messages sent\n"
                                           "Not sent to: b@x.org")
                                       .arg(peer.port()));
        QCOMPARE(messages[0].caption, QString("Orv Quillet"));
        QCOMPARE(messages[0].icon, MessageIcon::Stop);
        QCOMPARE(messages[1].text, QString("Mail sending complete!\n5 of 5 messages sent"));
        QVERIFY(peer.waitClosed(2));
        // One message before the failure, then all five.
        QCOMPARE(peer.messages().size(), size_t(6));
        QVERIFY(status().isHidden());
    }

    void ctrlEOnEmptyGroupCompletes()
    {
        main().propertiesForm().BuildInPortEdit->setText(QString::number(freePort()));
        selectGroup("Empty");
        QVERIFY(main().action("EMailToGroupAction")->isEnabled());
        scriptSendWindow("Nobody", {}, {Method::BuiltIn});
        main().activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&main()));
        main().recipientListView()->setFocus();
        QTest::keyClick(main().recipientListView(), Qt::Key_E, Qt::ControlModifier);
        QCOMPARE(send().BccEdit->text(), QString());
        QCOMPARE(messageTexts(), QStringList{"Mail sending complete!\n0 of 0 messages sent"});
        QVERIFY(!serverWindow().SMTPServer1.Active());
    }

    // Stop, and closing the send window, end a wait for a server that never greets at once (the
    // greeting may take minutes by default); the closing box says how many messages went.
    void stopAndClosingEndAWaitOnASilentServer()
    {
        for (const bool byClosing : {false, true}) {
            SilentServer silent;
            useDefaultServer(silent.port());
            selectGroup("Five");
            QElapsedTimer waiting, sinceStop;
            qint64 endedAfter = -1;
            run->ui.onProcessEvents = [&] {
                if (!status().isVisible() || sinceStop.isValid())
                    return;
                if (!waiting.isValid())
                    waiting.start();
                if (waiting.elapsed() < 300) // well into the wait for the greeting
                    return;
                sinceStop.start();
                if (byClosing) {
                    // As the window system asks a window to close.
                    QCloseEvent close;
                    QApplication::sendEvent(&send(), &close);
                    QVERIFY(!close.isAccepted());
                } else {
                    status().Button1->click();
                }
            };
            run->ui.onMessage = [&](const RecordedPrompt&) { endedAfter = sinceStop.elapsed(); };
            scriptSendWindow("Silence", {"x"}, {Method::Default});
            const int shown = int(run->ui.messages().size());
            main().action("EMailToGroupAction")->trigger();

            QVERIFY(sinceStop.isValid());
            QCOMPARE(run->ui.messages().size(), size_t(shown + 1));
            QCOMPARE(run->ui.messages().back().text, QString("Mail sending complete!\n0 of 5 messages sent"));
            qInfo("%s ended the run %lld ms after it", byClosing ? "closing" : "Stop", endedAfter);
            QVERIFY2(endedAfter >= 0 && endedAfter < 2000, QByteArray::number(endedAfter));
            QVERIFY(send().isHidden());
            QVERIFY(send().SendMailAction->isEnabled());
        }
    }

    // Program options hold the connection security and the trusted-certificates file; the run
    // uses them, and a file where they were never changed does not get them.
    void securityChoiceOfProgramOptionsReachesTheRun()
    {
        TPropertiesForm& options = main().propertiesForm();
        run->ui.dialogScripts.push_back([](QDialog&) { return int(mrOk); });
        main().showProgramOptions(TPropertiesForm::kDefaultServerPage);
        const QString settingsFile = SettingsStore().fileName();
        QVERIFY(!fileBytes(settingsFile).contains("Security"));
        QCOMPARE(options.SecurityCombo->count(), 4);

        run->ui.fileAnswers.push_back("/etc/ssl/certs/ca-certificates.crt");
        run->ui.dialogScripts.push_back([](QDialog& d) {
            auto& f = static_cast<TPropertiesForm&>(d);
            f.SecurityCombo->setCurrentIndex(f.SecurityCombo->findData("starttls"));
            f.TlsCaFileButton->click();
            return int(mrOk);
        });
        main().showProgramOptions(TPropertiesForm::kDefaultServerPage);
        QCOMPARE(options.TlsCaFileEdit->text(), QString("/etc/ssl/certs/ca-certificates.crt"));
        const SecuritySettings stored = SettingsStore().readSecurity();
        QCOMPARE(stored.security, QString("starttls"));
        QCOMPARE(stored.caFile, QString("/etc/ssl/certs/ca-certificates.crt"));
        // Cancel takes back what was chosen.
        run->ui.dialogScripts.push_back([](QDialog& d) {
            static_cast<TPropertiesForm&>(d).SecurityCombo->setCurrentIndex(3);
            return int(mrCancel);
        });
        main().showProgramOptions(TPropertiesForm::kDefaultServerPage);
        QCOMPARE(options.connectionSecurity(), QString("starttls"));

        // STARTTLS required against a server without TLS: refused before any mail command.
        ScriptedSmtpPeer peer;
        peer.start();
        useDefaultServer(peer.port());
        selectGroup("Five");
        scriptSendWindow("Secure", {"x"}, {Method::Default});
        main().action("EMailToGroupAction")->trigger();
        QCOMPARE(messageTexts().back(),
                 QString("The server 127.0.0.1 offers no TLS; the connection security setting requires it.\n"
                         "Server: 127.0.0.1, port %1\n0 of 5 messages sent")
                     .arg(peer.port()));
        QVERIFY(peer.waitClosed(1));
        for (const std::string& command : peer.allCommands())
            QVERIFY2(command.rfind("EHLO", 0) == 0 || command == "QUIT", command.c_str());
    }

    // A certificate that is not trusted: the box names the reason and the fingerprint and offers
    // to trust it for this host and port; Yes stores the pin and the run goes on. A pinned server
    // whose certificate changed is asked about plainly, No the default; Program options list the
    // pins with Remove.
    void untrustedCertificateIsOfferedAndTrustedByPin()
    {
        if (const char* missing = TlsPeer::Missing())
            QSKIP(missing);
        TlsPeer peer("starttls", "self");
        QVERIFY(peer.Port() != 0);
        useDefaultServer(peer.Port());
        main().propertiesForm().UserNameEdit->setText("user");
        main().propertiesForm().PasswordEdit->setText("secret");
        selectGroup("Five");
        run->ui.messageAnswers = {int(mrYes)};
        scriptSendWindow("Pinned", {"x"}, {Method::Default});
        main().action("EMailToGroupAction")->trigger();

        const auto messages = run->ui.messages();
        QCOMPARE(messages.size(), size_t(2));
        const QString prefix = QString("The certificate of the server 127.0.0.1 (port %1) is not trusted: the "
                                       "certificate is self-signed.\r\nSHA-256 fingerprint: ")
                                   .arg(peer.Port());
        QVERIFY2(messages[0].text.startsWith(prefix), qPrintable(messages[0].text));
        const QString fingerprint = messages[0].text.mid(prefix.size(), 95);
        QVERIFY2(messages[0].text.endsWith(QString("\n\nTrust this certificate for 127.0.0.1, port %1 from now on? "
                                                   "The run then goes on.")
                                               .arg(peer.Port())),
                 qPrintable(messages[0].text));
        QCOMPARE(messages[0].buttons, MessageButtons::YesNo);
        QCOMPARE(SettingsStore().readSecurity().pins, QString("127.0.0.1:%1=%2").arg(peer.Port()).arg(fingerprint));
        QCOMPARE(messages[1].text, QString("Mail sending complete!\n5 of 5 messages sent"));
        QVERIFY(!peer.Received(6));
        QVERIFY(peer.Received(5));
        QCOMPARE(peer.AuthLog(), QByteArray("LOGIN user ok tls\n").toStdString());

        const QString stale = QString(95, 'A');
        SettingsStore store;
        store.addPin("127.0.0.1", peer.Port(), stale);
        store.sync();
        run->ui.messageAnswers = {int(mrNo)};
        scriptSendWindow("Pinned", {"x"}, {Method::Default});
        main().action("EMailToGroupAction")->trigger();
        const RecordedPrompt changed = run->ui.messages()[2];
        QVERIFY2(changed.text.startsWith(QString("The certificate of 127.0.0.1 (port %1) has changed since you trusted "
                                                 "it.\n\nTrusted: %2\nNow offered: %3\n\n")
                                             .arg(peer.Port())
                                             .arg(stale, fingerprint)),
                 qPrintable(changed.text));
        QCOMPARE(changed.buttons, MessageButtons::YesNoDefaultNo);
        QCOMPARE(SettingsStore().pinnedFingerprint("127.0.0.1", peer.Port()), stale);

        run->ui.dialogScripts.push_back([](QDialog& d) {
            auto& options = static_cast<TPropertiesForm&>(d);
            if (options.PinList->count() != 1 || !options.PinList->item(0)->text().endsWith(QString(95, 'A')))
                return int(mrCancel);
            options.PinList->setCurrentRow(0);
            options.RemovePinButton->click();
            return int(mrOk);
        });
        main().showProgramOptions();
        QVERIFY(SettingsStore().pins().empty());
    }

    void aFailedRunsClosingBoxResumesItAndTheRunsAreInTheMailingMenu()
    {
        ScriptedSmtpPeer peer;
        peer.failDataOf = 2;
        peer.start();
        useDefaultServer(peer.port());
        selectGroup("Five");
        run->ui.dialogScripts.push_back([this](QDialog& d) {
            auto& f = static_cast<TSendMailForm&>(d);
            f.SubEdit->setText("Hi");
            f.OptionsPage->OnErrorBox->setCurrentIndex(1);
            run->ui.dialogScripts.push_front(chooseMethod(Method::Default));
            run->ui.messageAnswers.push_back(mrYes); // resume now
            f.SendMailAction->trigger();
            f.CloseAction->trigger();
            return int(mrCancel);
        });
        main().action("EMailToGroupAction")->trigger();
        QCOMPARE(run->ui.messages().front().buttons, MessageButtons::YesNoCancel);
        QCOMPARE(messageTexts().back(), QString("Mail sending complete!\n1 of 1 messages sent"));
        QVERIFY(peer.waitClosed(2));
        QCOMPARE(peer.messages().size(), size_t(5));

        QString shownRun;
        run->ui.dialogScripts.push_back([&](QDialog& d) {
            shownRun = static_cast<RunsWindow&>(d).Details->toPlainText();
            return int(mrCancel);
        });
        main().action("RunsAction")->trigger();
        QVERIFY2(shownRun.contains("Counts: sent 5, rejected 0"), qPrintable(shownRun));
    }

    void serverWindowFromOptionsMenu()
    {
        QAction* show = main().action("MailServerAction");
        if (!show)
            QSKIP("the main window has no Mail server entry");
        show->trigger();
        QVERIFY(serverWindow().isVisible());
        int optionsPage = -1;
        run->ui.dialogScripts.push_back([&](QDialog& d) {
            optionsPage = static_cast<TPropertiesForm&>(d).PageControl->currentIndex();
            return int(mrCancel);
        });
        serverWindow().PropertiesButton->click();
        QCOMPARE(optionsPage, int(TPropertiesForm::kBuiltInServerPage));
        serverWindow().HideButton->click();
        QVERIFY(serverWindow().isHidden());
    }
};

QUILLET_APP_TEST_MAIN(MailingRunWindowTests)
#include "MailingRunWindowTests.moc"
