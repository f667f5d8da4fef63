// Larger runs through the real binary: `quillet send` against `quillet serve` with fault options
// and against aiosmtpd. Every delivery is counted at the peer (per address), so a recipient that
// gets nothing or gets two messages shows; the run's journal is read back with `quillet runs`.
#include "cli/CliHarness.h"
#include "cli/ServeProcess.h"
#include "support/FreePort.h"

#include "project/ProjectFileWriter.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <map>
#include <random>
#include <regex>
#include <set>

using quillet::test::CliHarness;
using quillet::test::CliResult;
using quillet::test::ServeProcess;
using ::testing::HasSubstr;

namespace {

using namespace std::chrono_literals;

std::string address(int i)
{
    char text[32];
    std::snprintf(text, sizeof text, "r%04d@x.org", i);
    return text;
}

// The number of messages each address received, from the To lines of the kept messages.
std::map<std::string, int> deliveries(const std::string& folder)
{
    std::map<std::string, int> count;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
        const std::string text = CliHarness::readFile(entry.path().string());
        const auto at = text.find("\r\nTo: ");
        if (at != std::string::npos)
            ++count[text.substr(at + 6, text.find("\r\n", at + 6) - at - 6)];
    }
    return count;
}

std::size_t fileCount(const std::string& folder)
{
    std::error_code error;
    std::size_t n = 0;
    for (std::filesystem::directory_iterator it(folder, error), end; !error && it != end; it.increment(error))
        ++n;
    return n;
}

std::string jsonMember(const std::string& json, const std::string& name)
{
    std::smatch match;
    const std::regex pattern("\"" + name + "\": (\"[^\"]*\"|[0-9]+)");
    return std::regex_search(json, match, pattern) ? match[1].str() : "<none>";
}

class LargerRuns : public ::testing::Test {
protected:
    // A project with `count` recipients r0000@x.org ... in the group "Big", and the texts of
    // `more` as further recipients.
    void makeProject(int count, const std::vector<std::string>& more = {})
    {
        quillet::Project project;
        project.groups.push_back({"Big", ""});
        for (int i = 0; i < count; ++i) {
            quillet::RecipientRecord r;
            r.EMail.set(address(i));
            r.Group.set("Big");
            project.recipients.push_back(r);
        }
        for (const std::string& text : more) {
            quillet::RecipientRecord r;
            r.EMail.set(text);
            r.Group.set("Big");
            project.recipients.push_back(r);
        }
        projectFile = cli.file("big.oqf");
        quillet::saveProjectFile(project, projectFile);
        total = count;
    }

    std::vector<std::string> send(int port, std::vector<std::string> extra = {})
    {
        std::vector<std::string> args{"send", projectFile, "--group",   "Big",    "--subject",
                                      "Hi",   "--server",  "127.0.0.1", "--port", std::to_string(port)};
        args.insert(args.end(), extra.begin(), extra.end());
        return args;
    }

    static std::string runId(const CliResult& r)
    {
        std::smatch match;
        const std::regex pattern("Run ID: ([0-9a-f-]+)");
        return std::regex_search(r.err, match, pattern) ? match[1].str() : "";
    }

    // Every recipient got exactly one message.
    void expectEachOnce(const std::map<std::string, int>& received)
    {
        EXPECT_EQ(received.size(), std::size_t(total));
        for (const auto& [who, n] : received)
            EXPECT_EQ(n, 1) << who;
    }

    // Starts `quillet ARGS` in the background with standard output into a file.
    pid_t start(const std::vector<std::string>& args, const std::string& out)
    {
        const pid_t child = ::fork();
        if (child == 0) {
            cli.exportToChild();
            const int fd = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            ::dup2(fd, 1);
            ::dup2(fd, 2);
            std::vector<char*> argv{const_cast<char*>(QUILLET_CLI)};
            for (const std::string& a : args)
                argv.push_back(const_cast<char*>(a.c_str()));
            argv.push_back(nullptr);
            ::execv(QUILLET_CLI, argv.data());
            _exit(127);
        }
        return child;
    }

    static bool waitFor(const std::function<bool()>& condition, std::chrono::seconds limit = 20s)
    {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (!condition()) {
            if (std::chrono::steady_clock::now() > deadline)
                return false;
            ::usleep(2000);
        }
        return true;
    }

    static int exitStatus(pid_t child)
    {
        int status = 0;
        if (!waitFor([&] { return ::waitpid(child, &status, WNOHANG) == child; })) {
            ::kill(child, SIGKILL);
            ::waitpid(child, &status, 0);
            return -1;
        }
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }

