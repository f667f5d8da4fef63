// Whole SMTP dialogues of the client against scripted servers on 127.0.0.1: the exact command
// lines, the message text after DATA, and what each refusal does.
#include "transport/MailMessage.h"
#include "transport/SMTPClient.h"
#include "transport/StringLineWriter.h"
#include "transport/TransportError.h"

#include "support/ScriptedSmtpPeer.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

using namespace quillet;
using namespace quillet::test;

namespace {

using Lines = std::vector<std::string>;

TMailMessage SampleMessage(const std::string& to = "rcpt@example.org")
{
    TMailMessage message;
    message.From = TEMailAddressItem("sender@example.org", "Sender");
    message.Recipients.SetAddressesText(to);
    message.Subject = "Hello";
    message.ContentType = "text/plain";
    message.Body = {"Line one", ".dot line", ""};
    message.Date = 1796574919; // fixed, so two renderings are the same
    return message;
}

void ConnectTo(TSMTPClient& client, uint16_t port)
{
    client.Host = "127.0.0.1";
    client.Port = port;
    client.HeloName = "client.test";
    client.Connect();
}

TEST(SMTPClientSettings, LoginSwitchesEhloOnAndNoEhloSwitchesLoginOff)
{
    TSMTPClient client;
    EXPECT_EQ(client.Port, 25);
    EXPECT_EQ(client.RecvBufferSize, 8192);
    client.SetUseEhlo(false);
    client.SetAuthenticationType(TAuthenticationType::atLogin);
    EXPECT_TRUE(client.UseEhlo());
    client.SetUseEhlo(false);
    EXPECT_EQ(client.AuthenticationType(), TAuthenticationType::atNone);
}

TEST(SMTPClientSettings, AuthLinesInAnyFormAnnounceMechanismsOnce)
{
    Lines schemes;
    TSMTPClient::AddAuthSchemes({"SIZE 1000", "AUTH=LOGIN", "auth login plain", "Auth=Cram-MD5=x  y", "AUTHX Z",
                                 "AUTH"},
                                schemes);
    EXPECT_EQ(schemes, (Lines{"LOGIN", "PLAIN", "CRAM-MD5", "X", "Y"}));
}

TEST(SMTPClientSession, EhloRefusedFallsBackToHeloAndSkipsAuthentication)
{
    ScriptedSmtpPeer server("220 old.server ready\r\n", [](const std::string& command) -> std::string {
        if (command.rfind("EHLO", 0) == 0)
            return "502 Command not implemented\r\n";
        if (command == "DATA")
            return "354 go\r\n";
        return "250 OK\r\n";
    });
    TSMTPClient client;
    client.SetAuthenticationType(TAuthenticationType::atLogin);
    client.Username = "user";
    client.Password = "pass";
    ConnectTo(client, server.port());
    EXPECT_TRUE(client.AuthSchemes().empty());
    TMailMessage message = SampleMessage();
    client.Send(message);
    EXPECT_FALSE(client.Authenticated());
    client.Disconnect();
    EXPECT_EQ(server.allCommands(),
              (Lines{"EHLO client.test", "HELO client.test", "RSET", "MAIL FROM:<sender@example.org>",
                     "RCPT TO:<rcpt@example.org>", "DATA", "<text>", ".", "QUIT"}));
}

TEST(SMTPClientSession, RefusedGreetingWritesQuitThenRaisesTheGreetingText)
{
    ScriptedSmtpPeer server("554-No service here\r\n554 Go away\r\n", ScriptedSmtpPeer::Accepting());
    TSMTPClient client;
    try {
        ConnectTo(client, server.port());
        FAIL() << "no error";
    } catch (const EProtocolReplyError& e) {
        EXPECT_EQ(e.code(), 554);
        EXPECT_STREQ(e.what(), "No service here\r\nGo away\r\n");
    }
    EXPECT_FALSE(client.Connected());
    EXPECT_EQ(server.allCommands(), (Lines{"QUIT"}));
}

TEST(SMTPClientSession, TwoMessagesOnOneConnectionAuthenticateOnce)
{
    ScriptedSmtpPeer server("220 ready\r\n",
                            ScriptedSmtpPeer::Accepting({"SIZE 10240000", "AUTH=LOGIN", "AUTH PLAIN LOGIN"}));
    TSMTPClient client;
    client.SetAuthenticationType(TAuthenticationType::atLogin);
    client.Username = "user";
    client.Password = "pass";
    ConnectTo(client, server.port());
    EXPECT_EQ(client.AuthSchemes(), (Lines{"LOGIN", "PLAIN"}));
    TMailMessage message = SampleMessage();
    client.Send(message);
    EXPECT_TRUE(client.Authenticated());
    message.Recipients.SetAddressesText("second@example.org");
    client.Send(message);
    client.Disconnect();
    EXPECT_FALSE(client.Authenticated());
    // The server announces SIZE: MAIL names each message's size as sent.
    auto mailFrom = [&](size_t i) {
        return "MAIL FROM:<sender@example.org> SIZE=" + std::to_string(server.messages().at(i).size());
    };
    EXPECT_EQ(server.allCommands(),
              (Lines{"EHLO client.test", "RSET", "AUTH LOGIN", "dXNlcg==", "cGFzcw==", mailFrom(0),
                     "RCPT TO:<rcpt@example.org>", "DATA", "<text>", ".", "RSET", mailFrom(1),
                     "RCPT TO:<second@example.org>", "DATA", "<text>", ".", "QUIT"}));
}

TEST(SMTPClientSession, RefusedPasswordRaisesAndLeavesTheClientUnauthenticated)
{
    ScriptedSmtpPeer server("220 ready\r\n", ScriptedSmtpPeer::Accepting({"AUTH LOGIN"}));
    TSMTPClient client;
    client.SetAuthenticationType(TAuthenticationType::atLogin);
    client.Username = "user";
    client.Password = "wrong";
    ConnectTo(client, server.port());
    TMailMessage message = SampleMessage();
    try {
        client.Send(message);
        FAIL() << "no error";
    } catch (const EAuthenticationFailed& e) {
        EXPECT_EQ(e.code(), 535);
        EXPECT_STREQ(e.what(), "Authentication failed\r\n");
    }
    EXPECT_FALSE(client.Authenticated());
    client.Disconnect();
}

TEST(SMTPClientSession, RefusedRecipientRaisesTheServerTextAndSendsNoData)
{
    ScriptedSmtpPeer server("220 ready\r\n", [](const std::string& command) -> std::string {
        if (command == "RCPT TO:<bad@example.org>")
            return "550 Mailbox unavailable\r\n";
        if (command.rfind("RCPT", 0) == 0)
            return "251 User not local; will forward\r\n";
        return ScriptedSmtpPeer::Accepting()(command);
    });
    TSMTPClient client;
    ConnectTo(client, server.port());
    TMailMessage message = SampleMessage("good@example.org, bad@example.org");
    message.CCList.SetAddressesText("cc@example.org");
    try {
        client.Send(message);
        FAIL() << "no error";
    } catch (const EProtocolReplyError& e) {
        EXPECT_EQ(e.code(), 550);
        EXPECT_STREQ(e.what(), "Mailbox unavailable\r\n");
    }
    EXPECT_TRUE(client.Connected());
    client.Disconnect();
    EXPECT_EQ(server.allCommands(), (Lines{"EHLO client.test", "RSET", "MAIL FROM:<sender@example.org>",
                                           "RCPT TO:<good@example.org>", "RCPT TO:<bad@example.org>", "QUIT"}));
}

TEST(SMTPClientSession, MessageWithoutFromIsAnnouncedWithEmptySenderAndAllListsAreRecipients)
{
    ScriptedSmtpPeer server("220 ready\r\n", ScriptedSmtpPeer::Accepting());
    TSMTPClient client;
    ConnectTo(client, server.port());
    TMailMessage message = SampleMessage("to@example.org");
    message.From = TEMailAddressItem();
    message.CCList.SetAddressesText("cc@example.org");
    message.BccList.SetAddressesText("bcc1@example.org; bcc2@example.org");
    client.Send(message);
    client.Disconnect();
    EXPECT_EQ(server.allCommands(),
              (Lines{"EHLO client.test", "RSET", "MAIL FROM:<>", "RCPT TO:<to@example.org>", "RCPT TO:<cc@example.org>",
                     "RCPT TO:<bcc1@example.org>", "RCPT TO:<bcc2@example.org>", "DATA", "<text>", ".", "QUIT"}));
}

TEST(SMTPClientSession, LineBreaksInAnAddressCannotStartACommand)
{
    ScriptedSmtpPeer server("220 ready\r\n", ScriptedSmtpPeer::Accepting());
    TSMTPClient client;
    ConnectTo(client, server.port());
    TMailMessage message = SampleMessage();
    message.Recipients.clear();
    message.Recipients.Add(TEMailAddressItem("a@example.org>\r\nRCPT TO:<evil@example.org"));
    client.Send(message);
    client.Disconnect();
    const Lines commands = server.allCommands();
    ASSERT_GE(commands.size(), 4u);
    EXPECT_EQ(commands[3], "RCPT TO:<a@example.org>  RCPT TO:<evil@example.org>");
    EXPECT_EQ(commands[4], "DATA");
}

TEST(SMTPClientSession, MessageTextIsTheRenderedMessageByteForByteWithTheMailAgent)
{
    const auto file = std::filesystem::temp_directory_path() / "quillet-smtp-client-attachment.bin";
    {
        std::ofstream out(file, std::ios::binary);
        for (int i = 0; i < 300000; ++i) // larger than one gathered send
            out.put(static_cast<char>(i * 7 % 256));
    }
    ScriptedSmtpPeer server("220 ready\r\n", ScriptedSmtpPeer::Accepting());
    TSMTPClient client;
    client.MailAgent = "Quillet Agent";
    ConnectTo(client, server.port());
    TMailMessage message = SampleMessage();
    message.Attachments.emplace_back(file.string());
    client.Send(message);
    client.MailAgent.clear();
    message.Attachments.clear();
    client.Send(message);
    client.Disconnect();

    const Lines texts = server.messages();
    ASSERT_EQ(texts.size(), 2u);
    TMailMessage expected = SampleMessage();
    expected.Attachments.emplace_back(file.string());
    expected.ExtraHeaders.SetValue("X-Mailer", "Quillet Agent");
    StringLineWriter first;
    WriteMessage(expected, first);
    std::filesystem::remove(file);
    EXPECT_EQ(texts[0], first.text);
    EXPECT_NE(texts[0].find("\r\nX-Mailer: Quillet Agent\r\n"), std::string::npos);

    expected.Attachments.clear();
    expected.ExtraHeaders.SetValue("X-Mailer", "");
    StringLineWriter second;
    WriteMessage(expected, second);
    EXPECT_EQ(texts[1], second.text);
    EXPECT_EQ(texts[1].find("X-Mailer"), std::string::npos);
}

TEST(SMTPClientSession, MissingAttachmentRaisesAfterTheHeaderBlockWasSent)
{
    ScriptedSmtpPeer server("220 ready\r\n", ScriptedSmtpPeer::Accepting());
    TSMTPClient client;
    ConnectTo(client, server.port());
    TMailMessage message = SampleMessage();
    message.Attachments.emplace_back("/nonexistent/quillet/file.bin");
    try {
        client.Send(message);
        FAIL() << "no error";
    } catch (const EFileOpenError& e) {
        EXPECT_EQ(std::string(e.what()).rfind("Cannot open file \"/nonexistent/quillet/file.bin\". ", 0), 0u);
    }
    client.Disconnect();
    const std::string received = server.received();
    EXPECT_NE(received.find("Subject: Hello\r\n"), std::string::npos);
    EXPECT_NE(received.find("Content-Type: text/plain\r\nContent-Transfer-Encoding: 7bit\r\n"), std::string::npos);
}

TEST(SMTPClientSession, DisconnectAfterTheServerClosedLeavesTheClientClosedAndUnauthenticated)
{
    ScriptedSmtpPeer server("220 ready\r\n", [](const std::string& command) -> std::string {
        if (command == ".")
            return ""; // closes without answering
        return ScriptedSmtpPeer::Accepting({"AUTH LOGIN"})(command);
    });
    TSMTPClient client;
    client.SetAuthenticationType(TAuthenticationType::atLogin);
    client.Username = "user";
    client.Password = "pass";
    ConnectTo(client, server.port());
    TMailMessage message = SampleMessage();
    EXPECT_THROW(client.Send(message), EConnClosedGracefully);
    EXPECT_TRUE(client.Authenticated());
    client.Disconnect(); // the peer's close was noticed: no QUIT, no error
    EXPECT_FALSE(client.Connected());
    EXPECT_FALSE(client.Authenticated());
}

TEST(SMTPClientSession, QuitWriteFailureIsRaisedAfterClosing)
{
    ScriptedSmtpPeer server("220 ready\r\n", [](const std::string& command) -> std::string {
        if (command == ".")
            return "250 Queued\r\n<close>";
        return ScriptedSmtpPeer::Accepting({"AUTH LOGIN"})(command);
    });
    TSMTPClient client;
    client.SetAuthenticationType(TAuthenticationType::atLogin);
    client.Username = "user";
    client.Password = "pass";
    ConnectTo(client, server.port());
    TMailMessage message = SampleMessage();
    client.Send(message);
    server.join();
    client.WriteLn("NOOP"); // accepted locally; the closed peer answers with a reset
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_TRUE(client.Connected()); // nothing read: the close is not noticed yet
    try {
        client.Disconnect();
        FAIL() << "no error";
    } catch (const ESocketError& e) {
        EXPECT_TRUE(e.code() == 10054 || e.code() == 10058) << e.code();
    }
    EXPECT_FALSE(client.Connected());
    EXPECT_FALSE(client.Authenticated());
}

TEST(SMTPClientSession, ReconnectAfterDisconnectGreetsAndAuthenticatesAnew)
{
    TSMTPClient client;
    client.SetAuthenticationType(TAuthenticationType::atLogin);
    client.Username = "user";
    client.Password = "pass";
    for (int round = 0; round < 2; ++round) {
        ScriptedSmtpPeer server("220 ready\r\n", ScriptedSmtpPeer::Accepting({"AUTH LOGIN"}));
        ConnectTo(client, server.port());
        TMailMessage message = SampleMessage();
        client.Send(message);
        client.Disconnect();
        const Lines commands = server.allCommands();
        ASSERT_GE(commands.size(), 3u);
        EXPECT_EQ(commands[2], "AUTH LOGIN") << "round " << round;
    }
}

} // namespace

