#include "support/ScriptedSmtpPeer.h"
#include "support/FreePort.h"
#include "support/TempFolder.h"
#include "mailing/MailingRun.h"
#include "mailing/MessageHeaders.h"
#include "mailing/MacroSubstitution.h"
#include "transport/MessageId.h"
#include "mailing/TemplateInsertion.h"

#include "server/SMTPServer.h"
#include "transport/AntiFreeze.h"
#include "transport/MailMessage.h"
#include "transport/SMTPClient.h"
#include "transport/StopSignal.h"
#include "transport/TransportError.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>
#include <mutex>
#include <set>

using namespace quillet;
using quillet::test::freePort;
using quillet::test::ScriptedSmtpPeer;
using quillet::test::TempFolder;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;

namespace {

RecipientRecord recipient(const std::string& email, const std::string& name, bool enabled = true)
{
    RecipientRecord r;
    r.EMail.set(email);
    r.Name.set(name);
    r.Surname.set("S");
    r.Enabled = enabled ? 1 : 0;
    r.Group.set("G");
    return r;
}

SmtpAccount account(unsigned short port, const std::string& fromAddress, const std::string& enabled)
{
    SmtpAccount a;
    a.host = "127.0.0.1";
    a.port = std::to_string(port);
    a.fromName = "Acc";
    a.fromAddress = fromAddress;
    a.enabled = enabled;
    return a;
}

// The header value of a name in a received message text (first line only).
std::string header(const std::string& text, const std::string& name)
{
    const std::string key = "\r\n" + name + ": ";
    const std::string all = "\r\n" + text;
    const auto at = all.find(key);
    if (at == std::string::npos || at > all.find("\r\n\r\n"))
        return "<none>";
    const auto start = at + key.size();
    return all.substr(start, all.find("\r\n", start) - start);
}

std::string bodyOf(const std::string& text)
{
    return text.substr(text.find("\r\n\r\n") + 4);
}

// Commands of the peer that start with a prefix.
std::vector<std::string> startingWith(const std::vector<std::string>& commands, const std::string& prefix)
{
    std::vector<std::string> out;
    for (const auto& c : commands)
        if (c.rfind(prefix, 0) == 0)
            out.push_back(c);
    return out;
}

struct RunFixture : ::testing::Test {
    Project project;
    MailDraft draft{"Hello %NAME%", {"Dear %NAME%,", "see %PARAM1%."}, {}};
    TSMTPClient client;
    TMailMessage message;
    TSMTPServer server;
    MailingRun run{client, message, &server};
    ScriptedSmtpPeer peer;

    RunFixture()
    {
        message.ContentType = "text/plain";
        project.properties.AutorName.set("Orv");
        for (const char* who : {"a@x.org", "b@x.org", "c@x.org", "d@x.org", "e@x.org"})
            project.recipients.push_back(recipient(who, std::string(1, char(std::toupper(who[0])))));
    }

