// The mail server window: what it shows of received messages, delivered by a real SMTP client.
// The parsing of received messages is tested in the core (tests/transport/ReceivedMessageTest.cpp).
#include "server/forms/TSMTPServerForm.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

using namespace quillet;

class TSMTPServerFormTests : public QObject {
    Q_OBJECT
private slots:
    void windowShowsLastMessageDeliveredByRealClient()
    {
        TSMTPServerForm form;
        QVERIFY(form.windowFlags() & Qt::WindowStaysOnTopHint);
        // Tab goes from Hide to Properties to the body.
        const auto nextByTab = [](QWidget* from) {
            QWidget* next = from->nextInFocusChain();
            while (!(next->focusPolicy() & Qt::TabFocus))
                next = next->nextInFocusChain();
            return next;
        };
        QCOMPARE(nextByTab(form.HideButton), form.PropertiesButton);
        QCOMPARE(nextByTab(form.PropertiesButton), form.Memo1);
        // At least the classic 360 x 208, tall enough for seven whole body lines; "Subject:"
        // ends before its value begins.
        QCOMPARE(form.width(), 360);
        QVERIFY(form.height() >= 208);
        QVERIFY(form.Memo1->height() >= 7 * form.Memo1->fontMetrics().lineSpacing());
        form.show();
        QVERIFY(form.Label3->geometry().right() < form.SubjectLabel->geometry().left());
        form.hide();
        form.SMTPServer1.DefaultPort = 0;
        form.SMTPServer1.SetActive(true);
        const int port = form.SMTPServer1.BoundPort();
        QSignalSpy shown(&form, &TSMTPServerForm::messageShown);

        const QString script = QString(R"(
import smtplib, sys
from email.message import EmailMessage
s = smtplib.SMTP('127.0.0.1', %1, timeout=20)
for n in (1, 2):
    m = EmailMessage()
    m['From'] = 'me@example.org'
    m['To'] = 'Ann Lee <a@example.org>, b@example.org'
    m['Subject'] = 'Message %d' % n
    m.set_content('Hello number %d\nBye' % n)
    s.send_message(m, to_addrs=['Ann <a@example.org>', 'b@example.org'])
s.quit()
)")
                                   .arg(port);
        QProcess client;
        client.start("/usr/bin/python3", {"-c", script});
        QVERIFY(client.waitForFinished(30000));
        QCOMPARE(client.exitCode(), 0);
        QTRY_COMPARE_WITH_TIMEOUT(shown.count(), 2, 10000);
        QCOMPARE(form.SubjectLabel->text(), QString("Message 2"));
        QCOMPARE(form.ToLabel->text(), QString("Ann Lee <a@example.org>, b@example.org"));
        QCOMPARE(form.Memo1->toPlainText(), QString("Hello number 2\nBye"));
        QVERIFY(form.isHidden());
        form.SMTPServer1.SetActive(false);
    }

    void hideAndProperties()
    {
        TSMTPServerForm form;
        int properties = 0;
        form.onProperties = [&] { ++properties; };
        form.show();
        form.HideButton->click();
        QVERIFY(form.isHidden());
        form.PropertiesButton->click();
        QCOMPARE(properties, 1);
    }
};

QTEST_MAIN(TSMTPServerFormTests)
#include "TSMTPServerFormTests.moc"