// Pipelining: the group leaves before any of its replies is read, the replies are matched in
// order, and refusals end as they do without pipelining.
TEST(SMTPClientPipelining, WholeGroupLeavesBeforeAnyReplyAndTheTextFollowsTheReplies)
{
    ScriptedPeer peer([](PeerSocket& socket) {
        socket.Send("220 ready\r\n");
        socket.ReadLine();
        socket.Send("250-test.server\r\n250 PIPELINING\r\n");
        for (int i = 0; i < 4; ++i) // RSET, MAIL, RCPT, DATA, unanswered until all are in
            if (!socket.ReadLine())
                return;
        socket.Send("250 reset\r\n250 sender ok\r\n250 recipient ok\r\n354 go ahead\r\n");
        while (socket.ReadLine().value_or(".") != ".") {
        }
        socket.Send("250 queued\r\n");
        socket.ReadToEnd();
    });
    TSMTPClient client;
    ConnectTo(client, peer.Port());
    EXPECT_TRUE(client.PipeliningOffered());
    TMailMessage message = SampleMessage();
    client.Send(message);
    EXPECT_EQ(client.LastCmdResult().NumericCode, 250);
    client.Disconnect();
    peer.Join();
    const std::string received = peer.Received();
    const std::string group = "EHLO client.test\r\nRSET\r\nMAIL FROM:<sender@example.org>\r\n"
                              "RCPT TO:<rcpt@example.org>\r\nDATA\r\n";
    EXPECT_EQ(received.substr(0, group.size()), group);
    EXPECT_EQ(received.substr(received.size() - 11), "\r\n.\r\nQUIT\r\n");
}

