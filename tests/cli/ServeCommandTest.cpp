// `quillet serve` as the real binary, with real SMTP clients from Debian's packages as peers:
// swaks, Python's smtplib and curl each deliver a message and are answered 250.
#include "cli/CliHarness.h"
#include "cli/ServeProcess.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cstdio>

using quillet::test::CliHarness;
using quillet::test::ServeProcess;
using ::testing::HasSubstr;

namespace {

using namespace std::chrono_literals;

bool Installed(const char* program)
{
    return ::access(program, X_OK) == 0;
}

// Runs a shell command with a time limit; returns its exit status and everything it printed.
int Shell(const std::string& command, std::string& output)
{
    output.clear();
    FILE* pipe = ::popen(("timeout 60 " + command + " 2>&1").c_str(), "r");
    if (!pipe)
        return -1;
    char chunk[4096];
    std::size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, pipe)) > 0)
        output.append(chunk, n);
    const int status = ::pclose(pipe);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(ServeCommand, RealClientsDeliverAndMessagesAreCaptured)
{
    CliHarness cli;
    const std::string captures = cli.file("captured");
    ServeProcess serve(cli, {"--capture", captures, "--verbose"});
    const std::string port = std::to_string(serve.port());
    std::string output;
    int delivered = 0;

    if (Installed("/usr/bin/swaks")) {
        EXPECT_EQ(Shell("/usr/bin/swaks --server 127.0.0.1 --port " + port +
                            " --from a@example.com --to b@example.com --header 'Subject: by swaks' --body 'swaks body'",
                        output),
                  0)
            << output;
        EXPECT_THAT(output, HasSubstr("<-  250 Ok"));
        EXPECT_THAT(serve.ReadLine(), HasSubstr("from <a@example.com> for b@example.com, kept as"));
        ++delivered;
    }
    if (Installed("/usr/bin/python3")) {
        const std::string script = cli.file("send.py");
        CliHarness::writeFile(script, "import smtplib, sys\n"
                                      "s = smtplib.SMTP('127.0.0.1', int(sys.argv[1]), timeout=20)\n"
                                      "print(s.sendmail('p@example.com', ['q@example.com', 'r@example.com'],\n"
                                      "                 'Subject: by smtplib\\r\\n\\r\\n.dot first\\r\\nend\\r\\n'))\n"
                                      "print(s.docmd('NOOP'))\n"
                                      "s.quit()\n");
        EXPECT_EQ(Shell("/usr/bin/python3 " + script + " " + port, output), 0) << output;
        EXPECT_THAT(output, HasSubstr("{}\n(250, b'Ok')"));
        EXPECT_THAT(serve.ReadLine(), HasSubstr("from <p@example.com> for q@example.com, r@example.com, kept as"));
        ++delivered;
    }
    if (Installed("/usr/bin/curl")) {
        const std::string message = cli.file("curl.eml");
        CliHarness::writeFile(message, "Subject: by curl\r\n\r\ncurl body\r\n");
        EXPECT_EQ(Shell("/usr/bin/curl -sS -v smtp://127.0.0.1:" + port +
                            " --mail-from c@example.com --mail-rcpt d@example.com --upload-file " + message,
                        output),
                  0)
            << output;
        EXPECT_THAT(output, HasSubstr("< 250 Ok"));
        EXPECT_THAT(serve.ReadLine(), HasSubstr("from <c@example.com> for d@example.com, kept as"));
        ++delivered;
    }
    EXPECT_EQ(serve.Stop(SIGTERM), 0);
    if (delivered == 0)
        GTEST_SKIP() << "none of swaks, python3, curl is installed";

    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(captures)) {
        ++files;
        EXPECT_EQ(entry.path().filename().string().size(), 10u);
    }
    EXPECT_EQ(files, delivered);
    if (Installed("/usr/bin/python3") && Installed("/usr/bin/swaks")) {
        EXPECT_THAT(CliHarness::readFile(captures + "/000002.eml"),
                    HasSubstr("Subject: by smtplib\r\n\r\n.dot first\r\nend\r\n"));
    }
}