    MailingRunRequest request(SendRoute route, std::vector<std::size_t> rows)
    {
        MailingRunRequest r;
        r.route = route;
        r.project = &project;
        r.recipients = std::move(rows);
        r.draft = &draft;
        r.defaultServer.host = "127.0.0.1";
        r.defaultServer.port = std::to_string(peer.port());
        r.defaultServer.sendFrom = "default@x.org";
        return r;
    }
};

TEST_F(RunFixture, SendsOneMessageToEachChosenRowInOrderOverOneConnection)
{
    peer.start();
    project.recipients[3].Enabled = 0; // a disabled recipient receives all the same
    std::vector<std::pair<std::size_t, std::size_t>> progress;
    std::size_t started = 99, completed = 99;
    MailingRunHooks hooks;
    hooks.started = [&](std::size_t total) { started = total; };
    hooks.messageSent = [&](std::size_t sent, std::size_t total) { progress.emplace_back(sent, total); };
    hooks.completed = [&](std::size_t sent) { completed = sent; };

    EXPECT_EQ(run.Run(request(SendRoute::Default, {1, 3, 4}), hooks), 3u);
    ASSERT_TRUE(peer.waitClosed(1));
    EXPECT_EQ(started, 3u);
    EXPECT_EQ(completed, 3u);
    EXPECT_EQ(progress, (std::vector<std::pair<std::size_t, std::size_t>>{{1, 3}, {2, 3}, {3, 3}}));
    ASSERT_EQ(peer.connections().size(), 1u);
    EXPECT_THAT(startingWith(peer.allCommands(), "RCPT"),
                ElementsAre("RCPT TO:<b@x.org>", "RCPT TO:<d@x.org>", "RCPT TO:<e@x.org>"));
    EXPECT_EQ(peer.allCommands().back(), "QUIT");
    const auto messages = peer.messages();
    ASSERT_EQ(messages.size(), 3u);
    EXPECT_EQ(header(messages[0], "Subject"), "Hello B");
    EXPECT_EQ(header(messages[1], "To"), "d@x.org");
    EXPECT_EQ(bodyOf(messages[2]), "Dear E,\r\nsee .\r\n");
    EXPECT_EQ(header(messages[0], "Sender"), "default@x.org");
    // The draft keeps its macros for the next run.
    EXPECT_EQ(draft.subject, "Hello %NAME%");
    EXPECT_EQ(message.Body.size(), 2u);
}

TEST_F(RunFixture, AddressFieldWithTwoAddressesGetsOneMessageToBoth)
{
    peer.start();
    project.recipients[0].EMail.set("a@x.org; z@x.org");
    run.Run(request(SendRoute::Default, {0}));
    ASSERT_TRUE(peer.waitClosed(1));
    EXPECT_THAT(startingWith(peer.allCommands(), "RCPT"), ElementsAre("RCPT TO:<a@x.org>", "RCPT TO:<z@x.org>"));
    ASSERT_EQ(peer.messages().size(), 1u);
    EXPECT_EQ(header(peer.messages()[0], "To"), "a@x.org, z@x.org");
}

TEST_F(RunFixture, EmptyRecipientListOpensAndClosesTheConnection)
{
    peer.start();
    bool completed = false;
    MailingRunHooks hooks;
    hooks.completed = [&](std::size_t) { completed = true; };
    EXPECT_EQ(run.Run(request(SendRoute::Default, {}), hooks), 0u);
    ASSERT_TRUE(peer.waitClosed(1));
    EXPECT_TRUE(completed);
    const auto commands = peer.allCommands();
    ASSERT_EQ(commands.size(), 2u);
    EXPECT_THAT(commands[0], HasSubstr("EHLO "));
    EXPECT_EQ(commands[1], "QUIT");
}

TEST_F(RunFixture, LoginOnlyWithUserAndPassword)
{
    peer.offerAuth = true;
    peer.start();
    auto r = request(SendRoute::Default, {0});
    r.defaultServer.userName = "user";
    run.Run(r);
    ASSERT_TRUE(peer.waitClosed(1));
    EXPECT_THAT(peer.allCommands(), Not(Contains("AUTH LOGIN")));

    r.defaultServer.password = "secret";
    run.Run(r);
    ASSERT_TRUE(peer.waitClosed(2));
    EXPECT_THAT(peer.connections()[1].commands, Contains("AUTH LOGIN"));
    EXPECT_THAT(peer.connections()[1].commands, Contains("dXNlcg==")); // "user"
}

TEST_F(RunFixture, ASecondRunFromInsideARunIsRefused)
{
    peer.start();
    std::string nested;
    MailingRunHooks hooks;
    hooks.messageSent = [&](std::size_t, std::size_t) {
        try {
            run.Run(request(SendRoute::Default, {4}));
        } catch (const EMailingError& e) {
            nested = e.what();
        }
    };
    EXPECT_EQ(run.Run(request(SendRoute::Default, {0, 1}), hooks), 2u);
    EXPECT_EQ(nested, "A mailing run is already in progress.");
    ASSERT_TRUE(peer.waitClosed(1));
    EXPECT_EQ(peer.messages().size(), 2u);
}

TEST(MailingRotation, DefaultServerAndEnabledAccountsInTurn)
{
    ScriptedSmtpPeer defaultPeer, peerA, peerB, peerC;
    for (auto* p : {&defaultPeer, &peerA, &peerB, &peerC})
        p->start();
    Project project;
    for (const char* who : {"1@x.org", "2@x.org", "3@x.org", "4@x.org", "5@x.org"})
        project.recipients.push_back(recipient(who, "N"));
    project.accounts = {account(peerA.port(), "a@acc.org", "True"), account(peerB.port(), "b@acc.org", "False"),
                        account(peerC.port(), "c@acc.org", "true")};
    MailDraft draft{"S", {"B"}, {}};
    TSMTPClient client;
    TMailMessage message;
    MailingRun run(client, message, nullptr);
    MailingRunRequest r;
    r.route = SendRoute::Rotating;
    r.project = &project;
    r.recipients = {0, 1, 2, 3, 4};
    r.draft = &draft;
    r.defaultServer = {"127.0.0.1", std::to_string(defaultPeer.port()), "", "", "d@x.org"};

    EXPECT_EQ(run.Run(r), 5u);
    ASSERT_TRUE(defaultPeer.waitClosed(2));
    ASSERT_TRUE(peerA.waitClosed(2));
    ASSERT_TRUE(peerC.waitClosed(1));
    auto toOf = [](ScriptedSmtpPeer& p) { return startingWith(p.allCommands(), "RCPT"); };
    EXPECT_THAT(toOf(defaultPeer), ElementsAre("RCPT TO:<1@x.org>", "RCPT TO:<4@x.org>"));
    EXPECT_THAT(toOf(peerA), ElementsAre("RCPT TO:<2@x.org>", "RCPT TO:<5@x.org>"));
    EXPECT_THAT(toOf(peerC), ElementsAre("RCPT TO:<3@x.org>"));
    EXPECT_TRUE(peerB.connections().empty());
    // One connection per message; the account's from address reaches the message as Sender.
    EXPECT_EQ(defaultPeer.connections().size(), 2u);
    EXPECT_EQ(header(peerA.messages()[0], "Sender"), "Acc <a@acc.org>");
    EXPECT_EQ(header(defaultPeer.messages()[0], "Sender"), "d@x.org");
    // The index goes on in a second run: the next message uses account C.
    EXPECT_EQ(run.AccountIndex(), 2);
    r.recipients = {0};
    run.Run(r);
    ASSERT_TRUE(peerC.waitClosed(2));
    EXPECT_EQ(peerC.messages().size(), 2u);

    // Accounts removed between two runs: an index past the list means the default server.
    r.recipients = {0, 1};
    run.Run(r); // default server, then A: the index now names A
    ASSERT_EQ(run.AccountIndex(), 2);
    project.accounts.resize(1);
    run.Run(r);
    ASSERT_TRUE(defaultPeer.waitClosed(4));
    EXPECT_EQ(defaultPeer.messages().size(), 4u);
}

TEST_F(RunFixture, StopDuringTheThirdOfTenSendsThree)
{
    peer.start();
    std::vector<std::size_t> rows;
    for (int i = 0; i < 10; ++i) {
        project.recipients.push_back(recipient("r" + std::to_string(i) + "@x.org", "R"));
        rows.push_back(project.recipients.size() - 1);
    }
    std::size_t sentSoFar = 0;
    bool stop = false;
    // The hook runs during network waits, that is while a message is under way.
    AntiFreezeScope antiFreeze([&] {
        if (sentSoFar == 2)
            stop = true;
    });
    MailingRunHooks hooks;
    hooks.messageSent = [&](std::size_t sent, std::size_t) { sentSoFar = sent; };
    hooks.stopRequested = [&] { return stop; };
    bool completed = false;
    hooks.completed = [&](std::size_t) { completed = true; };
    EXPECT_EQ(run.Run(request(SendRoute::Default, rows), hooks), 3u);
    ASSERT_TRUE(peer.waitClosed(1));
    EXPECT_EQ(peer.messages().size(), 3u);
    EXPECT_TRUE(completed);
    EXPECT_TRUE(run.LastReport().stopped);
    EXPECT_EQ(MessagesSentText(run.LastReport()), "3 of 10 messages sent");
}

TEST_F(RunFixture, ErrorMidRunEndsItAndTheNextRunConnectsAgain)
{
    peer.failDataOf = 2;
    peer.start();
    std::size_t sentSoFar = 0;
    MailingRunHooks hooks;
    hooks.messageSent = [&](std::size_t sent, std::size_t) { sentSoFar = sent; };
    hooks.completed = [&](std::size_t) { ADD_FAILURE() << "a failed run does not complete"; };
    try {
        run.Run(request(SendRoute::Default, {0, 1, 2, 3}), hooks);
        FAIL();
    } catch (const EProtocolReplyError& e) {
        EXPECT_STREQ(e.what(), "no thanks\r\n");
    }
    EXPECT_EQ(sentSoFar, 1u);
    // Under the error: where it happened, what went out, whose message was under way.
    EXPECT_EQ(RunFailureText(run.LastReport()), "\nServer: 127.0.0.1, port " + std::to_string(peer.port()) +
                                                    "\n1 of 4 messages sent\nNot sent to: b@x.org");
    ASSERT_TRUE(peer.waitClosed(1));
    EXPECT_EQ(peer.connections()[0].commands.back(), "QUIT");
    EXPECT_FALSE(client.Connected());

    hooks.completed = nullptr;
    EXPECT_EQ(run.Run(request(SendRoute::Default, {2, 3}), hooks), 2u);
    ASSERT_TRUE(peer.waitClosed(2));
    EXPECT_EQ(peer.messages().size(), 3u);
}

TEST_F(RunFixture, MacroThatNeverSettlesEndsTheRunBeforeThatRecipientGetsAnything)
{
    peer.start();
    project.recipients[1].Name.set("Dr %NAME%");
    try {
        run.Run(request(SendRoute::Default, {0, 1, 2}));
        FAIL();
    } catch (const std::exception& e) {
        EXPECT_THAT(e.what(), HasSubstr("\"b@x.org\""));
    }
    ASSERT_TRUE(peer.waitClosed(1));
    EXPECT_EQ(peer.messages().size(), 1u);
    EXPECT_THAT(startingWith(peer.allCommands(), "RCPT"), ElementsAre("RCPT TO:<a@x.org>"));
    // Not the server's doing: no server line.
    EXPECT_EQ(RunFailureText(run.LastReport()), "\n1 of 3 messages sent\nNot sent to: b@x.org");
}

TEST(MailingRunReport, ARefusedConnectionNamesTheServerAndTheAccount)
{
    Project project;
    for (const char* who : {"1@x.org", "2@x.org", "3@x.org"})
        project.recipients.push_back(recipient(who, "N"));
    const unsigned short closed = freePort(); // nothing listens there
    ScriptedSmtpPeer defaultPeer;
    defaultPeer.start();
    project.accounts = {account(closed, "a@acc.org", "True")};
    project.accounts[0].user = "ann";
    MailDraft draft{"S", {"B"}, {}};
    TSMTPClient client;
    TMailMessage message;
    MailingRun run(client, message, nullptr);
    MailingRunRequest r;
    r.route = SendRoute::Default;
    r.project = &project;
    r.recipients = {0, 1, 2};
    r.draft = &draft;
    r.defaultServer = {"127.0.0.1", std::to_string(closed), "", "", "d@x.org"};

    // The default route fails while opening its connection: no recipient was under way.
    EXPECT_THROW(run.Run(r), ESocketError);
    EXPECT_EQ(RunFailureText(run.LastReport()),
              "\nServer: 127.0.0.1, port " + std::to_string(closed) + "\n0 of 3 messages sent");

    // The rotating route: the default server takes the first message, the account the second.
    r.route = SendRoute::Rotating;
    r.defaultServer.port = std::to_string(defaultPeer.port());
    EXPECT_THROW(run.Run(r), ESocketError);
    EXPECT_EQ(RunFailureText(run.LastReport()),
              "\nServer: 127.0.0.1, port " + std::to_string(closed) +
                  " (account 1, user ann)\n1 of 3 messages sent\nNot sent to: 2@x.org");
    RunServerPlace place{RunServerPlace::Kind::DefaultServer, "mx", 25, -1, "", true};
    EXPECT_EQ(ServerPlaceText(place), "Server: mx, port 25 (default mail server)");
    place.kind = RunServerPlace::Kind::Account;
    place.accountRow = 2;
    EXPECT_EQ(ServerPlaceText(place), "Server: mx, port 25 (account 3)");

    // Refused before it started: nothing to add to the error's text.
    r.defaultServer.host.clear();
    EXPECT_THROW(run.Run(r), EMailingError);
    EXPECT_EQ(RunFailureText(run.LastReport()), "");
}

TEST_F(RunFixture, AttachmentsStayForTheNextRun)
{
    peer.start();
    TempFolder dir;
    dir.write("note.txt", "hello");
    draft.attachments = {(dir / "note.txt").string()};
    run.Run(request(SendRoute::Default, {0}));
    run.Run(request(SendRoute::Default, {1}));
    ASSERT_TRUE(peer.waitClosed(2));
    ASSERT_EQ(peer.messages().size(), 2u);
    for (const auto& text : peer.messages()) {
        EXPECT_THAT(text, HasSubstr("filename=\"note.txt\""));
        EXPECT_THAT(text, HasSubstr("aGVsbG8=")); // "hello"
    }
    EXPECT_EQ(draft.attachments.size(), 1u);
}

TEST_F(RunFixture, FromIsEmptyUntilATemplateWithReplyToIsInserted)
{
    peer.start();
    run.Run(request(SendRoute::Default, {0}));
    InsertTemplate({"T", "From template", "Orv <orv@x.org>", {"Hi %NAME%"}}, draft, message.From);
    run.Run(request(SendRoute::Default, {1}));
    InsertTemplate({"U", "Second", "", {"Yo"}}, draft, message.From);
    run.Run(request(SendRoute::Default, {2}));
    ASSERT_TRUE(peer.waitClosed(3));
    EXPECT_THAT(startingWith(peer.allCommands(), "MAIL"),
                ElementsAre("MAIL FROM:<>", "MAIL FROM:<orv@x.org>", "MAIL FROM:<orv@x.org>"));
    const auto messages = peer.messages();
    EXPECT_EQ(header(messages[0], "From"), "<none>");
    EXPECT_EQ(header(messages[1], "From"), "\"Orv\" <orv@x.org>");
    EXPECT_EQ(header(messages[1], "Subject"), "From template");
    EXPECT_EQ(bodyOf(messages[2]), "Yo\r\n");
}

TEST_F(RunFixture, DryRunWritesWhatTheServerWouldReceive)
{
    peer.start();
    TempFolder dir;
    auto r = request(SendRoute::Default, {0, 1});
    run.Run(r);
    ASSERT_TRUE(peer.waitClosed(1));
    r.dryRunFolder = dir.path();
    r.defaultServer.port = "abc";
    EXPECT_EQ(run.Run(r), 2u);
    EXPECT_EQ(client.Port, 25); // a port text that is not a number means 25
    EXPECT_EQ(peer.connections().size(), 1u);
    auto withoutDate = [](std::string text) {
        // Date and Message-ID differ from message to message.
        for (const char* name : {"Date: ", "Message-ID: "}) {
            const auto at = text.find(name);
            text.erase(at, text.find("\r\n", at) - at);
        }
        return text;
    };
    const auto messages = peer.messages();
    EXPECT_EQ(withoutDate(dir.read("000001.eml")), withoutDate(messages[0]));
    EXPECT_EQ(withoutDate(dir.read("000002.eml")), withoutDate(messages[1]));
    EXPECT_FALSE(std::filesystem::exists(dir / "000003.eml"));
    // A second dry run into the same folder goes on numbering and overwrites nothing.
    r.recipients = {2};
    run.Run(r);
    EXPECT_THAT(dir.read("000003.eml"), HasSubstr("To: c@x.org\r\n"));
    EXPECT_EQ(withoutDate(dir.read("000001.eml")), withoutDate(messages[0]));
}

// The built-in server, started by the run on its port and switched off again.
struct BuiltinFixture : RunFixture {
    std::mutex lock;
    std::vector<std::string> received;
    BuiltinFixture()
    {
        server.OnReceiveRaw = [this](TSMTPServerThread&, const ReceivedData& data, const TEMailAddressList& rcpt,
                                     std::string&) {
            std::ifstream in(data.Path, std::ios::binary);
            std::lock_guard guard(lock);
            received.push_back(rcpt.AddressesText() + "|" + std::string(std::istreambuf_iterator<char>(in), {}));
        };
    }
    MailingRunRequest builtin(std::vector<std::size_t> rows, unsigned short port)
    {
        auto r = request(SendRoute::Builtin, std::move(rows));
        r.builtinServer.port = std::to_string(port);
        r.builtinServer.sendFrom = "builtin@x.org";
        return r;
    }
};

TEST_F(BuiltinFixture, RunsThroughTheBuiltinServerAndSwitchesItOff)
{
    const unsigned short port = freePort();
    bool activeDuringRun = false;
    MailingRunHooks hooks;
    hooks.messageSent = [&](std::size_t, std::size_t) { activeDuringRun = server.Active(); };
    EXPECT_EQ(run.Run(builtin({0, 2}, port), hooks), 2u);
    EXPECT_TRUE(activeDuringRun);
    EXPECT_FALSE(server.Active());
    ASSERT_EQ(received.size(), 2u);
    EXPECT_THAT(received[0], HasSubstr("a@x.org|"));
    EXPECT_THAT(received[1], HasSubstr("Subject: Hello C\r\n"));
    EXPECT_THAT(received[1], HasSubstr("Sender: builtin@x.org\r\n"));
    // An empty list still opens and closes the connection.
    EXPECT_EQ(run.Run(builtin({}, port)), 0u);
    EXPECT_FALSE(server.Active());
}

TEST_F(BuiltinFixture, FailureSwitchesTheServerOffAndTheNextRunWorks)
{
    const unsigned short port = freePort();
    draft.attachments = {"/nonexistent/quillet/file.bin"};
    try {
        run.Run(builtin({0, 1}, port));
        FAIL();
    } catch (const EFileOpenError& e) {
        EXPECT_THAT(e.what(), HasSubstr("Cannot open file \"/nonexistent/quillet/file.bin\"."));
    }
    EXPECT_FALSE(server.Active());
    EXPECT_FALSE(client.Connected());
    draft.attachments.clear();
    EXPECT_EQ(run.Run(builtin({0, 1}, port)), 2u);
    EXPECT_EQ(received.size(), 2u);
}

TEST_F(BuiltinFixture, AConnectionTheServerClosedBetweenMessagesIsOpenedAgainAtNoAttempt)
{
    server.Faults.disconnectAfter = 1; // as an idle time-out between paced messages does
    EXPECT_EQ(run.Run(builtin({0, 1, 2}, freePort())), 3u);
    EXPECT_EQ(received.size(), 3u);
}

TEST_F(BuiltinFixture, PortInUseEndsTheRunWithTheBindError)
{
    peer.start(); // occupies its port
    try {
        run.Run(builtin({0}, peer.port()));
        FAIL();
    } catch (const ECouldNotBindSocket& e) {
        EXPECT_STREQ(e.what(), "Could not bind socket. Address and port are already in use.");
    }
    // Before the run started: the server's place, no counts.
    EXPECT_EQ(RunFailureText(run.LastReport()),
              "\nServer: 127.0.0.1, port " + std::to_string(peer.port()) + " (built-in mail server)");
    EXPECT_FALSE(server.Active());
}

} // namespace

