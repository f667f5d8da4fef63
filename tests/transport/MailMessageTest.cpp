#include "transport/MailMessage.h"
#include "transport/StringLineWriter.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <limits>

using namespace quillet;
namespace fs = std::filesystem;

namespace {

// Runs each test in a fixed time zone and a scratch folder.
class MailMessageTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        const char* tz = std::getenv("TZ");
        hadTz_ = tz != nullptr;
        if (tz)
            oldTz_ = tz;
        setZone("UTC0");
        dir_ = fs::temp_directory_path() / ("quillet-message-" + std::to_string(::getpid()));
        fs::create_directories(dir_);
    }
    void TearDown() override
    {
        if (hadTz_)
            ::setenv("TZ", oldTz_.c_str(), 1);
        else
            ::unsetenv("TZ");
        ::tzset();
        fs::remove_all(dir_);
    }
    static void setZone(const char* zone)
    {
        ::setenv("TZ", zone, 1);
        ::tzset();
    }
    std::string file(const std::string& name, const std::string& bytes)
    {
        const fs::path path = dir_ / name;
        std::ofstream(path, std::ios::binary) << bytes;
        return path.string();
    }

    // Sunday, 6 December 2026, 16:35:19 UTC.
    static constexpr std::time_t kMoment = 1796574919;

    TMailMessage runMessage()
    {
        TMailMessage m;
        m.Sender = TEMailAddressItem("sender@example.org", "Mailer");
        m.Subject = "Hello";
        m.Recipients.SetAddressesText("rcpt@example.org");
        m.ContentType = "text/plain";
        m.Body = {"line one", ".", ".dot", "", "x."};
        m.Date = kMoment;
        m.ExtraHeaders.SetValue("X-Mailer", "Quillet Test");
        return m;
    }

    static std::string render(TMailMessage& m, const EncodingParameters& p = EncodingParameters())
    {
        StringLineWriter writer;
        WriteMessage(m, writer, p);
        return writer.text;
    }

    fs::path dir_;

private:
    bool hadTz_ = false;
    std::string oldTz_;
};

const std::string kHeadersOfRun = "Subject: Hello\r\n"
                                  "To: rcpt@example.org\r\n"
                                  "Content-Type: text/plain\r\n"
                                  "Sender: Mailer <sender@example.org>\r\n"
                                  "Date: Sun, 6 Dec 2026 16:35:19 +0000\r\n"
                                  "X-Priority: 3\r\n"
                                  "X-Library: Orv Quillet Mail 1.0\r\n"
                                  "X-Mailer: Quillet Test\r\n";

} // namespace

TEST_F(MailMessageTest, PlainMessageBytes)
{
    TMailMessage m = runMessage();
    EXPECT_EQ(render(m), kHeadersOfRun + "\r\nline one\r\n..\r\n..dot\r\n\r\nx.\r\n");

    m.Body.clear();
    EXPECT_EQ(render(m), kHeadersOfRun + "\r\n");
}

TEST_F(MailMessageTest, AllAddressHeadersInOrder)
{
    TMailMessage m;
    m.From = TEMailAddressItem("from@example.org", "Doe, John");
    m.Subject = "S";
    m.Recipients.SetAddressesText("a@example.org, B <b@example.org>");
    m.CCList.Add({"c@example.org"});
    m.NewsGroups = {"comp.a", "comp.b"};
    m.ContentType = "text/plain";
    m.CharSet = "ISO-8859-1";
    m.ContentTransferEncoding = "8bit";
    m.ReplyTo.Add({"r@example.org"});
    m.Organization = "Org";
    m.ReceiptRecipient = TEMailAddressItem("n@example.org");
    m.References = "<ref@x>";
    m.Priority = TMessagePriority::mpHighest;
    m.Date = kMoment;
    EXPECT_EQ(BuildHeaderLines(m, EncodingParameters()).Lines(),
              (std::vector<std::string>{"From: \"Doe, John\" <from@example.org>", "Subject: S",
                                        "To: a@example.org, \"B\" <b@example.org>", "Cc: c@example.org",
                                        "Newsgroups: comp.a,comp.b", "Content-Type: text/plain; charset=ISO-8859-1",
                                        "Content-Transfer-Encoding: 8bit", "Reply-To: r@example.org",
                                        "Organization: Org", "Disposition-Notification-To: n@example.org",
                                        "References: <ref@x>", "Date: Sun, 6 Dec 2026 16:35:19 +0000", "X-Priority: 1",
                                        "X-Library: Orv Quillet Mail 1.0"}));

    // A sender without an at sign has an empty display form: no Sender header.
    TMailMessage bare;
    bare.Sender = TEMailAddressItem("nobody");
    bare.Date = kMoment;
    EXPECT_EQ(BuildHeaderLines(bare, EncodingParameters()).Lines(),
              (std::vector<std::string>{"Date: Sun, 6 Dec 2026 16:35:19 +0000", "X-Priority: 3",
                                        "X-Library: Orv Quillet Mail 1.0"}));
}

