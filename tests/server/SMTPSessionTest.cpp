// The SMTP dialogue of the built-in server, byte for byte, over real sockets on 127.0.0.1.
#include "ServerTestSupport.h"

#include "server/SMTPServerThread.h"
#include "transport/TransportError.h"

#include <atomic>

namespace quillet::test {
namespace {

class SMTPSession : public ServerFixture {
protected:
    // A connected client past the greeting.
    std::unique_ptr<TestClient> Connect()
    {
        if (port_ == 0)
            port_ = Start();
        auto client = std::make_unique<TestClient>(port_);
        EXPECT_EQ(client->ReadLine(), "220 Welcome to the Orv Quillet SMTP Server\r\n");
        return client;
    }
    // A client that has given HELO, a sender and one recipient.
    std::unique_ptr<TestClient> ReadyForData()
    {
        auto client = Connect();
        EXPECT_EQ(client->Command("HELO test"), "250 Hello test\r\n");
        EXPECT_EQ(client->Command("MAIL FROM:<a@example.com>"), "250 a@example.com Address Okay\r\n");
        EXPECT_EQ(client->Command("RCPT TO:<b@example.com>"), "250 b@example.com Address Okay\r\n");
        return client;
    }

    std::uint16_t port_ = 0;
};

TEST_F(SMTPSession, HeloOnceOnlyEvenAfterReset)
{
    auto client = Connect();
    EXPECT_EQ(client->Command("HELO "), "501 Syntax Error in parameters or arguments\r\n");
    EXPECT_EQ(client->Command("helo x"), "250 Hello x\r\n");
    EXPECT_EQ(client->Command("HELO again"), "503 \r\n");
    EXPECT_EQ(client->Command("RSET"), "250 Ok\r\n");
    EXPECT_EQ(client->Command("HELO again"), "503 \r\n");
}

TEST_F(SMTPSession, EhloIsRefusedAndHeloThenWorks)
{
    auto client = Connect();
    EXPECT_EQ(client->Command("EHLO client.example"), "500 Command Not Recognised\r\n");
    EXPECT_EQ(client->Command("EHLO"), "500 Command Not Recognised\r\n");
    EXPECT_EQ(client->Command("HELO client.example"), "250 Hello client.example\r\n");
}

TEST_F(SMTPSession, MailBeforeHeloIsRefusedPolitely)
{
    auto client = Connect();
    EXPECT_EQ(client->Command("MAIL FROM:<a@example.com>"), "501 Polite people say HELO\r\n");
    EXPECT_EQ(client->Command("RCPT TO:<b@example.com>"), "503 \r\n");
}

TEST_F(SMTPSession, SenderInAnyLetterCaseWithDisplayForms)
{
    auto client = Connect();
    client->Command("HELO x");
    EXPECT_EQ(client->Command("mail from:<a@example.com>"), "250 a@example.com Address Okay\r\n");
    EXPECT_EQ(client->Command("MAIL FROM:   plain@example.com  "), "250 plain@example.com Address Okay\r\n");
    EXPECT_EQ(client->Command("MAIL FROM:John Doe <jd@example.com>"), "250 John Doe <jd@example.com> Address Okay\r\n");
    EXPECT_EQ(client->Command("MAIL FROM:<>"), "250  Address Okay\r\n");
}

TEST_F(SMTPSession, MailWithoutFromLeavesNoTransaction)
{
    auto client = Connect();
    client->Command("HELO x");
    EXPECT_EQ(client->Command("MAIL <a@example.com>"),
              "501 Parameter error! Example: mail from:<sender@example.com>\r\n");
    EXPECT_EQ(client->Command("RCPT TO:<b@example.com>"), "503 \r\n");
    // A second MAIL without FROM: also ends a transaction under way.
    EXPECT_EQ(client->Command("MAIL FROM:<a@example.com>"), "250 a@example.com Address Okay\r\n");
    EXPECT_EQ(client->Command("MAIL"), "501 Parameter error! Example: mail from:<sender@example.com>\r\n");
    EXPECT_EQ(client->Command("RCPT TO:<b@example.com>"), "503 \r\n");
}

TEST_F(SMTPSession, RecipientSyntaxAndOrder)
{
    auto client = Connect();
    client->Command("HELO x");
    EXPECT_EQ(client->Command("DATA"), "503 \r\n");
    client->Command("MAIL FROM:<a@example.com>");
    EXPECT_EQ(client->Command("DATA"), "503 \r\n");
    EXPECT_EQ(client->Command("RCPT <b@example.com>"),
              "501 Command parameter error! Example: rcpt to:<recipient@example.com>\r\n");
    EXPECT_EQ(client->Command("rcpt to:<b@example.com>"), "250 b@example.com Address Okay\r\n");
    EXPECT_EQ(client->Command("RCPT TO: <c@example.com>"), "250 c@example.com Address Okay\r\n");
    EXPECT_EQ(client->Command("DATA"), "354 Start mail input; end with <CRLF>.<CRLF>\r\n");
    client->SendLine("body");
    EXPECT_EQ(client->Command("."), "250 Ok\r\n");
    EXPECT_EQ(Recipients().at(0), "b@example.com, c@example.com");
    // After the message, RCPT and DATA need a new MAIL.
    EXPECT_EQ(client->Command("RCPT TO:<b@example.com>"), "503 \r\n");
    EXPECT_EQ(client->Command("DATA"), "503 \r\n");
}

TEST_F(SMTPSession, ResetEmptiesTheTransaction)
{
    auto client = ReadyForData();
    EXPECT_EQ(client->Command("RSET"), "250 Ok\r\n");
    EXPECT_EQ(client->Command("DATA"), "503 \r\n");
    EXPECT_EQ(client->Command("MAIL FROM:<a@example.com>"), "250 a@example.com Address Okay\r\n");
    EXPECT_EQ(client->Command("RCPT TO:<z@example.com>"), "250 z@example.com Address Okay\r\n");
    client->Command("DATA");
    EXPECT_EQ(client->Command("."), "250 Ok\r\n");
    EXPECT_EQ(Recipients().at(0), "z@example.com");
}

TEST_F(SMTPSession, DotLinesAreUnstuffedExactly)
{
    auto client = ReadyForData();
    client->Command("DATA");
    const std::string binary("\x01\xff\x80 \0 tab\tend", 13);
    client->Send("Subject: dots\r\n\r\n..\r\n..x\r\n. \r\n.x\r\n...\r\nlf only\n" + binary + "\r\n");
    EXPECT_EQ(client->Command("."), "250 Ok\r\n");
    ASSERT_EQ(Received().size(), 1u);
    EXPECT_EQ(Received()[0], "Subject: dots\r\n\r\n.\r\n.x\r\n. \r\n.x\r\n..\r\nlf only\r\n" + binary + "\r\n");
}

// Lines are taken from the connection's buffer while it is compacted behind them: a message far
// larger than the buffer, sent in one piece, arrives byte for byte.
TEST_F(SMTPSession, LargeMessageSentInOnePieceArrivesExactly)
{
    auto client = ReadyForData();
    client->Command("DATA");
    std::string sent, expected;
    for (int i = 0; i < 4000; ++i) {
        const std::string line = (i % 7 == 0 ? "." : "") + std::string(std::size_t(i % 97), char('a' + i % 26));
        sent += (line.empty() || line[0] != '.' ? line : "." + line) + "\r\n";
        expected += line + "\r\n";
    }
    client->Send(sent);
    EXPECT_EQ(client->Command("."), "250 Ok\r\n");
    ASSERT_EQ(Received().size(), 1u);
    EXPECT_EQ(Received()[0], expected);
}

TEST_F(SMTPSession, TwoMessagesInOneSessionLeaveNoDataFile)
{
    auto client = ReadyForData();
    for (int message = 0; message < 2; ++message) {
        if (message == 1) {
            EXPECT_EQ(client->Command("MAIL FROM:<a@example.com>"), "250 a@example.com Address Okay\r\n");
            EXPECT_EQ(client->Command("RCPT TO:<b@example.com>"), "250 b@example.com Address Okay\r\n");
        }
        EXPECT_EQ(client->Command("DATA"), "354 Start mail input; end with <CRLF>.<CRLF>\r\n");
        client->SendLine("message " + std::to_string(message));
        EXPECT_EQ(client->Command("."), "250 Ok\r\n");
        EXPECT_EQ(DataFilesLeft(), 0);
        EXPECT_EQ(DataFilesOpen(), 0); // while the connection stays open
    }
    EXPECT_EQ(client->Command("QUIT"), "221 Signing Off\r\n");
    EXPECT_TRUE(client->ClosedByServer());
    ASSERT_EQ(Received().size(), 2u);
    EXPECT_EQ(Received()[1], "message 1\r\n");
}

TEST_F(SMTPSession, UnsupportedCommandsEchoTheirParameter)
{
    auto client = Connect();
    EXPECT_EQ(client->Command("VRFY someone"), "500 Syntax Error - Command not understood: someone\r\n");
    EXPECT_EQ(client->Command("HELP"), "500 Syntax Error - Command not understood: \r\n");
    for (const char* word : {"AUTH LOGIN", "SOML x", "SEND x", "SAML x", "EXPN list", "TURN"}) {
        const std::string line = word;
        const std::size_t space = line.find(' ');
        const std::string params = space == std::string::npos ? "" : line.substr(space + 1);
        EXPECT_EQ(client->Command(line), "500 Syntax Error - Command not understood: " + params + "\r\n") << word;
    }
}

TEST_F(SMTPSession, CommandsMatchOnlyWholeWords)
{
    auto client = Connect();
    EXPECT_EQ(client->Command("  NOOP"), "500 Syntax Error\r\n");
    EXPECT_EQ(client->Command("NOOPx"), "500 Syntax Error\r\n");
    EXPECT_EQ(client->Command("NOOP\tx"), "500 Syntax Error\r\n");
    EXPECT_EQ(client->Command("NOOP "), "250 Ok\r\n");
    EXPECT_EQ(client->Command("noop anything"), "250 Ok\r\n");
    EXPECT_EQ(client->Command("XYZZY"), "500 Syntax Error\r\n");
    // Empty lines get no reply at all: the next reply is NOOP's.
    client->Send("\r\n\n");
    EXPECT_EQ(client->Command("NOOP"), "250 Ok\r\n");
    EXPECT_EQ(client->Pending(), "");
}

TEST_F(SMTPSession, OverlongLineEndsTheSessionWithoutReply)
{
    auto client = Connect();
    client->SendLine(std::string(16383, 'x')); // with its CR: 16384 bytes before the LF
    EXPECT_EQ(client->ReadLine(), "500 Syntax Error\r\n");
    client->Send(std::string(20000, 'y') + "\r\n");
    EXPECT_TRUE(client->ClosedByServer());
}

TEST_F(SMTPSession, OverlongDataLineDiscardsTheMessage)
{
    auto client = ReadyForData();
    client->Command("DATA");
    client->SendLine("first");
    client->Send(std::string(16385, 'z') + "\n");
    EXPECT_TRUE(client->ClosedByServer());
    EXPECT_TRUE(Received().empty());
    EXPECT_EQ(DataFilesLeft(), 0);
}

TEST_F(SMTPSession, CloseInTheMiddleOfDataLeavesNoFile)
{
    auto client = ReadyForData();
    client->Command("DATA");
    client->Send("partial line without end");
    // Wait until the server has created the file, then vanish.
    for (int i = 0; i < 100 && DataFilesLeft() == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    client->Close();
    for (int i = 0; i < 300 && server.ConnectionCount() > 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(server.ConnectionCount(), 0u);
    EXPECT_EQ(DataFilesLeft(), 0);
    EXPECT_TRUE(Received().empty());
}

TEST_F(SMTPSession, AddressOutsideTheBracketsEndsTheSession)
{
    auto client = Connect();
    client->Command("HELO x");
    client->SendLine("MAIL FROM:<a@example.com> b@example.com");
    EXPECT_TRUE(client->ClosedByServer());
}

TEST_F(SMTPSession, HooksDecideAndSeeTheEnvelope)
{
    std::atomic<bool> hookOnOtherThread{true};
    const auto testThread = std::this_thread::get_id();
    std::string seenFrom;
    std::mutex seenLock;
    server.OnCommandMAIL = [&](TSMTPServerThread& session, bool& accept, const TEMailAddressItem& address) {
        hookOnOtherThread = hookOnOtherThread && std::this_thread::get_id() != testThread;
        EXPECT_EQ(session.State(), SMTPSessionState::HelloGiven);
        std::lock_guard guard(seenLock);
        seenFrom = address.Address;
        accept = address.Address != "spam@example.com";
    };
    server.OnCommandRCPT = [&](TSMTPServerThread&, bool& accept, bool& forward, const TEMailAddressItem& address,
                               std::string& customError) {
        EXPECT_FALSE(accept);
        EXPECT_FALSE(forward);
        EXPECT_EQ(customError, "");
        if (address.Address == "nobody@example.com")
            customError = "550 No such user here";
        accept = address.Address != "refused@example.com";
        forward = address.Address == "far@example.com";
    };
    auto fallback = server.OnReceiveRaw;
    server.OnReceiveRaw = [&](TSMTPServerThread& session, const ReceivedData& data, const TEMailAddressList& rcpt,
                              std::string& customError) {
        EXPECT_TRUE(std::filesystem::exists(data.Path));
        EXPECT_EQ(std::filesystem::path(data.Path).filename().string().substr(0, 3), "oqm");
        EXPECT_EQ(std::filesystem::path(data.Path).parent_path().string(), PrivateTempFolder());
        EXPECT_EQ(data.Size, 6u);
        EXPECT_EQ(session.From().Address, "ok@example.com");
        fallback(session, data, rcpt, customError);
        if (rcpt.size() > 1)
            customError = "554 Transaction failed";
    };
    auto client = Connect();
    client->Command("HELO x");
    EXPECT_EQ(client->Command("MAIL FROM:<spam@example.com>"), "550 spam@example.com Address Rejected\r\n");
    EXPECT_EQ(client->Command("RCPT TO:<b@example.com>"), "503 \r\n");
    EXPECT_EQ(client->Command("MAIL FROM:<ok@example.com>"), "250 ok@example.com Address Okay\r\n");
    EXPECT_EQ(client->Command("RCPT TO:<nobody@example.com>"), "550 No such user here\r\n");
    EXPECT_EQ(client->Command("RCPT TO:<refused@example.com>"), "550 refused@example.com Address Rejected\r\n");
    EXPECT_EQ(client->Command("RCPT TO:<far@example.com>"), "251 far@example.com User not local; will forward\r\n");
    client->Command("DATA");
    client->SendLine("abcd");
    EXPECT_EQ(client->Command("."), "250 Ok\r\n");
    EXPECT_EQ(Recipients().at(0), "far@example.com");
    client->Command("MAIL FROM:<ok@example.com>");
    client->Command("RCPT TO:<x@example.com>");
    client->Command("RCPT TO:<y@example.com>");
    client->Command("DATA");
    client->SendLine("abcd");
    EXPECT_EQ(client->Command("."), "554 Transaction failed\r\n");
    {
        std::lock_guard guard(seenLock);
        EXPECT_EQ(seenFrom, "ok@example.com");
    }
    EXPECT_TRUE(hookOnOtherThread);
    EXPECT_EQ(DataFilesLeft(), 0);
}

TEST_F(SMTPSession, FailingHookEndsTheSessionAndDeletesTheFile)
{
    server.OnReceiveRaw = [](TSMTPServerThread&, const ReceivedData&, const TEMailAddressList&, std::string&) {
        throw std::runtime_error("disk full");
    };
    std::string reported;
    std::mutex reportedLock;
    server.OnException = [&](const std::exception& error) {
        std::lock_guard guard(reportedLock);
        reported = error.what();
    };
    auto client = ReadyForData();
    client->Command("DATA");
    client->SendLine("x");
    client->SendLine(".");
    EXPECT_TRUE(client->ClosedByServer());
    EXPECT_EQ(DataFilesLeft(), 0);
    server.SetActive(false);
    EXPECT_EQ(reported, "disk full");
}

TEST_F(SMTPSession, TooManyRecipientsAreRefused)
{
    auto client = Connect();
    client->Command("HELO x");
    client->Command("MAIL FROM:<a@example.com>");
    std::string many;
    for (std::size_t i = 0; i < MaxRecipientsPerMessage; ++i)
        many += "RCPT TO:<r" + std::to_string(i) + "@example.com>\r\n";
    client->Send(many);
    for (std::size_t i = 0; i < MaxRecipientsPerMessage; ++i)
        ASSERT_EQ(client->ReadLine(), "250 r" + std::to_string(i) + "@example.com Address Okay\r\n");
    EXPECT_EQ(client->Command("RCPT TO:<last@example.com>"), "452 Too many recipients\r\n");
    client->Command("DATA");
    EXPECT_EQ(client->Command("."), "250 Ok\r\n");
}

TEST_F(SMTPSession, OversizedMessageIsReadToItsEndAndRefused)
{
    server.MaxMessageSize = 100;
    auto client = ReadyForData();
    client->Command("DATA");
    client->Send(std::string(60, 'a') + "\r\n" + std::string(60, 'b') + "\r\n.x\r\n");
    EXPECT_EQ(client->Command("."), "552 Message size exceeds fixed maximum message size\r\n");
    EXPECT_TRUE(Received().empty());
    EXPECT_EQ(DataFilesLeft(), 0);
    // The transaction is over; the session goes on and a message within the limit passes.
    EXPECT_EQ(client->Command("DATA"), "503 \r\n");
    client->Command("MAIL FROM:<a@example.com>");
    client->Command("RCPT TO:<b@example.com>");
    client->Command("DATA");
    client->SendLine(std::string(98, 'c')); // exactly 100 bytes with its CR LF
    EXPECT_EQ(client->Command("."), "250 Ok\r\n");
    ASSERT_EQ(Received().size(), 1u);
    EXPECT_EQ(Received()[0].size(), 100u);
}

TEST_F(SMTPSession, ConnectionsBeyondTheLimitAreRefused)
{
    server.MaxConnections = 1;
    auto first = Connect();
    TestClient second(port_);
    EXPECT_EQ(second.ReadLine(), "421 Too many connections, try again later\r\n");
    EXPECT_TRUE(second.ClosedByServer());
    EXPECT_EQ(first->Command("NOOP"), "250 Ok\r\n");
}

// Served from memory: the same dialogue without a socket. Echoed text never breaks a reply line.
TEST(SMTPSessionFromMemory, EchoedCarriageReturnsBecomeSpaces)
{
    TSMTPServer server;
    EXPECT_EQ(server.ServeSessionFromMemory("HELO a\rb\r\nMAIL FROM:<x\ry@z>\r\nVRFY p\rq\nQUIT\r\nNOOP\r\n"),
              "220 Welcome to the Orv Quillet SMTP Server\r\n"
              "250 Hello a b\r\n"
              "250 <\"x y\"@z> Address Okay\r\n"
              "500 Syntax Error - Command not understood: p q\r\n"
              "221 Signing Off\r\n");
}

} // namespace
} // namespace quillet::test