TEST(SMTPClientPipelining, NoRecipientAcceptedGetsALoneDotAndTheRecipientsError)
{
    ScriptedSmtpPeer server("220 ready\r\n", [](const std::string& command) -> std::string {
        if (command.rfind("RCPT", 0) == 0)
            return "550 Mailbox unavailable\r\n";
        if (command == ".")
            return "554 No valid recipients\r\n";
        return ScriptedSmtpPeer::Accepting({"PIPELINING"})(command);
    });
    TSMTPClient client;
    ConnectTo(client, server.port());
    TMailMessage message = SampleMessage();
    try {
        client.Send(message);
        FAIL() << "no error";
    } catch (const EProtocolReplyError& e) {
        EXPECT_EQ(e.code(), 550);
        EXPECT_STREQ(e.what(), "Mailbox unavailable\r\n");
    }
    client.Disconnect();
    EXPECT_EQ(server.allCommands(), (Lines{"EHLO client.test", "RSET", "MAIL FROM:<sender@example.org>",
                                           "RCPT TO:<rcpt@example.org>", "DATA", "<text>", ".", "QUIT"}));
    EXPECT_EQ(server.messages(), Lines{""});
}

TEST(SMTPClientPipelining, OneRecipientRefusedOfTwoStillGetsTheTextToTheOtherThenRaises)
{
    ScriptedSmtpPeer server("220 ready\r\n", [](const std::string& command) -> std::string {
        if (command == "RCPT TO:<bad@example.org>")
            return "550 Mailbox unavailable\r\n";
        return ScriptedSmtpPeer::Accepting({"SIZE 1000000", "PIPELINING"})(command);
    });
    TSMTPClient client;
    ConnectTo(client, server.port());
    TMailMessage message = SampleMessage("good@example.org, bad@example.org");
    EXPECT_THROW(client.Send(message), EProtocolReplyError);
    client.Disconnect();
    const Lines commands = server.allCommands();
    const std::string size = std::to_string(server.messages().at(0).size()); // the server announces SIZE
    EXPECT_EQ(commands,
              (Lines{"EHLO client.test", "RSET", "MAIL FROM:<sender@example.org> SIZE=" + size,
                     "RCPT TO:<good@example.org>", "RCPT TO:<bad@example.org>", "DATA", "<text>", ".", "QUIT"}));
    ASSERT_EQ(server.messages().size(), 1u);
    EXPECT_NE(server.messages()[0].find("Line one"), std::string::npos);
}

