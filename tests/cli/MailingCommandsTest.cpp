// The template, settings and send commands, run as the real binary. Sending goes to the real
// built-in server run as `quillet serve --capture`, and the captured files are checked.
#include "cli/CliHarness.h"
#include "cli/ServeProcess.h"
#include "support/FreePort.h"
#include "support/ScriptedSmtpPeer.h"

#include "project/ProjectFileWriter.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <fstream>
#include <set>

using quillet::test::CliHarness;
using quillet::test::CliResult;
using quillet::test::ServeProcess;
using ::testing::HasSubstr;
using ::testing::Not;

namespace {

// A port nothing listens on at the moment, as command-line text.
std::string freePort()
{
    return std::to_string(quillet::test::freePort());
}

std::string header(const std::string& text, const std::string& name)
{
    const std::string all = "\r\n" + text;
    const auto at = all.find("\r\n" + name + ": ");
    if (at == std::string::npos || at > all.find("\r\n\r\n"))
        return "<none>";
    const auto start = at + name.size() + 4;
    return all.substr(start, all.find("\r\n", start) - start);
}

std::string firstBodyLine(const std::string& text)
{
    const auto start = text.find("\r\n\r\n") + 4;
    return text.substr(start, text.find("\r\n", start) - start);
}

class MailingCommands : public ::testing::Test {
protected:
    CliResult quillet(std::vector<std::string> args)
    {
        CliResult r = cli.run(args);
        // The pre-flight warnings a send prints first are the message tests' subject.
        std::string err;
        for (std::size_t start = 0; start < r.err.size();) {
            const std::size_t end = std::min(r.err.find('\n', start), r.err.size() - 1) + 1;
            if (r.err.compare(start, 9, "warning: ") != 0)
                err += r.err.substr(start, end - start);
            start = end;
        }
        r.err = err;
        return r;
    }
    void ok(std::vector<std::string> args)
    {
        const CliResult r = quillet(args);
        ASSERT_EQ(r.status, 0) << r;
    }
    std::string captured(const std::string& dir, int n)
    {
        char name[16];
        std::snprintf(name, sizeof name, "%06d.eml", n);
        return CliHarness::readFile(dir + "/" + name);
    }

    // A project with a group "Club" of three recipients (added out of e-mail order) and one
    // recipient in another group; a template "Invite" with macros and a reply-to line.
    void prepare()
    {
        project = cli.file("club.oqf");
        ok({"project", "new", project, "--author-name", "Orv"});
        ok({"group", "add", project, "Club"});
        ok({"group", "add", project, "Other"});
        ok({"recipient", "add", project, "--group", "Club", "--email", "zoe@x.org", "--name", "Zoe", "--param",
            "CITY=Oslo"});
        ok({"recipient", "add", project, "--group", "Club", "--email", "amy@x.org", "--name", "Amy", "--disabled",
            "--param", "CITY=Rome"});
        ok({"recipient", "add", project, "--group", "Other", "--email", "out@x.org", "--name", "Out"});
        ok({"recipient", "add", project, "--group", "Club", "--email", "max@x.org", "--name", "Max", "--param",
            "CITY=Lima"});
        std::filesystem::create_directory(cli.home() / "Templates");
        CliHarness::writeFile(cli.file("body.txt"), "Hello %NAME% from %CITY%!\n\nRegards, %AUTHORNAME%\n");
        ok({"template", "add", "Invite", "--subject", "Invitation for %NAME%", "--reply-to", "Club <club@x.org>",
            "--body-file", cli.file("body.txt")});
    }