TEST_F(MailMessageTest, MultipartBytesAndDefaultsStoredBack)
{
    TMailMessage m = runMessage();
    m.Body = {"Hi", ".x"};
    m.Attachments.emplace_back(file("empty.txt", ""));
    EXPECT_EQ(m.Attachments[0].FileName, "empty.txt");
    m.Attachments.emplace_back(file("data.bin", std::string(58, 'a')));
    m.Attachments.back().SetContentType("text/plain");
    const std::string text = render(m);

    std::string expected = kHeadersOfRun;
    expected.replace(expected.find("Content-Type: text/plain\r\n"), 26,
                     "Content-Type: multipart/mixed; boundary=\"=_NextPart_Quillet_7f3a9c2e5b1d40\"\r\n"
                     "MIME-Version: 1.0\r\n");
    std::string a57;
    for (int i = 0; i < 19; ++i)
        a57 += "YWFh";
    expected += "\r\n"
                "This is a multi-part message in MIME format\r\n"
                "\r\n"
                "--=_NextPart_Quillet_7f3a9c2e5b1d40\r\n"
                "Content-Type: text/plain\r\n"
                "Content-Transfer-Encoding: 7bit\r\n"
                "\r\n"
                "Hi\r\n"
                "..x\r\n"
                "\r\n"
                "--=_NextPart_Quillet_7f3a9c2e5b1d40\r\n"
                "Content-Type: text/plain;\r\n"
                "        name=\"empty.txt\"\r\n"
                "Content-Transfer-Encoding: base64\r\n"
                "Content-Disposition: attachment;\r\n"
                "        filename=\"empty.txt\"\r\n"
                "\r\n"
                "\r\n"
                "\r\n"
                "--=_NextPart_Quillet_7f3a9c2e5b1d40\r\n"
                "Content-Type: text/plain;\r\n"
                "        name=\"data.bin\"\r\n"
                "Content-Transfer-Encoding: base64\r\n"
                "Content-Disposition: attachment;\r\n"
                "        filename=\"data.bin\"\r\n"
                "\r\n" +
                a57 +
                "\r\nYQ==\r\n"
                "\r\n"
                "--=_NextPart_Quillet_7f3a9c2e5b1d40--\r\n";
    EXPECT_EQ(text, expected);
    EXPECT_EQ(m.Attachments[0].ContentType(), "text/plain"); // by its name's extension
    EXPECT_EQ(MediaTypeOfFileName("Report.PDF"), "application/pdf");
    EXPECT_EQ(MediaTypeOfFileName("a.tar.gz"), "application/octet-stream");
    EXPECT_EQ(MediaTypeOfFileName("folder.png/name"), "application/octet-stream");
    EXPECT_EQ(m.Attachments[0].ContentTransfer(), "base64");
    EXPECT_EQ(m.Attachments[0].ContentDisposition(), "attachment");
    EXPECT_EQ(m.Attachments[1].ContentType(), "text/plain");

    // The same message object without attachments is plain text again.
    m.Attachments.clear();
    m.Body = {"Hi"};
    EXPECT_EQ(render(m), kHeadersOfRun + "\r\nHi\r\n");
}

TEST_F(MailMessageTest, MissingAttachmentFails)
{
    TMailMessage m = runMessage();
    m.Attachments.emplace_back((dir_ / "missing.bin").string());
    StringLineWriter writer;
    try {
        WriteMessage(m, writer, EncodingParameters());
        FAIL() << "no error";
    } catch (const EFileOpenError& e) {
        EXPECT_EQ(std::string(e.what()),
                  "Cannot open file \"" + (dir_ / "missing.bin").string() + "\". No such file or directory");
    }
    // The headers and the text part went out before the error.
    EXPECT_NE(writer.text.find("This is a multi-part message"), std::string::npos);
}

TEST_F(MailMessageTest, LineBreaksInDataNeverEndTheMessageOrAHeader)
{
    TMailMessage m = runMessage();
    m.Subject = "Hi\r\nBcc: victim@example.org\r\n\r\ninjected";
    m.Sender.Name = "Evil\nBcc: x@y";
    m.Body = {"a\r\n.\r\nMAIL FROM:<x@y>", "b\rc\nd", ".e\r\n.f"};
    m.Attachments.emplace_back(file("a\nBcc: x.txt", "z"));
    const std::string text = render(m);
    EXPECT_NE(text.find("Subject: Hi  Bcc: victim@example.org    injected\r\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\r\nSender: \"Evil Bcc: x@y\" <sender@example.org>\r\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\r\n\r\na\r\n..\r\nMAIL FROM:<x@y>\r\nb\r\nc\r\nd\r\n..e\r\n..f\r\n"), std::string::npos)
        << text;
    EXPECT_NE(text.find("name=\"a Bcc: x.txt\"\r\n"), std::string::npos);
    // Every CR is followed by LF and every LF preceded by CR; no line is a lone ".".
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r') {
            ASSERT_EQ(text[i + 1], '\n') << i;
        }
        if (text[i] == '\n') {
            ASSERT_EQ(text[i - 1], '\r') << i;
        }
    }
    EXPECT_EQ(text.find("\r\n.\r\n"), std::string::npos);
}