    CliHarness cli;
    std::string projectFile;
    int total = 0;
};

} // namespace

TEST_F(LargerRuns, RejectedRecipientsAreRecordedWithTheirRepliesAndTheRunGoesOn)
{
    makeProject(1000);
    const std::string kept = cli.file("kept");
    ServeProcess serve(cli, {"--capture", kept, "--reject-rcpt", "^r0(100|500|999)@"});
    const CliResult r = cli.run(send(serve.port(), {"--on-error", "skip"}));
    ASSERT_EQ(r.status, 3) << r;
    EXPECT_EQ(r.out, ""); // not complete: three were refused
    const std::string id = runId(r);
    EXPECT_THAT(r.err, HasSubstr("sent 997, rejected 3, failed 0, unknown 0, skipped 0, not tried 0 of 1000. "
                                 "See: quillet runs show " +
                                 id));
    EXPECT_EQ(deliveries(kept).size(), 997u);

    const CliResult show = cli.run({"runs", "show", id, "--json"});
    ASSERT_EQ(show.status, 0) << show;
    EXPECT_EQ(jsonMember(show.out, "sent"), "997");
    EXPECT_EQ(jsonMember(show.out, "rejected"), "3");
    EXPECT_THAT(show.out, HasSubstr("{\"email\": \"r0500@x.org\", \"status\": \"rejected\", \"reply\": "
                                    "\"550 5.1.1 <r0500@x.org>: Recipient address rejected\", \"attempts\": 1"));
    const CliResult csv = cli.run({"runs", "export", id, "--csv"});
    EXPECT_THAT(csv.out, HasSubstr("\r\nr0999@x.org,rejected,550 5.1.1 <r0999@x.org>: Recipient address rejected,1,"));
    EXPECT_EQ(std::count(csv.out.begin(), csv.out.end(), '\n'), 1001);
    EXPECT_THAT(cli.run({"runs", "list"}).out, HasSubstr(id + "\t"));

    // The default policy ends the run at the first refusal, and says so in the journal.
    const CliResult stopped = cli.run(send(serve.port()));
    EXPECT_EQ(stopped.status, 1) << stopped;
    const CliResult stoppedShow = cli.run({"runs", "show", runId(stopped), "--json"});
    EXPECT_EQ(jsonMember(stoppedShow.out, "sent"), "100");
    EXPECT_EQ(jsonMember(stoppedShow.out, "not_tried"), "899");
    EXPECT_EQ(jsonMember(stoppedShow.out, "ending"), "\"error\"");
}

TEST_F(LargerRuns, TemporaryFailuresAndDroppedConnectionsAreRetriedAndNothingIsSentTwice)
{
    makeProject(1000);
    const std::string kept = cli.file("kept");
    ServeProcess serve(cli, {"--capture", kept, "--tempfail-every", "200", "--disconnect-after", "100"});
    const CliResult r = cli.run(send(serve.port(), {"--retries", "2", "--retry-wait", "0.01"}));
    ASSERT_EQ(r.status, 0) << r;
    EXPECT_EQ(r.out, "Mail sending complete!\n");
    expectEachOnce(deliveries(kept));
    const CliResult show = cli.run({"runs", "show", runId(r), "--json"});
    EXPECT_EQ(jsonMember(show.out, "sent"), "1000");
    EXPECT_THAT(show.out, HasSubstr("\"attempts\": 2"));
}

// SIGINT while the run waits for a server that took the connection and never says a word: the
// run ends at once (the greeting may take minutes by default), stopped, with exit 130.
TEST_F(LargerRuns, InterruptDuringAWaitOnASilentServerEndsAtOnce)
{
    makeProject(3);
    const int silent = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ASSERT_EQ(::bind(silent, reinterpret_cast<sockaddr*>(&address), length), 0);
    ASSERT_EQ(::listen(silent, 4), 0);
    ::getsockname(silent, reinterpret_cast<sockaddr*>(&address), &length);
    const std::string out = cli.file("out.txt");
    const pid_t child = start(send(ntohs(address.sin_port)), out);
    // The listening socket turns readable once the connection waits to be accepted.
    ASSERT_TRUE(waitFor([&] {
        pollfd p{silent, POLLIN, 0};
        return ::poll(&p, 1, 0) == 1;
    }));
    ::usleep(300'000); // well into the wait for the greeting
    const auto interrupted = std::chrono::steady_clock::now();
    ::kill(child, SIGINT);
    EXPECT_EQ(exitStatus(child), 130);
    const auto took =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - interrupted);
    RecordProperty("ms_from_sigint_to_exit", int(took.count()));
    EXPECT_LT(took, 2000ms);
    EXPECT_THAT(CliHarness::readFile(out), HasSubstr("Stopped: 0 of 3 sent\n"));
    ::close(silent);
}

