// Line and reply reading, writing and the input buffer of the line connection, over a connected
// socket pair the connection adopts (the way the server uses it).
#include "transport/TCPConnection.h"
#include "transport/TransportError.h"

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <unistd.h>

#include <string>

using namespace quillet;

namespace {

// A connection adopting one end of a socket pair; the test writes to and reads the other end.
class LineConnection : public ::testing::Test {
protected:
    void SetUp() override
    {
        int fds[2];
        ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds), 0);
        connection.Adopt(fds[0]);
        peer = fds[1];
    }
    void TearDown() override
    {
        if (peer >= 0)
            ::close(peer);
    }
    void PeerSends(const std::string& bytes)
    {
        ASSERT_EQ(::send(peer, bytes.data(), bytes.size(), MSG_NOSIGNAL), static_cast<ssize_t>(bytes.size()));
    }
    void PeerCloses()
    {
        ::close(peer);
        peer = -1;
    }
    std::string PeerReceives(size_t count)
    {
        std::string bytes(count, '\0');
        size_t got = 0;
        while (got < count) {
            const ssize_t n = ::recv(peer, bytes.data() + got, count - got, 0);
            if (n <= 0)
                break;
            got += static_cast<size_t>(n);
        }
        bytes.resize(got);
        return bytes;
    }

    TTCPConnection connection;
    int peer = -1;
};

TEST_F(LineConnection, LineEndingsReadTheSameAndCrCrLfKeepsOneCr)
{
    PeerSends("abc\r\nabc\nabc\r\r\n\r\nlast");
    EXPECT_EQ(connection.ReadLn(), "abc");
    EXPECT_EQ(connection.ReadLn(), "abc");
    EXPECT_EQ(connection.ReadLn(), "abc\r");
    EXPECT_EQ(connection.ReadLn(), "");
    PeerSends("\n");
    EXPECT_EQ(connection.ReadLn(), "last");
}

TEST_F(LineConnection, OtherTerminatorKeepsTheCr)
{
    PeerSends("one\r.two.");
    EXPECT_EQ(connection.ReadLn("."), "one\r");
    EXPECT_EQ(connection.ReadLn("."), "two");
}

TEST_F(LineConnection, LineLongerThanTheLimitRaisesAndStaysBuffered)
{
    // 16383 bytes + CR LF pass (16384 bytes before the LF); 16384 + CR LF do not.
    const std::string fits(16383, 'a');
    PeerSends(fits + "\r\n");
    EXPECT_EQ(connection.ReadLn(), fits);

    PeerSends(std::string(16385, 'b') + "\r\n");
    try {
        connection.ReadLn();
        FAIL() << "no error";
    } catch (const EReadLnMaxLineLengthExceeded& e) {
        EXPECT_STREQ(e.what(), "Max line length exceeded.");
    }
    EXPECT_EQ(connection.InputBufferSize(), 16387u);
    EXPECT_TRUE(connection.Connected());
}

TEST_F(LineConnection, UnterminatedStretchOverTheLimitRaises)
{
    PeerSends(std::string(20000, 'x'));
    EXPECT_THROW(connection.ReadLn(), EReadLnMaxLineLengthExceeded);
}

TEST_F(LineConnection, SplitModeReturnsPiecesOfTheLimit)
{
    connection.MaxLineAction = TMaxLineAction::maSplit;
    connection.MaxLineLength = 4;
    PeerSends("abcdefg\r\n");
    EXPECT_EQ(connection.ReadLn(), "abcd");
    EXPECT_EQ(connection.ReadLn(), "efg");
}

TEST_F(LineConnection, PeerClosingAfterPartialLineRaisesClosedGracefully)
{
    PeerSends("complete\r\n250 partial");
    PeerCloses();
    EXPECT_EQ(connection.ReadLn(), "complete");
    try {
        connection.ReadLn();
        FAIL() << "no error";
    } catch (const EConnClosedGracefully& e) {
        EXPECT_STREQ(e.what(), "Connection Closed Gracefully.");
    }
    EXPECT_FALSE(connection.Connected());
    EXPECT_TRUE(connection.ClosedGracefully());
    EXPECT_THROW(connection.WriteLn("QUIT"), EConnClosedGracefully);
}

TEST_F(LineConnection, ManyShortLinesAcrossBufferCompaction)
{
    std::string sent;
    for (int i = 0; i < 6000; ++i)
        sent += "line " + std::to_string(i) + "\r\n";
    PeerSends(sent);
    PeerCloses();
    for (int i = 0; i < 6000; ++i)
        ASSERT_EQ(connection.ReadLn(), "line " + std::to_string(i));
    EXPECT_THROW(connection.ReadLn(), EConnClosedGracefully);
}