// The Sender header is 7-bit: a name of 8-bit bytes or control characters, or one that reads as
// an encoded word, goes out as encoded words; a printable name keeps its display form.
TEST_F(MailMessageTest, SenderNamesOutsidePrintableAsciiAreEncoded)
{
    TMailMessage m = runMessage();
    const auto senderLine = [&](const std::string& name) {
        m.Sender.Name = name;
        const THeaderList headers = BuildHeaderLines(m, EncodingParameters());
        for (const std::string& line : headers.Lines())
            if (line.starts_with("Sender: "))
                return line;
        return std::string();
    };
    EXPECT_EQ(senderLine("Jos\xE9 \x16"), "Sender: =?ISO-8859-1?Q?Jos=E9_=16?= <sender@example.org>");
    EXPECT_EQ(senderLine("=?utf-8?q?x?="), "Sender: =?ISO-8859-1?Q?=3D=3Futf-8=3Fq=3Fx=3F=3D?= <sender@example.org>");
    EXPECT_EQ(senderLine("Doe, John"), "Sender: \"Doe, John\" <sender@example.org>");
}

TEST_F(MailMessageTest, LongSubjects)
{
    TMailMessage m = runMessage();
    m.Subject = std::string(68, 'a') + " bbb   ";
    std::string text = render(m);
    EXPECT_NE(text.find("Subject: " + std::string(68, 'a') + "\r\n bbb\r\nTo:"), std::string::npos) << text;

    // A long 8-bit subject: encoded words on continuation lines beginning with a TAB.
    std::string latin;
    for (int i = 0; i < 12; ++i)
        latin += "caf\xE9 ";
    m.Subject = latin;
    text = render(m);
    const std::size_t headerEnd = text.find("\r\n\r\n");
    EXPECT_EQ(text.find("\r\n\r\n"), text.rfind("\r\n\r\n", text.find("line one")));
    const std::string headers = text.substr(0, headerEnd);
    EXPECT_NE(headers.find("Subject:\r\n =?ISO-8859-1?Q?caf=E9_"), std::string::npos) << headers;
    EXPECT_NE(headers.find("?=\r\n\t=?ISO-8859-1?Q?"), std::string::npos) << headers;
}

TEST_F(MailMessageTest, DateCarriesTheLocalOffset)
{
    setZone("EST5EDT,M3.2.0,M11.1.0");
    EXPECT_EQ(FormatMessageDate(kMoment), "Sun, 6 Dec 2026 11:35:19 -0500");
    EXPECT_EQ(FormatMessageDate(kMoment - 180 * 86400), "Tue, 9 Jun 2026 12:35:19 -0400");
    setZone("<+0530>-5:30");
    EXPECT_EQ(FormatMessageDate(kMoment), "Sun, 6 Dec 2026 22:05:19 +0530");
    setZone("<-0330>3:30");
    EXPECT_EQ(FormatMessageDate(kMoment), "Sun, 6 Dec 2026 13:05:19 -0330");
    setZone("UTC0");
    EXPECT_EQ(FormatMessageDate(kMoment + 3 * 86400 + 7 * 3600), "Wed, 9 Dec 2026 23:35:19 +0000");
}

TEST_F(MailMessageTest, JapaneseBodyConvertedOnlyWithoutAttachmentsAndLabelled)
{
    const EncodingParameters japanese = EncodingParametersFor(LocaleLanguage::Japanese);
    TMailMessage m = runMessage();
    m.Subject = "\x82\xA0";
    m.Body = {"\x82\xA0", ".\x82\xA0"};
    std::string text = render(m, japanese);
    EXPECT_NE(text.find("Subject: =?ISO-2022-JP?B?GyRCJCIbKEI=?=\r\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\r\n\r\n\x1b$B$\"\x1b(B\r\n..\x1b$B$\"\x1b(B\r\n"), std::string::npos) << text;
    EXPECT_NE(text.find("Content-Type: text/plain; charset=ISO-2022-JP\r\nMIME-Version: 1.0\r\n"
                        "Content-Transfer-Encoding: 7bit\r\n"),
              std::string::npos)
        << text;

    // In a multipart message the text part keeps the code page's bytes, labelled and encoded.
    m.Attachments.emplace_back(file("x", ""));
    text = render(m, japanese);
    EXPECT_NE(text.find("Content-Type: text/plain; charset=Shift_JIS\r\nContent-Transfer-Encoding: quoted-printable\r\n"
                        "\r\n=82=A0\r\n..=82=A0\r\n"),
              std::string::npos)
        << text;
}

TEST_F(MailMessageTest, NoMessageWrittenWhenTheLocalTimeCannotBeDetermined)
{
    TMailMessage m = runMessage();
    m.Date = std::numeric_limits<std::time_t>::max();
    StringLineWriter writer;
    try {
        WriteMessage(m, writer, EncodingParameters());
        FAIL() << "no error";
    } catch (const ETransportError& e) {
        EXPECT_STREQ(e.what(), "Failed attempting to retrieve time zone information.");
    }
    EXPECT_EQ(writer.text, "");
}