TEST_F(LargerRuns, InterruptEndsWith130AndTheResumeSendsTheRestOnce)
{
    makeProject(300);
    const std::string kept = cli.file("kept");
    ServeProcess serve(cli, {"--capture", kept, "--delay-ms", "2"});
    const std::string out = cli.file("out.txt");
    const pid_t child = start(send(serve.port()), out);
    ASSERT_TRUE(waitFor([&] { return fileCount(kept) >= 20; }));
    ::kill(child, SIGINT);
    EXPECT_EQ(exitStatus(child), 130);
    const std::string printed = CliHarness::readFile(out);
    const std::size_t sent = fileCount(kept);
    EXPECT_LT(sent, 300u);
    EXPECT_THAT(printed, HasSubstr("Stopped: " + std::to_string(sent) + " of 300 sent\n"));

    std::smatch match;
    ASSERT_TRUE(std::regex_search(printed, match, std::regex("Run ID: ([0-9a-f-]+)")));
    const std::string id = match[1];
    const CliResult show = cli.run({"runs", "show", id, "--json"});
    EXPECT_EQ(jsonMember(show.out, "sent"), std::to_string(sent));
    EXPECT_EQ(jsonMember(show.out, "unknown"), "0");
    EXPECT_EQ(jsonMember(show.out, "ending"), "\"stopped\"");

    const CliResult resumed = cli.run({"send", "--resume", id, "--port", std::to_string(serve.port())});
    ASSERT_EQ(resumed.status, 0) << resumed;
    EXPECT_THAT(resumed.err, HasSubstr("Run ID: " + id));
    expectEachOnce(deliveries(kept));

    // Arguments given again must agree with the journal.
    EXPECT_EQ(cli.run({"send", "--resume", id, "--group", "Other"}).status, 2);
    EXPECT_EQ(cli.run({"send", "--resume", id, "--subject", "Else"}).status, 2);
    const CliResult done = cli.run({"send", "--resume", id});
    EXPECT_EQ(done.status, 0) << done;
    EXPECT_THAT(done.err, HasSubstr("every recipient was sent already"));
}

TEST_F(LargerRuns, AResumeOfARunStillGoingIsRefusedAtOnceAndNobodyGetsTwo)
{
    makeProject(20);
    const std::string kept = cli.file("kept");
    ServeProcess serve(cli, {"--capture", kept});
    const std::string out = cli.file("out.txt");
    const pid_t child = start(send(serve.port(), {"--rate", "10/s"}), out);
    std::smatch match;
    std::string printed;
    ASSERT_TRUE(waitFor([&] {
        printed = CliHarness::readFile(out);
        return std::regex_search(printed, match, std::regex("Run ID: ([0-9a-f-]+)\n"));
    }));
    const std::string id = match[1];
    const CliResult again = cli.run({"send", "--resume", id, "--port", std::to_string(serve.port())});
    EXPECT_EQ(again.status, 1) << again;
    EXPECT_THAT(again.err, HasSubstr("Run " + id + " is still in progress (process " + std::to_string(child) + ")"));
    EXPECT_EQ(exitStatus(child), 0);
    expectEachOnce(deliveries(kept));
}

