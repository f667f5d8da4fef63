// Received messages as the mail server window shows them, and the decoders they share.
#include "project/CodePage.h"
#include "transport/Base64.h"
#include "transport/EncodedWords.h"
#include "transport/MimeDecoding.h"
#include "transport/MailMessage.h"
#include "transport/ReceivedMessage.h"
#include "transport/StringLineWriter.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>

#include <gtest/gtest.h>

using namespace quillet;

namespace {

TEMailAddressList recipients(std::initializer_list<TEMailAddressItem> items)
{
    TEMailAddressList list;
    for (const auto& item : items)
        list.Add(item);
    return list;
}

TEST(ReceivedMessage, PlainMessage)
{
    const std::string raw = "From: a@b.c\r\n"
                            "Subject: =?ISO-8859-1?Q?Gr=FC=DFe_aus?=\r\n"
                            "\t=?ISO-8859-1?B?S/ZsbiE=?= und mehr\r\n"
                            "To: =?UTF-8?B?SsO2cmc=?= <j@x.org>, \"Lee, Ann\" <ann@x.org>\r\n"
                            "\r\n"
                            "Dear Ann,\r\n"
                            "\r\n"
                            "Subject: not a header\r\n";
    const auto envelope = recipients({TEMailAddressItem("ann@x.org", "Ann Lee"), TEMailAddressItem("bob@y.org")});
    const ReceivedMessage message = ParseReceivedMessage(raw, envelope);
    EXPECT_EQ(message.to, "\"J\xC3\xB6rg\" <j@x.org>, \"Lee, Ann\" <ann@x.org>");
    EXPECT_EQ(message.subject, "Gr\xC3\xBC\xC3\x9F"
                               "e ausK\xC3\xB6ln! und mehr");
    EXPECT_EQ(message.body, (std::vector<std::string>{"Dear Ann,", "", "Subject: not a header"}));
    // Without a To header the envelope recipients are shown.
    EXPECT_EQ(ParseReceivedMessage("Subject: x\r\n\r\nbody\r\n", envelope).to, "Ann Lee <ann@x.org>, bob@y.org");
    // A To header whose list text once made the parser read freed memory (found by fuzzing).
    EXPECT_EQ(ParseReceivedMessage(std::string("\0To: @b, x\r\n\r\nbody\r\n", 20), envelope).body,
              std::vector<std::string>{"body"});
    EXPECT_EQ(ParseReceivedMessage("To: @b, x\r\n\r\nbody\r\n", envelope).to, "@b");
}

TEST(ReceivedMessage, MultipartShowsFirstTextPart)
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
    const ReceivedMessage message = ParseReceivedMessage(raw, {});
    EXPECT_EQ(message.subject, "files");
    EXPECT_EQ(message.body, (std::vector<std::string>{"Hello W\xC3\xB6rld", "second line"}));
}

// A message as the writer sends it with HTML and an attachment: multipart/alternative inside
// multipart/mixed. The preview shows every header decoded, both texts and the file's name.
TEST(ReceivedMessage, NestedAlternativeWithAttachmentGivesHeadersTextsAndFiles)
{
    const std::filesystem::path file = std::filesystem::temp_directory_path() / "oq-received-att.txt";
    std::FILE* out = std::fopen(file.c_str(), "wb");
    ASSERT_TRUE(out);
    std::fputs("attached", out);
    std::fclose(out);
    selectCodePage("windows-1252");
    TMailMessage m;
    m.From.SetText("Club <club@x.org>");
    m.Recipients.SetAddressesText("ann@x.org");
    m.Subject = "Caf\xE9 news";
    m.Body = {"Caf\xE9 for Ann", "second"};
    m.HtmlBody = {"<p>Caf\xE9 for <b>Ann</b></p>"};
    m.AddedHeaders = {{"X-Campaign", "spring"}};
    m.Attachments.emplace_back(file.string());
    StringLineWriter writer;
    WriteMessage(m, writer);
    std::filesystem::remove(file);
    selectCodePage("auto");

    const ReceivedMessage message = ParseReceivedMessage(writer.text, {});
    EXPECT_EQ(message.subject, "Caf\xC3\xA9 news");
    EXPECT_EQ(message.body, (std::vector<std::string>{"Caf\xC3\xA9 for Ann", "second"}));
    EXPECT_EQ(message.html, std::vector<std::string>{"<p>Caf\xC3\xA9 for <b>Ann</b></p>"});
    EXPECT_EQ(message.attachments, std::vector<std::string>{"oq-received-att.txt"});
    std::vector<std::string> names;
    for (const auto& [name, value] : message.headers) {
        names.push_back(name);
        if (name == "Subject") {
            EXPECT_EQ(value, "Caf\xC3\xA9 news");
        }
    }
    EXPECT_NE(std::find(names.begin(), names.end(), "X-Campaign"), names.end());
    EXPECT_NE(std::find(names.begin(), names.end(), "MIME-Version"), names.end());
}

TEST(ReceivedMessage, QuotedPrintableBodyAndMissingFile)
{
    const std::string raw = "Content-Transfer-Encoding: quoted-printable\r\n\r\nlong =\r\nline=3D1\r\nnext\r\n";
    EXPECT_EQ(ParseReceivedMessage(raw, {}).body, (std::vector<std::string>{"long line=1", "next"}));
    // Text labelled UTF-8 that is not (a sequence above U+10FFFF, found by fuzzing) is read as
    // the code page's, never handed on as broken UTF-8.
    EXPECT_FALSE(charsetToUtf8("\xF4\xBC\x90\x91", "UTF-8"));
    const ReceivedMessage missing = ReadReceivedMessage("/nonexistent/oqm-none", {});
    ASSERT_EQ(missing.body.size(), 1u);
    EXPECT_EQ(missing.body[0], "(The received message could not be read: No such file or directory)");
}

// What the message writer encodes, the decoders give back: base64 in one piece and in lines, and
// header words, also text shaped like an encoded word.
TEST(MimeDecoding, UndoTheEncoders)
{
    std::string bytes;
    for (int i = 0; i < 300; ++i)
        bytes += char(i * 7);
    EXPECT_EQ(DecodeBase64(TEncoderMIME::Encode(bytes)), bytes);
    std::string lines;
    TMessageEncoderMIME::EncodeLines(bytes, lines);
    EXPECT_EQ(DecodeBase64(lines), bytes);

    const EncodingParameters western = EncodingParametersFor(LocaleLanguage::Other);
    for (const char* text : {"Gr\xFC\xDF"
                             "e aus K\xF6ln",
                             "=?utf-8?b?QUJD?= x", "a_b=?c d=3D"})
        EXPECT_EQ(DecodeHeaderValue(EncodeHeaderWords(text, kTextSpecials, western)),
                  charsetToUtf8(text, "ISO-8859-1").value_or("?"))
            << text;
    EXPECT_EQ(DecodeQuotedPrintable("a=3Db=zz_=4", true), "a=b=zz =4");
}

} // namespace