TEST(ServeCommand, InterruptStopsInOrderWhileAClientIsConnected)
{
    CliHarness cli;
    ServeProcess serve(cli, {});
    const int client = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(std::uint16_t(serve.port()));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::connect(client, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    char greeting[128] = {};
    pollfd p{client, POLLIN, 0};
    ASSERT_EQ(::poll(&p, 1, 10000), 1);
    ASSERT_GT(::recv(client, greeting, sizeof greeting - 1, 0), 0);
    EXPECT_STREQ(greeting, "220 Welcome to the Orv Quillet SMTP Server\r\n");

    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(serve.Stop(SIGINT), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
    // The idle client sees its connection closed without a reply.
    ASSERT_EQ(::poll(&p, 1, 1000), 1);
    EXPECT_EQ(::recv(client, greeting, sizeof greeting, 0), 0);
    ::close(client);
}

TEST(ServeCommand, BusyPortAndBadOptionsFail)
{
    CliHarness cli;
    const int busy = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(busy, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::listen(busy, 1);
    socklen_t length = sizeof address;
    ::getsockname(busy, reinterpret_cast<sockaddr*>(&address), &length);

    auto result = cli.run({"serve", "--port", std::to_string(ntohs(address.sin_port))}, {}, 10s);
    EXPECT_EQ(result.status, 1) << result;
    EXPECT_EQ(result.err, "Could not bind socket. Address and port are already in use.\n");
    EXPECT_EQ(result.out, "");
    ::close(busy);

    result = cli.run({"serve", "--port", "65536"}, {}, 10s);
    EXPECT_EQ(result.status, 2) << result;
    result = cli.run({"serve", "--port", "x"}, {}, 10s);
    EXPECT_EQ(result.status, 2) << result;
    result = cli.run({"serve", "--port", "0", "--bind", "not-an-address"}, {}, 10s);
    EXPECT_EQ(result.status, 1) << result;
    EXPECT_EQ(result.err, "Socket Error # 10049\r\nCannot assign requested address.\n");
    result = cli.run({"serve", "extra"}, {}, 10s);
    EXPECT_EQ(result.status, 2) << result;
}

// A raw connection to the server, reading its replies line by line.
class RawSmtp {
public:
    explicit RawSmtp(int port)
    {
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(std::uint16_t(port));
        connected_ = ::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    }
    ~RawSmtp() { ::close(fd_); }
    bool connected() const { return connected_; }
    void send(const std::string& line) { (void)::send(fd_, (line + "\r\n").data(), line.size() + 2, MSG_NOSIGNAL); }
    // The next reply line; "" when none comes within the time, "<closed>" when the server closed.
    std::string reply(int timeoutMs = 5000)
    {
        while (buffer_.find('\n') == std::string::npos) {
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, timeoutMs) != 1)
                return "";
            char chunk[512];
            const ssize_t n = ::recv(fd_, chunk, sizeof chunk, 0);
            if (n <= 0)
                return "<closed>";
            buffer_.append(chunk, std::size_t(n));
        }
        const auto end = buffer_.find('\n');
        std::string line = buffer_.substr(0, end > 0 && buffer_[end - 1] == '\r' ? end - 1 : end);
        buffer_.erase(0, end + 1);
        return line;
    }

private:
    int fd_ = -1;
    bool connected_ = false;
    std::string buffer_;
};

TEST(ServeCommand, FaultOptionsMisbehaveAsAsked)
{
    CliHarness cli;
    {
        ServeProcess silent(cli, {"--no-greeting"});
        RawSmtp client(silent.port());
        ASSERT_TRUE(client.connected());
        EXPECT_EQ(client.reply(300), "");
    }
    {
        ServeProcess limited(cli, {"--max-rate", "2/s", "--delay-ms", "20", "--reject-rcpt", "^bad@"});
        RawSmtp client(limited.port());
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(client.reply().substr(0, 4), "220 ");
        client.send("HELO me");
        EXPECT_EQ(client.reply().substr(0, 4), "250 ");
        EXPECT_GE(std::chrono::steady_clock::now() - start, 40ms); // every reply waited
        client.send("MAIL FROM:<a@x.org>");
        EXPECT_EQ(client.reply().substr(0, 4), "250 ");
        client.send("RCPT TO:<bad@x.org>");
        EXPECT_EQ(client.reply(), "550 5.1.1 <bad@x.org>: Recipient address rejected");
        client.send("MAIL FROM:<a@x.org>");
        EXPECT_EQ(client.reply().substr(0, 4), "250 ");
        client.send("MAIL FROM:<a@x.org>");
        EXPECT_EQ(client.reply(), "421 4.7.0 Too many messages, closing connection");
        EXPECT_EQ(client.reply(), "<closed>");
    }
    EXPECT_EQ(cli.run({"serve", "--max-rate", "5/min"}, {}, 10s).status, 2);
    EXPECT_EQ(cli.run({"serve", "--tempfail-rate", "1.5"}, {}, 10s).status, 2);
    EXPECT_EQ(cli.run({"serve", "--reject-rcpt", "("}, {}, 10s).status, 2);
}

} // namespace