namespace {

TEST_F(RunFixture, StopDuringAWaitEndsTheRunAtOnceWithTheCountSent)
{
    peer.silentAtDataOf = 2;
    peer.start();
    StopSignal stop;
    auto r = request(SendRoute::Default, {0, 1, 2});
    r.stop = &stop;
    std::size_t completed = 99;
    MailingRunHooks hooks;
    hooks.completed = [&](std::size_t sent) { completed = sent; };
    std::thread stopper([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        stop.Request();
    });
    EXPECT_EQ(run.Run(r, hooks), 1u);
    stopper.join();
    EXPECT_EQ(completed, 1u);
    EXPECT_TRUE(run.LastReport().stopped);
    EXPECT_FALSE(client.Connected());
    ASSERT_TRUE(peer.waitClosed(1));
    EXPECT_EQ(peer.messages().size(), 1u);
    EXPECT_THAT(peer.allCommands(), Not(Contains("QUIT")));
}

} // namespace

TEST_F(RunFixture, EveryMessageCarriesItsOwnMessageIdFromTheSendersDomain)
{
    TempFolder dir;
    auto r = request(SendRoute::Default, {0, 1, 2});
    r.dryRunFolder = dir.path();
    run.Run(r);
    std::set<std::string> ids;
    for (const char* name : {"000001.eml", "000002.eml", "000003.eml"}) {
        const std::string id = header(dir.read(name), "Message-ID");
        EXPECT_THAT(id, ::testing::MatchesRegex("<[0-9]{14}\\.[0-9a-f]{32}@x\\.org>"));
        ids.insert(id);
    }
    EXPECT_EQ(ids.size(), 3u);
    for (int i = 0; i < 100000; ++i)
        ids.insert(NewMessageId("a@x.org"));
    EXPECT_EQ(ids.size(), 100003u);
    // Without a usable domain in the address the host name stands there.
    EXPECT_EQ(MessageIdDomain("Orv <orv@Example-1.org>"), "Example-1.org");
    EXPECT_EQ(MessageIdDomain("orv@x..org"), "");
    EXPECT_THAT(NewMessageId(""), ::testing::EndsWith(">"));
}

