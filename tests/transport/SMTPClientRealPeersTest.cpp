// The SMTP client against real SMTP servers started by the tests: Postfix's smtp-sink and an
// aiosmtpd server that requires AUTH LOGIN. A test is skipped when its peer is not installed.
#include "transport/MailMessage.h"
#include "transport/SMTPClient.h"
#include "transport/StringLineWriter.h"

#include "transport/ChildProcess.h"
#include "support/LoopbackPeer.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

using namespace quillet;
using namespace quillet::test;
namespace fs = std::filesystem;

namespace {

constexpr const char* kSmtpSink = "/usr/sbin/smtp-sink";
constexpr const char* kPython = "/usr/bin/python3";

// A temporary folder anyone may write to: smtp-sink writes as "nobody".
class PeerFolder : public TempFolder {
public:
    PeerFolder() { fs::permissions(path(), fs::perms::all); }
    const fs::path& Path() const { return path(); }
};

std::string ReadFile(const fs::path& path)
{
    return readFileBytes(path.string());
}

void WriteFile(const fs::path& path, size_t size, int seed)
{
    std::ofstream out(path, std::ios::binary);
    for (size_t i = 0; i < size; ++i)
        out.put(static_cast<char>((i * 31 + static_cast<size_t>(seed)) % 256));
}

bool AcceptsConnections(uint16_t port)
{
    for (int attempt = 0; attempt < 50; ++attempt) {
        TTCPClient probe;
        probe.Host = "127.0.0.1";
        probe.Port = port;
        try {
            probe.Connect(1000);
            probe.Disconnect();
            return true;
        } catch (const ETransportError&) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
    }
    return false;
}

size_t CountFiles(const fs::path& folder, const std::string& prefix)
{
    size_t count = 0;
    for (const auto& entry : fs::directory_iterator(folder))
        if (entry.path().filename().string().rfind(prefix, 0) == 0)
            ++count;
    return count;
}

TEST(SMTPClientRealPeers, SmtpSinkAcceptsSeveralMessagesWithAttachmentsOnOneConnection)
{
    if (::access(kSmtpSink, X_OK) != 0)
        GTEST_SKIP() << kSmtpSink << " is not installed";
    PeerFolder folder;
    std::unique_ptr<ChildProcess> sink;
    uint16_t port = 0;
    for (int attempt = 0; attempt < 3 && !sink; ++attempt) {
        port = ClosedLoopbackPort();
        std::vector<std::string> argv = {kSmtpSink};
        if (::geteuid() == 0)
            argv.insert(argv.end(), {"-u", "nobody"});
        argv.insert(argv.end(), {"-d", (folder.Path() / "dump.").string(), "127.0.0.1:" + std::to_string(port), "10"});
        sink = std::make_unique<ChildProcess>(argv);
        if (!sink->Running() || !AcceptsConnections(port))
            sink.reset();
    }
    ASSERT_TRUE(sink) << "smtp-sink did not start";

    const fs::path files[] = {folder.Path() / "empty.bin", folder.Path() / "small.txt", folder.Path() / "large.bin"};
    WriteFile(files[0], 0, 0);
    WriteFile(files[1], 1000, 1);
    WriteFile(files[2], 200000, 2);

    TSMTPClient client;
    client.Host = "127.0.0.1";
    client.Port = port;
    client.Connect();
    for (int n = 1; n <= 3; ++n) {
        TMailMessage message;
        message.Sender = TEMailAddressItem("sender@example.org", "Sender");
        message.From = TEMailAddressItem("from@example.org");
        message.Recipients.SetAddressesText("rcpt" + std::to_string(n) + "@example.org");
        message.Subject = "Message " + std::to_string(n);
        message.ContentType = "text/plain";
        message.Body = {"Hello " + std::to_string(n), ".", "bye"};
        for (const auto& file : files)
            message.Attachments.emplace_back(file.string());
        client.Send(message);
        EXPECT_EQ(client.LastCmdResult().NumericCode, 250);
    }
    client.Disconnect();

    for (int wait = 0; wait < 50 && CountFiles(folder.Path(), "dump.") < 3; ++wait)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    ASSERT_EQ(CountFiles(folder.Path(), "dump."), 3u);
    std::string dumps;
    for (const auto& entry : fs::directory_iterator(folder.Path()))
        if (entry.path().filename().string().rfind("dump.", 0) == 0)
            dumps += ReadFile(entry.path());
    for (int n = 1; n <= 3; ++n)
        EXPECT_NE(dumps.find("Subject: Message " + std::to_string(n)), std::string::npos) << n;
    EXPECT_NE(dumps.find("filename=\"large.bin\""), std::string::npos);
}

TEST(SMTPClientRealPeers, AiosmtpdRequiringLoginIsAuthenticatedOncePerConnection)
{
    const fs::path script = fs::path(QUILLET_SOURCE_DIR) / "tests/transport/peers/login_smtp_server.py";
    if (::access(kPython, X_OK) != 0)
        GTEST_SKIP() << kPython << " is not installed";
    if (std::system((std::string(kPython) + " -c 'import aiosmtpd' 2>/dev/null").c_str()) != 0)
        GTEST_SKIP() << "python3-aiosmtpd is not installed";
    PeerFolder folder;
    ChildProcess server({kPython, "-W", "ignore", script.string(), folder.Path().string(), "user", "secret"});
    ASSERT_TRUE(server.Running());
    const auto ready = server.ReadLine(15000);
    ASSERT_TRUE(ready && ready->rfind("PORT ", 0) == 0) << "the server did not start";
    const auto port = static_cast<uint16_t>(std::stoi(ready->substr(5)));

    TSMTPClient client;
    client.Host = "127.0.0.1";
    client.Port = port;
    client.SetAuthenticationType(TAuthenticationType::atLogin);
    client.Username = "user";
    client.Password = "secret";
    std::vector<std::string> rendered;
    for (int connection = 0; connection < 2; ++connection) {
        client.Connect();
        EXPECT_NE(std::find(client.AuthSchemes().begin(), client.AuthSchemes().end(), "LOGIN"),
                  client.AuthSchemes().end());
        for (int n = 0; n < 2; ++n) {
            TMailMessage message;
            message.From = TEMailAddressItem("from@example.org", "From Name");
            message.Recipients.SetAddressesText("rcpt@example.org");
            message.Subject = "Run " + std::to_string(connection) + " message " + std::to_string(n);
            message.ContentType = "text/plain";
            message.Body = {"Body line", "second line"};
            message.Date = 1796574919;
            client.Send(message);
            EXPECT_TRUE(client.Authenticated());
            StringLineWriter text;
            WriteMessage(message, text);
            rendered.push_back(text.text);
        }
        client.Disconnect();
    }
    server.Stop();

    EXPECT_EQ(ReadFile(folder.Path() / "auth.log"), "LOGIN user ok\nLOGIN user ok\n");
    for (size_t i = 0; i < rendered.size(); ++i) {
        const fs::path base = folder.Path() / ("message-" + std::to_string(i + 1));
        EXPECT_EQ(ReadFile(base.string() + ".eml"), rendered[i]) << i;
        EXPECT_EQ(ReadFile(base.string() + ".env"), "from@example.org\nrcpt@example.org\n");
    }
}

} // namespace