TEST(SMTPClientSession, AServerThatClosesWithA421IsReportedByItsReply)
{
    // A 421 while idle, read as the reply to the next RSET, and one in the middle of a pipelined
    // group: the server's reply is the error, not the close that follows it.
    for (const bool pipelining : {false, true}) {
        const std::string closingAt = pipelining ? "MAIL FROM:<sender@example.org>" : "RSET";
        ScriptedSmtpPeer server("220 ready\r\n", [&](const std::string& command) -> std::string {
            if (command == closingAt)
                return "421 4.4.2 Idle too long\r\n" + std::string(ScriptedSmtpPeer::kCloseAfter);
            return ScriptedSmtpPeer::Accepting(pipelining ? Lines{"PIPELINING"} : Lines{})(command);
        });
        TSMTPClient client;
        ConnectTo(client, server.port());
        TMailMessage message = SampleMessage();
        try {
            client.Send(message);
            FAIL() << "no error";
        } catch (const EProtocolReplyError& e) {
            EXPECT_EQ(e.code(), 421);
            EXPECT_STREQ(e.what(), "4.4.2 Idle too long\r\n");
        }
        client.Disconnect();
    }
}

TEST(SMTPClientSession, AMessageOverTheAnnouncedSizeIsRefusedBeforeAnyOfItIsSent)
{
    ScriptedSmtpPeer server("220 ready\r\n", ScriptedSmtpPeer::Accepting({"PIPELINING", "SIZE 100"}));
    TSMTPClient client;
    ConnectTo(client, server.port());
    EXPECT_EQ(client.SizeOffered(), 100u);
    TMailMessage message = SampleMessage();
    try {
        client.Send(message);
        FAIL() << "no error";
    } catch (const EMessageTooLarge& e) {
        EXPECT_THAT(std::string(e.what()),
                    testing::MatchesRegex("The message \\([0-9]+ bytes\\) is larger than the server "
                                          "127.0.0.1 takes \\(at most 100 bytes\\); it was not sent."));
    }
    client.Disconnect();
    EXPECT_EQ(server.allCommands(), (Lines{"EHLO client.test", "QUIT"}));
}