TEST_F(LargerRuns, AResumeKeepsTheCodePageOfTheRunAndNamesTheOriginalOptionThatDiffers)
{
    makeProject(3);
    ServeProcess refusing(cli, {"--reject-rcpt", "^r0001@"});
    const CliResult first = cli.run([&] {
        std::vector<std::string> args = send(refusing.port(), {"--subject", "Grüße", "--header", "X-Tag: one"});
        args.insert(args.begin(), {"--codepage", "utf-8"});
        return args;
    }());
    ASSERT_EQ(first.status, 1) << first;
    const std::string id = runId(first);
    for (const auto& [option, value] : std::vector<std::pair<std::string, std::string>>{
             {"--header", "X-Tag: two"}, {"--html-file", cli.file("none.html")}, {"--codepage", "windows-1252"}}) {
        if (option == "--html-file")
            CliHarness::writeFile(value, "<p>other</p>");
        const CliResult differs = cli.run({"send", "--resume", id, option, value});
        EXPECT_EQ(differs.status, 2) << differs;
        EXPECT_THAT(differs.err, HasSubstr(option + " does not agree with run " + id));
    }
    const CliResult fromSender = cli.run({"send", "--resume", id, "--header", "X-Tag: one", "--from-sender"});
    EXPECT_EQ(fromSender.status, 2) << fromSender;
    EXPECT_THAT(fromSender.err, HasSubstr("--from-sender does not agree"));

    const std::string kept = cli.file("kept");
    ServeProcess taking(cli, {"--capture", kept});
    const CliResult resumed = cli.run({"send", "--resume", id, "--port", std::to_string(taking.port())});
    ASSERT_EQ(resumed.status, 0) << resumed;
    ASSERT_EQ(fileCount(kept), 2u);
    const std::string message = CliHarness::readFile(kept + "/000001.eml");
    EXPECT_THAT(message, HasSubstr("Subject: =?UTF-8?B?R3LDvMOfZQ==?=\r\n")); // "Grüße" in UTF-8
    EXPECT_THAT(message, HasSubstr("\r\nX-Tag: one\r\n"));
}

TEST_F(LargerRuns, InvalidAddressesMissingAttachmentsAndTestSendsAreNoSurprise)
{
    makeProject(2, {"not an email"});
    // The check lists a missing attachment with its other findings.
    const CliResult check = cli.run(
        {"send", projectFile, "--group", "Big", "--subject", "Hi", "--check", "--attach", cli.file("missing.pdf")});
    EXPECT_EQ(check.status, 1) << check;
    EXPECT_THAT(check.out, HasSubstr("missing.pdf\" cannot be read"));
    EXPECT_THAT(check.out, HasSubstr("with an address that is not valid (not an email)"));

    const std::string kept = cli.file("kept");
    ServeProcess serve(cli, {"--capture", kept});
    // A test message is no run: no journal.
    const CliResult test = cli.run(send(serve.port(), {"--test-to", "me@x.org", "--preview", "2"}));
    ASSERT_EQ(test.status, 0) << test;
    EXPECT_EQ(runId(test), "");
    EXPECT_EQ(cli.run({"runs", "list"}).out, "");

    // The text that is no mailbox is never sent to; the run goes on and ends with it named.
    const CliResult r = cli.run(send(serve.port()));
    EXPECT_EQ(r.status, 3) << r;
    EXPECT_EQ(r.out, "");
    EXPECT_THAT(r.err, HasSubstr("skipped 1, not tried 0 of 3; not a valid address, not sent to: not an email. See:"));
    EXPECT_EQ(fileCount(kept), 3u); // the test message and the two mailboxes
}

TEST_F(LargerRuns, KilledAtRandomPointsThenResumedEveryoneGetsOneMessageApartFromTheUnknown)
{
    makeProject(300);
    const std::string kept = cli.file("kept");
    ServeProcess serve(cli, {"--capture", kept, "--delay-ms", "1"});
    std::mt19937 random(std::random_device{}());
    std::string id;
    const int kills = 3;
    for (int k = 0; k < kills; ++k) {
        const std::string out = cli.file("out" + std::to_string(k));
        const std::size_t before = fileCount(kept);
        const pid_t child =
            start(id.empty() ? send(serve.port()) : std::vector<std::string>{"send", "--resume", id}, out);
        const std::size_t target = before + 10 + random() % 40;
        ASSERT_TRUE(waitFor([&] { return fileCount(kept) >= target; }));
        ::usleep(random() % 3000);
        ::kill(child, SIGKILL);
        EXPECT_EQ(exitStatus(child), 128 + SIGKILL);
        if (id.empty()) {
            std::smatch match;
            const std::string printed = CliHarness::readFile(out);
            ASSERT_TRUE(std::regex_search(printed, match, std::regex("Run ID: ([0-9a-f-]+)"))) << printed;
            id = match[1];
        }
    }
    // A kill in the middle of a write leaves a torn last line; the resume goes on regardless.
    const std::string journal = (cli.stateHome() / "orv-quillet" / "runs" / (id + ".jsonl")).string();
    std::ofstream(journal, std::ios::app) << "{\"type\":\"outcome\",\"n\":29";

    const CliResult last = cli.run({"send", "--resume", id});
    ASSERT_TRUE(last.status == 0 || last.status == 3) << last;
    const CliResult show = cli.run({"runs", "show", id, "--json"});
    const int unknown = std::stoi(jsonMember(show.out, "unknown"));
    EXPECT_LE(unknown, kills); // at most one message under way per connection
    EXPECT_EQ(std::stoi(jsonMember(show.out, "sent")) + unknown, 300) << show.out;
    EXPECT_EQ(last.status, unknown ? 3 : 0) << last;
    if (unknown)
        EXPECT_THAT(last.err, HasSubstr(", " + std::to_string(unknown) + " left out, outcome unknown. See:"));

    // Nobody got two messages; whoever got none is among the unknown ones.
    std::set<std::string> unknownAddresses;
    const std::regex unknownEntry("\"email\": \"([^\"]+)\", \"status\": \"unknown\"");
    for (std::sregex_iterator it(show.out.begin(), show.out.end(), unknownEntry), end; it != end; ++it)
        unknownAddresses.insert((*it)[1]);
    const auto received = deliveries(kept);
    for (int i = 0; i < total; ++i) {
        const auto found = received.find(address(i));
        const int n = found == received.end() ? 0 : found->second;
        EXPECT_LE(n, 1) << address(i);
        if (n == 0) {
            EXPECT_TRUE(unknownAddresses.count(address(i))) << address(i);
        }
    }
}