TEST_F(LineConnection, HyphenLineAndFinalLineMakeOneReplyAfterBlankLines)
{
    PeerSends("\r\n  \r\n250-\r\n250 OK\r\n250 OK\r\n");
    EXPECT_EQ(connection.GetResponse(), 250);
    EXPECT_EQ(connection.LastCmdResult().TextCode, "250");
    EXPECT_EQ(connection.LastCmdResult().Text, (std::vector<std::string>{"", "OK"}));
    EXPECT_EQ(connection.GetResponse(), 250);
    EXPECT_EQ(connection.LastCmdResult().Text, (std::vector<std::string>{"OK"}));
}

TEST_F(LineConnection, MultiLineReplyEndsAtOwnCodeWithSpaceOrShortLine)
{
    PeerSends("250-first\r\n251 other code\r\n250-more\r\n250 last\r\n220-x\r\nab\r\n");
    EXPECT_EQ(connection.GetResponse(), 250);
    EXPECT_EQ(connection.LastCmdResult().Text, (std::vector<std::string>{"first", "other code", "more", "last"}));
    EXPECT_EQ(connection.GetResponse(), 220);
    EXPECT_EQ(connection.LastCmdResult().Text, (std::vector<std::string>{"x", ""}));
}

TEST_F(LineConnection, ReplyThatNeverEndsIsCutOffAtTheLineLimit)
{
    std::string lines;
    for (size_t i = 0; i < TTCPConnection::MaxReplyLines + 5; ++i)
        lines += "250-more\r\n";
    PeerSends(lines);
    try {
        connection.GetResponse();
        FAIL() << "no error";
    } catch (const EReplyTooLong& e) {
        EXPECT_STREQ(e.what(), "Reply too long.");
    }
}

TEST_F(LineConnection, NonNumericCodeIsZero)
{
    PeerSends("abc-def\r\nABC ghi\r\n");
    EXPECT_EQ(connection.GetResponse(), 0);
    EXPECT_EQ(connection.LastCmdResult().TextCode, "abc");
    EXPECT_EQ(connection.LastCmdResult().Text, (std::vector<std::string>{"def", "ghi"}));
}

TEST_F(LineConnection, AllowedCodesDecideAndRefusalCarriesTheText)
{
    PeerSends("250 a\r\n251 b\r\n252-Cannot\r\n252 verify\r\n500 x\r\n");
    EXPECT_EQ(connection.GetResponse({250, 251}), 250);
    EXPECT_EQ(connection.GetResponse({250, 251}), 251);
    try {
        connection.GetResponse({250, 251});
        FAIL() << "no error";
    } catch (const EProtocolReplyError& e) {
        EXPECT_EQ(e.code(), 252);
        EXPECT_STREQ(e.what(), "Cannot\r\nverify\r\n");
    }
    EXPECT_EQ(connection.GetResponse({}), 500);
}

TEST_F(LineConnection, SendCmdWritesOneLineThenReadsTheReply)
{
    PeerSends("354 go ahead\r\n");
    EXPECT_EQ(connection.SendCmd("DATA", {354}), 354);
    EXPECT_EQ(PeerReceives(6), "DATA\r\n");
}

TEST_F(LineConnection, WriteSendsBytesUnchangedAndGatheredBytesLeaveBeforeAReplyIsAwaited)
{
    connection.Write("");
    connection.Write("raw\n");
    EXPECT_EQ(PeerReceives(4), "raw\n");

    connection.BeginGathering();
    std::string expected;
    for (int i = 0; i < 3000; ++i) { // more than one gathering limit
        connection.WriteLn("line " + std::to_string(i));
        expected += "line " + std::to_string(i) + "\r\n";
    }
    connection.Write("tail");
    expected += "tail";
    PeerSends("250 ok\r\n");
    EXPECT_EQ(connection.GetResponse({250}), 250);
    EXPECT_EQ(PeerReceives(expected.size()), expected);
    connection.EndGathering();
}

TEST_F(LineConnection, DisconnectKeepsTheInputBufferAndMarksClosed)
{
    PeerSends("one\r\ntwo\r\n");
    EXPECT_EQ(connection.ReadLn(), "one");
    connection.Disconnect();
    EXPECT_FALSE(connection.Connected());
    EXPECT_TRUE(connection.ClosedGracefully());
    EXPECT_EQ(connection.ReadLn(), "two");
    EXPECT_THROW(connection.ReadLn(), EConnClosedGracefully);
    connection.Disconnect(); // harmless
}

TEST(LineConnectionUnconnected, WriteAndReadRaiseNotConnected)
{
    TTCPConnection connection;
    EXPECT_FALSE(connection.Connected());
    try {
        connection.WriteLn("NOOP");
        FAIL() << "no error";
    } catch (const ENotConnected& e) {
        EXPECT_STREQ(e.what(), "Not Connected");
    }
    EXPECT_THROW(connection.ReadLn(), ENotConnected);
}

} // namespace
