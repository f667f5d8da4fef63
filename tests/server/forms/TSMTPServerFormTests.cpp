// The mail server window: what it shows of received messages, delivered by a real SMTP client.
#include "server/forms/TSMTPServerForm.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

using namespace quillet;

namespace {

TEMailAddressList recipients(std::initializer_list<TEMailAddressItem> items)
{
    TEMailAddressList list;
    for (const auto& item : items)
        list.Add(item);
    return list;
}

} // namespace

class TSMTPServerFormTests : public QObject {
    Q_OBJECT
private slots:
    void plainMessageSummary()
    {
        const std::string raw = "From: a@b.c\r\n"
                                "Subject: =?ISO-8859-1?Q?Gr=FC=DFe_aus?=\r\n"
                                "\t=?ISO-8859-1?B?S/ZsbiE=?= und mehr\r\n"
                                "To: =?UTF-8?B?SsO2cmc=?= <j@x.org>, \"Lee, Ann\" <ann@x.org>\r\n"
                                "\r\n"
                                "Dear Ann,\r\n"
                                "\r\n"
                                "Subject: not a header\r\n";
        const auto summary = SummariseReceivedMessage(
            raw, recipients({TEMailAddressItem("ann@x.org", "Ann Lee"), TEMailAddressItem("bob@y.org")}));
        QCOMPARE(QString::fromStdString(summary.to), QString::fromUtf8("\"Jörg\" <j@x.org>, \"Lee, Ann\" <ann@x.org>"));
        // Without a To header the envelope recipients are shown.
        const auto envelope = SummariseReceivedMessage(
            "Subject: x\r\n\r\nbody\r\n", recipients({TEMailAddressItem("ann@x.org", "Ann Lee"), TEMailAddressItem("bob@y.org")}));
        QCOMPARE(QString::fromStdString(envelope.to), QString("Ann Lee <ann@x.org>, bob@y.org"));
        QCOMPARE(QString::fromStdString(summary.subject), QString::fromUtf8("Grüße ausKöln! und mehr"));
        QCOMPARE(summary.body.size(), size_t(3));
        QCOMPARE(QString::fromStdString(summary.body[0]), QString("Dear Ann,"));
        QCOMPARE(QString::fromStdString(summary.body[2]), QString("Subject: not a header"));
    }

    void multipartShowsFirstTextPart()
    {
        const std::string raw = "Subject: files\r\n"
                                "Content-Type: multipart/mixed;\r\n\tboundary=\"=_b0und\"\r\n"
                                "\r\n"
                                "This is a multi-part message in MIME format\r\n"
                                "\r\n"
                                "--=_b0und\r\n"
                                "Content-Type: text/plain; charset=\"utf-8\"\r\n"
                                "Content-Transfer-Encoding: base64\r\n"
                                "\r\n"
                                "SGVsbG8gV8O2cmxkCnNlY29uZCBsaW5l\r\n"
                                "--=_b0und\r\n"
                                "Content-Type: application/octet-stream; name=\"a.bin\"\r\n"
                                "Content-Disposition: attachment; filename=\"a.bin\"\r\n"
                                "\r\n"
                                "AAEC\r\n"
                                "--=_b0und--\r\n";
        const auto summary = SummariseReceivedMessage(raw, {});
        QCOMPARE(QString::fromStdString(summary.subject), QString("files"));
        QCOMPARE(summary.body.size(), size_t(2));
        QCOMPARE(QString::fromStdString(summary.body[0]), QString::fromUtf8("Hello Wörld"));
        QCOMPARE(QString::fromStdString(summary.body[1]), QString("second line"));
    }

    void quotedPrintableBodyAndMissingFile()
    {
        const std::string raw = "Content-Transfer-Encoding: quoted-printable\r\n\r\nlong =\r\nline=3D1\r\nnext\r\n";
        const auto summary = SummariseReceivedMessage(raw, {});
        QCOMPARE(summary.body.size(), size_t(2));
        QCOMPARE(QString::fromStdString(summary.body[0]), QString("long line=1"));
        const auto missing = ReadReceivedMessage("/nonexistent/oqm-none", {});
        QCOMPARE(missing.body.size(), size_t(1));
        QVERIFY(QString::fromStdString(missing.body[0]).contains("could not be read"));
    }

    void windowShowsLastMessageDeliveredByRealClient()
    {
        TSMTPServerForm form;
        QVERIFY(form.windowFlags() & Qt::WindowStaysOnTopHint);
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
)").arg(port);
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