    CliHarness cli;
    std::string project;
};

TEST_F(MailingCommands, TemplateAddListShowDelete)
{
    // A fresh program folder has no Templates/: the first template makes it.
    ASSERT_FALSE(std::filesystem::exists(cli.home() / "Templates"));
    ok({"template", "add", "Empty"});
    EXPECT_EQ(CliHarness::readFile((cli.home() / "Templates" / "Empty.tmpl").string()),
              "Orv Quillet template Version 1.0\r\nEmpty\r\n\r\n\r\n");
    CliHarness::writeFile(cli.file("b.txt"), "line one\r\nline two\n");
    ok({"template", "add", "News", "--subject", "Hi %NAME%", "--reply-to", "a@x.org", "--body-file",
        cli.file("b.txt")});
    const CliResult exists = quillet({"template", "add", "News"});
    EXPECT_EQ(exists.status, 1);
    EXPECT_EQ(exists.err, "Template with this name already exists\n");

    const CliResult list = quillet({"template", "list"});
    EXPECT_EQ(list.status, 0);
    EXPECT_THAT(list.out, HasSubstr("Empty\n"));
    EXPECT_THAT(list.out, HasSubstr("News\tHi %NAME%\n"));
    const CliResult show = quillet({"template", "show", "News"});
    EXPECT_EQ(show.out, "Subject: Hi %NAME%\nReply-To: a@x.org\n\nline one\nline two\n");

    ok({"template", "delete", "News"});
    EXPECT_EQ(quillet({"template", "list"}).out, "Empty\n");
    const CliResult gone = quillet({"template", "delete", "News"});
    EXPECT_EQ(gone.status, 1);
    EXPECT_EQ(gone.err, "Template \"News\" does not exist\n");
    EXPECT_EQ(quillet({"template", "show", "News"}).status, 1);
}

TEST_F(MailingCommands, SettingsSetAndShow)
{
    EXPECT_EQ(quillet({"settings", "show"}).out,
              "Server: \nPort: 25\nFrom: user@example.com\nUserName: \nPassword: \n");
    ok({"settings", "set", "Server", "mail.x.org"});
    ok({"settings", "set", "port", "587"});
    ok({"settings", "set", "Password", "secret"});
    EXPECT_EQ(quillet({"settings", "show"}).out,
              "Server: mail.x.org\nPort: 587\nFrom: user@example.com\nUserName: \nPassword: ***\n");
    EXPECT_EQ(quillet({"settings", "set", "Colour", "red"}).status, 2);
}

TEST_F(MailingCommands, SendThroughTheDefaultServerToServeCapture)
{
    prepare();
    const std::string capture = cli.file("captured");
    ServeProcess serve(cli, {"--capture", capture});
    ok({"settings", "set", "Server", "127.0.0.1"});
    ok({"settings", "set", "Port", std::to_string(serve.port())});
    const CliResult r = quillet({"send", project, "--group", "Club", "--template", "Invite"});
    ASSERT_EQ(r.status, 0) << r;
    EXPECT_EQ(r.out, "Mail sending complete!\n");
    // No progress when standard error is not a terminal: only the run's ID.
    EXPECT_THAT(r.err, ::testing::MatchesRegex("Run ID: [0-9]{8}-[0-9]{6}-[0-9a-f]{4}\n"));

    // Sorted by e-mail; the disabled recipient receives too; the other group does not.
    const std::string first = captured(capture, 1), second = captured(capture, 2), third = captured(capture, 3);
    EXPECT_EQ(header(first, "To"), "amy@x.org");
    EXPECT_EQ(header(second, "To"), "max@x.org");
    EXPECT_EQ(header(third, "To"), "zoe@x.org");
    EXPECT_FALSE(std::filesystem::exists(capture + "/000004.eml"));
    EXPECT_EQ(header(first, "Subject"), "Invitation for Amy");
    EXPECT_EQ(firstBodyLine(second), "Hello Max from Lima!");
    EXPECT_THAT(third, HasSubstr("\r\n\r\nHello Zoe from Oslo!\r\n\r\nRegards, Orv\r\n"));
    EXPECT_EQ(header(first, "From"), "\"Club\" <club@x.org>");
    EXPECT_EQ(header(first, "Sender"), "<none>"); // the settings' placeholder is no sender

    // --recipient limits the run; --subject and --from win over the template.
    const CliResult one = quillet({"send", project, "--group", "Club", "--template", "Invite", "--recipient",
                                   "zoe@x.org", "--subject", "Just %NAME%", "--from", "me@x.org"});
    ASSERT_EQ(one.status, 0) << one;
    const std::string fourth = captured(capture, 4);
    EXPECT_EQ(header(fourth, "To"), "zoe@x.org");
    EXPECT_EQ(header(fourth, "Subject"), "Just Zoe");
    EXPECT_EQ(header(fourth, "From"), "me@x.org");
    EXPECT_FALSE(std::filesystem::exists(capture + "/000005.eml"));

    // Three connections at once: each recipient once, in whatever order they arrive.
    const CliResult parallel =
        quillet({"send", project, "--group", "Club", "--template", "Invite", "--connections", "3"});
    ASSERT_EQ(parallel.status, 0) << parallel;
    std::set<std::string> to;
    for (int n = 5; n <= 7; ++n)
        to.insert(header(captured(capture, n), "To"));
    EXPECT_EQ(to, (std::set<std::string>{"amy@x.org", "max@x.org", "zoe@x.org"}));
    EXPECT_FALSE(std::filesystem::exists(capture + "/000008.eml"));
    EXPECT_EQ(quillet({"send", project, "--group", "Club", "--connections", "0"}).status, 2);
}

TEST_F(MailingCommands, ConnectionSecurityAndPasswordOptions)
{
    prepare();
    const std::string capture = cli.file("captured");
    ServeProcess serve(cli, {"--capture", capture});
    const std::vector<std::string> base{"send", project,    "--group",   "Club",   "--subject",
                                        "x",    "--server", "127.0.0.1", "--port", std::to_string(serve.port())};
    auto with = [&](std::vector<std::string> extra) {
        std::vector<std::string> args = base;
        args.insert(args.end(), extra.begin(), extra.end());
        return quillet(args);
    };
    EXPECT_EQ(with({"--security", "sometimes"}).status, 2);
    EXPECT_EQ(with({"--tls-pin", "12:34"}).status, 2);
    // A server without STARTTLS is refused before anything is sent when TLS is required.
    const CliResult refused = with({"--security", "starttls", "--user", "u", "--password", "p"});
    EXPECT_EQ(refused.status, 1) << refused;
    EXPECT_THAT(refused.err,
                HasSubstr("The server 127.0.0.1 offers no TLS; the connection security setting requires it."));
    EXPECT_FALSE(std::filesystem::exists(capture + "/000001.eml"));
    // A password file that cannot be read names the file; a plain server with "none" receives.
    EXPECT_THAT(with({"--password-file", cli.file("absent")}).err, HasSubstr("Cannot read the password file"));
    ASSERT_EQ(with({"--security", "none"}).status, 0);
    EXPECT_TRUE(std::filesystem::exists(capture + "/000001.eml"));
    // A user without a password and nobody to ask is a usage error at once; so is a bad time limit.
    const CliResult noPassword = with({"--user", "u"});
    EXPECT_EQ(noPassword.status, 2) << noPassword;
    EXPECT_THAT(noPassword.err, HasSubstr("--user needs a password"));
    EXPECT_EQ(with({"--timeout", "0"}).status, 2);
    EXPECT_EQ(with({"--timeout", "30", "--allow-plain-auth"}).status, 0);
}

TEST_F(MailingCommands, PasswordFileByteOrderMarkIsNotPartOfThePassword)
{
    prepare();
    quillet::test::ScriptedSmtpPeer server;
    server.offerAuth = true;
    server.acceptedPassword = "c2VjcmV0"; // "secret"
    server.start();
    const std::string file = cli.file("password");
    std::ofstream(file, std::ios::binary) << "\xEF\xBB\xBFsecret\n";
    const CliResult sent = quillet({"send", project, "--group", "Club", "--subject", "x", "--server", "127.0.0.1",
                                    "--port", std::to_string(server.port()), "--user", "u", "--password-file", file});
    EXPECT_EQ(sent.status, 0) << sent;
}

// Whether this machine has the IPv6 loopback.
bool HasIPv6Loopback()
{
    const int fd = ::socket(AF_INET6, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in6 address{};
    address.sin6_family = AF_INET6;
    address.sin6_addr = in6addr_loopback;
    const bool bound = fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    if (fd >= 0)
        ::close(fd);
    return bound;
}

TEST_F(MailingCommands, ServeOnTheIPv6LoopbackReceivesFromItsLiteralAddress)
{
    if (!HasIPv6Loopback())
        GTEST_SKIP() << "no IPv6 loopback on this machine";
    prepare();
    const std::string capture = cli.file("captured");
    ServeProcess serve(cli, {"--bind", "::1", "--capture", capture});
    EXPECT_EQ(serve.listening(), "Listening on [::1]:" + std::to_string(serve.port()));
    for (const char* host : {"[::1]", "::1"}) {
        const CliResult r = quillet({"send", project, "--group", "Club", "--subject", "x", "--server", host, "--port",
                                     std::to_string(serve.port())});
        EXPECT_EQ(r.status, 0) << host << r;
    }
    EXPECT_TRUE(std::filesystem::exists(capture + "/000006.eml"));
    EXPECT_FALSE(std::filesystem::exists(capture + "/000007.eml"));
}

TEST_F(MailingCommands, SendResolvesIp6Localhost)
{
    if (!HasIPv6Loopback())
        GTEST_SKIP() << "no IPv6 loopback on this machine";
    // The name comes from the system's hosts file, which not every machine has it in.
    addrinfo hints{};
    hints.ai_family = AF_INET6;
    addrinfo* found = nullptr;
    if (::getaddrinfo("ip6-localhost", nullptr, &hints, &found) != 0)
        GTEST_SKIP() << "ip6-localhost is not a name of this machine (not in /etc/hosts)";
    ::freeaddrinfo(found);
    prepare();
    const std::string capture = cli.file("captured");
    ServeProcess serve(cli, {"--bind", "::1", "--capture", capture});
    const CliResult r = quillet({"send", project, "--group", "Club", "--subject", "x", "--server", "ip6-localhost",
                                 "--port", std::to_string(serve.port())});
    EXPECT_EQ(r.status, 0) << r;
    EXPECT_TRUE(std::filesystem::exists(capture + "/000003.eml"));
}

TEST_F(MailingCommands, SendThroughTheBuiltinRouteWithCapture)
{
    prepare();
    const std::string capture = cli.file("kept");
    CliHarness::writeFile(cli.file("a.bin"), "abc");
    const CliResult r = quillet({"send", project, "--group", "Club", "--route", "builtin", "--builtin-port", freePort(),
                                 "--builtin-sender", "robot@x.org", "--capture", capture, "--subject", "S %NAME%",
                                 "--attach", cli.file("a.bin")});
    ASSERT_EQ(r.status, 0) << r;
    EXPECT_EQ(r.out, "Mail sending complete!\n");
    const std::string first = captured(capture, 1);
    EXPECT_EQ(header(first, "Subject"), "S Amy");
    EXPECT_EQ(header(first, "Sender"), "robot@x.org");
    EXPECT_EQ(header(first, "From"), "<none>");
    EXPECT_THAT(first, HasSubstr("filename=\"a.bin\""));
    EXPECT_TRUE(std::filesystem::exists(capture + "/000003.eml"));
}

TEST_F(MailingCommands, DryRunWritesMessagesAndConnectsNowhere)
{
    prepare();
    const std::string dir = cli.file("dry");
    const CliResult r = quillet({"send", project, "--group", "Club", "--template", "Invite", "--dry-run", dir,
                                 "--server", "127.0.0.1", "--port", freePort()});
    ASSERT_EQ(r.status, 0) << r;
    EXPECT_EQ(header(captured(dir, 2), "Subject"), "Invitation for Max");
    EXPECT_TRUE(std::filesystem::exists(dir + "/000003.eml"));
}

TEST_F(MailingCommands, FailuresExitWithTheirText)
{
    prepare();
    // Nothing listens on the port: the connection error ends the run.
    const std::string closedPort = freePort();
    const CliResult refused =
        quillet({"send", project, "--group", "Club", "--subject", "x", "--server", "127.0.0.1", "--port", closedPort});
    EXPECT_EQ(refused.status, 1) << refused;
    // The run's journal ID first, then the error.
    const std::string afterRunId = refused.err.substr(refused.err.find('\n') + 1);
    EXPECT_EQ(refused.err.rfind("Run ID: ", 0), 0u) << refused;
    EXPECT_EQ(afterRunId, "Socket Error # 10061\r\nConnection refused.\nServer: 127.0.0.1, port " + closedPort +
                              "\n0 of 3 messages sent\n");
    EXPECT_THAT(refused.out, Not(HasSubstr("Mail sending complete!")));

    // No default server in the settings.
    const CliResult noServer = quillet({"send", project, "--group", "Club"});
    EXPECT_EQ(noServer.status, 1);
    EXPECT_EQ(noServer.err, "SMTP Server error!\n");

    const CliResult noGroup = quillet({"send", project, "--group", "Nobody"});
    EXPECT_EQ(noGroup.status, 1);
    EXPECT_EQ(noGroup.err, "Group \"Nobody\" does not exist\n");

    const CliResult stranger =
        quillet({"send", project, "--group", "Club", "--recipient", "out@x.org", "--server", "127.0.0.1"});
    EXPECT_EQ(stranger.status, 1);
    EXPECT_EQ(stranger.err, "No recipient \"out@x.org\" in the group\n");

    const CliResult missing =
        quillet({"send", project, "--group", "Club", "--server", "127.0.0.1", "--attach", cli.file("nope.bin")});
    EXPECT_EQ(missing.status, 1);
    EXPECT_THAT(missing.err, HasSubstr("Cannot open file \"" + cli.file("nope.bin") + "\"."));

    EXPECT_EQ(quillet({"send", project, "--group", "Club", "--route", "sideways"}).status, 2);
    EXPECT_EQ(quillet({"send", project, "--group", "Club", "--capture", cli.file("c")}).status, 2);
    EXPECT_EQ(quillet({"send", project}).status, 2);

    // A port typed on the command line is used as typed or refused; never replaced by 25.
    for (const char* option : {"--port", "--builtin-port"})
        for (const char* port : {"99999", "0", "-5", "25x", ""}) {
            const CliResult bad = quillet({"send", project, "--group", "Club", "--server", "127.0.0.1", option, port});
            EXPECT_EQ(bad.status, 2) << option << " " << port << bad;
            EXPECT_THAT(bad.err, HasSubstr(std::string(option) + " takes a number from 1 to 65535")) << bad;
        }
    // The stored setting keeps its own rule: a port that is no number means 25.
    ok({"settings", "set", "Port", "99999"});
    EXPECT_EQ(quillet({"settings", "show"}).out.find("Port: 99999\n") != std::string::npos, true);
}

TEST_F(MailingCommands, InterruptActsAsStop)
{
    // 200 recipients with a 1 MB attachment each: long enough to interrupt after the first.
    quillet::Project big;
    big.groups.push_back({"Big", ""});
    for (int i = 0; i < 200; ++i) {
        quillet::RecipientRecord r;
        r.EMail.set("r" + std::to_string(1000 + i) + "@x.org");
        r.Group.set("Big");
        big.recipients.push_back(r);
    }
    quillet::saveProjectFile(big, cli.file("big.oqf"));
    CliHarness::writeFile(cli.file("one.bin"), std::string(1 << 20, 'q'));
    const std::string capture = cli.file("stopped");

    int out[2];
    ASSERT_EQ(::pipe2(out, O_CLOEXEC), 0);
    const pid_t child = ::fork();
    if (child == 0) {
        ::dup2(out[1], 1);
        cli.exportToChild();
        const std::string port = freePort(), project = cli.file("big.oqf"), attach = cli.file("one.bin");
        ::execl(QUILLET_CLI, QUILLET_CLI, "send", project.c_str(), "--group", "Big", "--route", "builtin",
                "--builtin-port", port.c_str(), "--capture", capture.c_str(), "--attach", attach.c_str(), nullptr);
        _exit(127);
    }
    ::close(out[1]);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!std::filesystem::exists(capture + "/000001.eml") && std::chrono::steady_clock::now() < deadline)
        ::usleep(5'000);
    ::kill(child, SIGINT);
    int status = -1;
    for (int i = 0; i < 400 && ::waitpid(child, &status, WNOHANG) != child; ++i)
        ::usleep(50'000);
    if (!WIFEXITED(status)) {
        ::kill(child, SIGKILL);
        ::waitpid(child, &status, 0);
        FAIL() << "send did not end after SIGINT";
    }
    char buffer[256] = {};
    const ssize_t n = ::read(out[0], buffer, sizeof buffer - 1);
    ::close(out[0]);
    // How far the run came; exit status 130.
    const auto kept = std::distance(std::filesystem::directory_iterator(capture), {});
    EXPECT_EQ(WEXITSTATUS(status), 130);
    EXPECT_EQ(std::string(buffer, n > 0 ? std::size_t(n) : 0), "Stopped: " + std::to_string(kept) + " of 200 sent\n");
    EXPECT_GE(kept, 1);
    EXPECT_LT(kept, 200);
}

} // namespace