TEST_F(RunFixture, ListUnsubscribeExtraHeadersHtmlAndFromSender)
{
    TempFolder dir;
    project.recipients[0].Name.set("A & <B>");
    project.recipients[0].EMail.set("a+1@x.org");
    draft.htmlBody = {"<p>Dear %NAME%</p>"};
    draft.unsubscribeMailto = "unsub@x.org?subject=%ADDRESS%";
    draft.unsubscribeUrl = "https://x.org/u?e=%ADDRESS%&n=%NAME%";
    draft.headers = {{"X-Campaign", "Spring %NAME%"}, {"X-Tag", "one"}};
    auto r = request(SendRoute::Default, {0});
    r.dryRunFolder = dir.path();
    r.fromSender = true;
    run.Run(r);
    const std::string text = dir.read("000001.eml");
    EXPECT_THAT(text, HasSubstr("\r\nList-Unsubscribe: <mailto:unsub@x.org?subject=a%2B1%40x.org>,\r\n"
                                " <https://x.org/u?e=a%2B1%40x.org&n=A%20%26%20%3CB%3E>\r\n"
                                "List-Unsubscribe-Post: List-Unsubscribe=One-Click\r\n"
                                "X-Campaign: Spring A & <B>\r\nX-Tag: one\r\n"));
    EXPECT_THAT(text, HasSubstr("\r\n\r\n<p>Dear A &amp; &lt;B&gt;</p>\r\n"));
    EXPECT_THAT(text, HasSubstr("Content-Type: multipart/alternative;"));
    EXPECT_EQ(header(text, "From"), "default@x.org");
    EXPECT_EQ(header(text, "Sender"), "<none>"); // one mailbox: no Sender beside From
    // The From taken from the sender is the message's only.
    EXPECT_TRUE(message.From.Address.empty());

    // A test message goes to the given address only, its subject marked.
    r.testAddress = "me@y.org";
    r.fromSender = false;
    run.Run(r);
    const std::string test = dir.read("000002.eml");
    EXPECT_EQ(header(test, "To"), "me@y.org");
    EXPECT_EQ(header(test, "Subject"), "[Test] Hello A & <B>");
    EXPECT_EQ(header(test, "From"), "<none>");
    EXPECT_THAT(run.RenderMessage(r, 1), HasSubstr("Subject: [Test] Hello B\r\n"));
}