TEST_F(LargerRuns, TheRateIsNeverExceededAtThePeer)
{
    makeProject(30);
    const std::string kept = cli.file("kept");
    ServeProcess serve(cli, {"--capture", kept});
    const CliResult r = cli.run(send(serve.port(), {"--rate", "20/s", "--max-per-connection", "7"}));
    ASSERT_EQ(r.status, 0) << r;
    std::vector<std::filesystem::file_time_type> arrivals;
    for (const auto& entry : std::filesystem::directory_iterator(kept))
        arrivals.push_back(entry.last_write_time());
    ASSERT_EQ(arrivals.size(), 30u);
    const auto [first, last] = std::minmax_element(arrivals.begin(), arrivals.end());
    // 30 messages at 20 a second start at least 29 / 20 s apart; one interval is left as slack
    // for the difference between a message's start and its arrival.
    EXPECT_GE(*last - *first, std::chrono::milliseconds(28 * 50));
    EXPECT_EQ(cli.run(send(serve.port(), {"--rate", "20/day"})).status, 2);
}

TEST_F(LargerRuns, AgainstAiosmtpdRefusalsAreSkippedAndTemporaryFailuresRetried)
{
    if (::access("/usr/bin/python3", X_OK) != 0 ||
        std::system("/usr/bin/python3 -c 'import aiosmtpd' 2>/dev/null") != 0)
        GTEST_SKIP() << "aiosmtpd is not installed";
    makeProject(200);
    const std::string log = cli.file("delivered.txt");
    const std::string port = std::to_string(quillet::test::freePort());
    const std::string peer = std::string(QUILLET_SOURCE_DIR) + "/tests/cli/peers/faulty_aiosmtpd.py";
    const pid_t server = ::fork();
    if (server == 0) {
        ::execl("/usr/bin/python3", "python3", peer.c_str(), port.c_str(), log.c_str(), nullptr);
        _exit(127);
    }
    struct Stop {
        pid_t pid;
        ~Stop()
        {
            ::kill(pid, SIGTERM);
            ::waitpid(pid, nullptr, 0);
        }
    } stop{server};
    ASSERT_TRUE(waitFor([&] { return std::filesystem::exists(log); }, 20s)) << "aiosmtpd did not start";

    const CliResult r = cli.run(send(std::stoi(port), {"--on-error", "skip", "--retry-wait", "0.01"}));
    ASSERT_EQ(r.status, 3) << r;
    const CliResult show = cli.run({"runs", "show", runId(r), "--json"});
    EXPECT_EQ(jsonMember(show.out, "sent"), "198");
    EXPECT_EQ(jsonMember(show.out, "rejected"), "2");
    EXPECT_THAT(show.out, HasSubstr("\"email\": \"r0042@x.org\", \"status\": \"rejected\", \"reply\": \"550 "));
    std::map<std::string, int> received;
    std::istringstream lines(CliHarness::readFile(log));
    for (std::string line; std::getline(lines, line);)
        if (!line.empty())
            ++received[line];
    EXPECT_EQ(received.size(), 198u);
    for (const auto& [who, n] : received)
        EXPECT_EQ(n, 1) << who;
}
