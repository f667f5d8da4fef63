// Messages we render are read back by Python's standard e-mail parser, as a receiving mail
// program would read them: subjects decode to the original text, text bodies and attachments to
// the original bytes, and the parser finds no defects.
#include "transport/MailMessage.h"
#include "transport/StringLineWriter.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <sys/wait.h>

using namespace quillet;
namespace fs = std::filesystem;

namespace {

constexpr const char* kPython = "/usr/bin/python3";

std::string hex(std::string_view bytes)
{
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string out;
    for (const char c : bytes) {
        out += kDigits[static_cast<unsigned char>(c) >> 4];
        out += kDigits[static_cast<unsigned char>(c) & 15];
    }
    return out;
}

std::string latin1ToUtf8(std::string_view text)
{
    std::string out;
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x80) {
            out += c;
        } else {
            out += static_cast<char>(0xC0 | (u >> 6));
            out += static_cast<char>(0x80 | (u & 0x3F));
        }
    }
    return out;
}

std::string runPeer(const std::string& command, int& status)
{
    std::string output;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe)
        return output;
    char buffer[65536];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        output.append(buffer, n);
    status = ::pclose(pipe);
    return output;
}

class PythonEmailParserTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!fs::exists(kPython))
            GTEST_SKIP() << kPython << " is not installed";
        dir_ = fs::temp_directory_path() / ("quillet-pyparse-" + std::to_string(::getpid()));
        fs::create_directories(dir_);
    }
    void TearDown() override
    {
        if (!dir_.empty())
            fs::remove_all(dir_);
    }

    std::string file(const std::string& name, const std::string& bytes)
    {
        const fs::path path = dir_ / name;
        std::ofstream(path, std::ios::binary) << bytes;
        return path.string();
    }

    // Renders the message to a file and records what the parser must report for it.
    void add(const std::string& name, TMailMessage& message, const std::vector<std::string>& attachmentBytes = {})
    {
        StringLineWriter writer;
        WriteMessage(message, writer, EncodingParameters());
        files_.push_back(file(name, writer.text));
        std::string body;
        for (const auto& line : message.Body)
            body += line + "\n";
        expected_ += "message " + name + "\n";
        expected_ += "subject " + hex(latin1ToUtf8(message.Subject)) + "\n";
        expected_ += "body " + hex(body) + "\n";
        for (std::size_t i = 0; i < attachmentBytes.size(); ++i)
            expected_ += "part " + hex(message.Attachments[i].FileName) + " " + hex(attachmentBytes[i]) + "\n";
        expected_ += "defects 0\n";
    }

    TMailMessage message(const std::string& subject, std::vector<std::string> body)
    {
        TMailMessage m;
        m.Sender = TEMailAddressItem("sender@example.org", "Quillet Sender");
        m.From = TEMailAddressItem("from@example.org", "Ren\xE9 M\xFCller, Jr.");
        m.Recipients.SetAddressesText("rcpt@example.org");
        m.ContentType = "text/plain";
        m.Subject = subject;
        m.Body = std::move(body);
        return m;
    }

    // Runs a reader of tests/transport/peers over every file added and compares its report.
    void expectParserReads(const char* script)
    {
        std::string command = std::string(kPython) + " " + QUILLET_SOURCE_DIR "/tests/transport/peers/" + script;
        for (const auto& f : files_)
            command += " '" + f + "'";
        command += " 2>&1";
        int status = -1;
        const std::string output = runPeer(command, status);
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << output;
        EXPECT_EQ(output, expected_);
    }

    fs::path dir_;
    std::vector<std::string> files_;
    std::string expected_;
};

} // namespace