TEST(MessageHeaders, ExtraHeadersAreCheckedAndListUnsubscribeIsExact)
{
    EXPECT_EQ(ParseExtraHeader("X-Campaign:  spring  "),
              std::make_pair(std::string("X-Campaign"), std::string("spring")));
    for (const char* bad : {"No colon", "Bad name: x", ": x", "X-A: b\r\nBcc: c@x.org", "Content-Type: text/html",
                            "message-id: <x@y>", "List-Unsubscribe: <https://x>"})
        EXPECT_THROW(ParseExtraHeader(bad), EMessageHeaderError) << bad;
    EXPECT_EQ(ListUnsubscribeValue("mailto:u@x.org", ""), "<mailto:u@x.org>");
    EXPECT_EQ(ListUnsubscribeValue("", "https://x.org/u?id=7"), "<https://x.org/u?id=7>");
    EXPECT_EQ(ListUnsubscribeValue("u@x.org", "https://x.org/a b"), "<mailto:u@x.org>, <https://x.org/a%20b>");
    EXPECT_THROW(CheckUnsubscribeUrl("javascript:alert(1)"), EMessageHeaderError);
    EXPECT_EQ(EscapeMacroValue("a\"b'<&>", MacroValueForm::Html), "a&quot;b&#39;&lt;&amp;&gt;");
}
