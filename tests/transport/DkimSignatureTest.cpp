// Signed messages as they go after DATA verify with dkimpy (the key's DNS record handed to it),
// for each shape of message the renderer makes, and stop verifying when one body letter changes.
#include "transport/DkimSigner.h"
#include "transport/MailMessage.h"
#include "transport/StringLineWriter.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <sys/wait.h>
#include <unistd.h>

using namespace quillet;
namespace fs = std::filesystem;

namespace {

constexpr const char* kPython = "/usr/bin/python3";

class DkimSignatureTest : public ::testing::TestWithParam<DkimAlgorithm> {
protected:
    void SetUp() override
    {
        if (std::system("/usr/bin/python3 -c 'import dkim, nacl' 2>/dev/null") != 0)
            GTEST_SKIP() << "python3-dkim is not installed";
        dir_ = fs::temp_directory_path() / ("quillet-dkim-" + std::to_string(::getpid()));
        fs::create_directories(dir_);
    }
    void TearDown() override
    {
        if (!dir_.empty())
            fs::remove_all(dir_);
    }

    std::string file(const std::string& name, const std::string& bytes)
    {
        std::ofstream(dir_ / name, std::ios::binary) << bytes;
        return (dir_ / name).string();
    }

    static TMailMessage message(std::vector<std::string> body)
    {
        TMailMessage m;
        m.From = TEMailAddressItem("news@example.org", "Example News");
        m.Recipients.SetAddressesText("reader@example.net");
        m.ContentType = "text/plain";
        m.Subject = "Monthly letter";
        m.MessageId = "<1.2@example.org>";
        m.Body = std::move(body);
        return m;
    }

    fs::path dir_;
};

} // namespace

TEST_P(DkimSignatureTest, EveryShapeOfMessageVerifiesAndFailsWhenChanged)
{
    const auto signer = std::make_shared<DkimSigner>(DkimKey::Generate(GetParam()), "quillet", "");
    const std::string record = file("record.txt", signer->Key().RecordText());

    std::map<std::string, TMailMessage> messages;
    messages["plain"] = message({"Dear reader,", "  two  blanks\tand a tab  ", "", "Bye", "", ""});
    messages["eightbit"] = message({"Caf\xE9 cr\xE8me " + std::string(90, 'x') + " br\xFBl\xE9\x65 =", "fin"});
    messages["html"] = message({"Plain part"});
    messages["html"].HtmlBody = {"<p>HTML part</p>", ".<b>dot</b>"};
    messages["attachment"] = message({"See the file."});
    messages["attachment"].Attachments.emplace_back(file("small.txt", "small file\r\n"));
    // Larger than a body kept for the second pass: the body is rendered twice.
    std::mt19937 random(7);
    std::string large(400000, '\0');
    for (auto& c : large)
        c = static_cast<char>(random() & 0xFF);
    messages["large"] = message({"Large file"});
    messages["large"].HtmlBody = {"<p>Large file</p>"};
    messages["large"].Attachments.emplace_back(file("large.bin", large));
    messages["headers"] = message({"Headers caf\xE9"});
    messages["headers"].From = TEMailAddressItem("news@example.org", "Ren\xE9 M\xFCller");
    messages["headers"].Subject = std::string(30, 'w') + " caf\xE9 " + std::string(70, 'y') + " and more words";
    messages["headers"].AddedHeaders = {{"List-Unsubscribe", "<https://example.org/u?a=reader%40example.net>"},
                                        {"List-Unsubscribe-Post", "List-Unsubscribe=One-Click"}};
    messages["dots"] = message({".", "..", "...", ". .", "fin"});

    std::string command =
        std::string(kPython) + " " QUILLET_SOURCE_DIR "/tests/transport/peers/dkim_verify.py '" + record + "'";
    std::string expected;
    for (auto& [name, m] : messages) {
        m.Signer = signer;
        StringLineWriter writer;
        WriteMessage(m, writer, EncodingParameters());
        ASSERT_EQ(writer.text.rfind("DKIM-Signature: v=1; a=", 0), 0u) << writer.text;
        command += " '" + file(name + ".eml", writer.text) + "'";
        expected += name + ".eml ok fails\n";
    }
    // The signed headers, From once more than present.
    StringLineWriter writer;
    WriteMessage(messages["headers"], writer, EncodingParameters());
    EXPECT_NE(writer.text.find(" h=from:from:to:subject:date:message-id:mime-version:content-type:"
                               "content-transfer-encoding:list-unsubscribe:list-unsubscribe-post;\r\n"),
              std::string::npos)
        << writer.text;

    FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string output;
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        output.append(buffer, n);
    const int status = ::pclose(pipe);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << output;
    EXPECT_EQ(output, expected);
}

INSTANTIATE_TEST_SUITE_P(Algorithms, DkimSignatureTest,
                         ::testing::Values(DkimAlgorithm::RsaSha256, DkimAlgorithm::Ed25519Sha256),
                         [](const auto& info) {
                             return info.param == DkimAlgorithm::RsaSha256 ? "RsaSha256" : "Ed25519Sha256";
                         });