TEST_F(PythonEmailParserTest, RenderedMessagesReadBackUnchanged)
{
    TMailMessage plain = message("Plain subject", {"Dear reader,", ".", ".leading dot", "", "8-bit: caf\xE9", "end."});
    add("plain.eml", plain);

    std::mt19937 gen(42);
    std::string binary(100003, '\0');
    for (auto& c : binary)
        c = static_cast<char>(gen() & 0xFF);
    const std::vector<std::string> parts = {binary, std::string(57, '\x7f'), std::string(58, '.'), ""};
    TMailMessage multipart = message("With attachments", {"See the files.", ".", "Bye"});
    multipart.Attachments.emplace_back(file("random.bin", parts[0]));
    multipart.Attachments.emplace_back(file("57.bin", parts[1]));
    multipart.Attachments.emplace_back(file("58.bin", parts[2]));
    multipart.Attachments.emplace_back(file("empty.bin", parts[3]));
    add("multipart.eml", multipart, parts);

    TMailMessage eightBit = message("Caf\xE9 cr\xE8me = 5? _so_ br\xFBl\xE9\x65 (x)", {"x"});
    add("eightbit.eml", eightBit);

    std::string words;
    for (int i = 0; i < 40; ++i)
        words += (i ? " word" : "word") + std::to_string(i);
    TMailMessage longPlain = message(words, {"y"});
    add("long-plain.eml", longPlain);

    std::string mixed;
    for (int i = 0; i < 25; ++i)
        mixed += (i % 10 == 0 ? "plain" : "\xE9t\xE9") + std::to_string(i) + " ";
    mixed += "fin";
    TMailMessage longMixed = message(mixed, {"z"});
    add("long-mixed.eml", longMixed);

    // A folded 8-bit subject has several encoded words and continuation lines.
    std::ifstream check(files_.back(), std::ios::binary);
    const std::string rendered((std::istreambuf_iterator<char>(check)), {});
    EXPECT_NE(rendered.find("?=\r\n\t=?ISO-8859-1?Q?"), std::string::npos) << rendered;

    expectParserReads("read_messages.py");
}

// Texts beyond ASCII in subject, display names, body, HTML and file names, under three code
// pages, decode to the original characters with no defect.
TEST_F(PythonEmailParserTest, TextsOutsideAsciiDecodeToTheOriginalUnderEachCodePage)
{
    const std::vector<std::string> texts = {"caf\xC3\xA9", "5 \xE2\x82\xAC", "\xC5\x81ukasz",
                                            "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E"};
    int count = 0;
    for (const char* codePage : {"CP1252", "CP932", "UTF-8"}) {
        const EncodingParameters parameters = EncodingParametersForCodePage(codePage);
        for (const std::string& text : texts) {
            std::string native;
            try {
                native = utf8ToCodePage(text, codePage);
            } catch (const UnrepresentableText&) {
                continue; // not a character of this code page
            }
            for (const bool withParts : {false, true}) {
                TMailMessage m;
                m.Sender = TEMailAddressItem("sender@example.org", "");
                m.From = TEMailAddressItem("from@example.org", native + " Sender");
                m.Recipients.Add(TEMailAddressItem("rcpt@example.org", native + " Rcpt"));
                m.ContentType = "text/plain";
                m.Subject = "Re: " + native + " news";
                std::string longLine, longText; // soft line breaks of quoted-printable
                for (int i = 0; i < 40; ++i) {
                    longLine += native + " ";
                    longText += text + " ";
                }
                m.Body = {"Hello " + native + ",", "." + native, longLine};
                expected_ += "message " + std::to_string(++count) + ".eml\n";
                expected_ += "subject " + hex("Re: " + text + " news") + "\n";
                expected_ += "from " + hex(text + " Sender") + "\n";
                expected_ += "to " + hex(text + " Rcpt") + "\n";
                expected_ += "part text/plain  " + hex("Hello " + text + ",\n." + text + "\n" + longText + "\n") + "\n";
                if (withParts) {
                    m.HtmlBody = {"<p>" + native + "</p>"};
                    m.Attachments.emplace_back(file(native + ".txt", "data"));
                    expected_ += "part text/html  " + hex("<p>" + text + "</p>\n") + "\n";
                    expected_ += "part text/plain " + hex(text + ".txt") + " " + hex("data") + "\n";
                }
                expected_ += "defects 0\n";
                StringLineWriter writer;
                WriteMessage(m, writer, parameters);
                files_.push_back(file(std::to_string(count) + ".eml", writer.text));
            }
        }
    }
    EXPECT_EQ(count, 2 * (2 + 1 + 4));
    expectParserReads("read_texts.py");
}
