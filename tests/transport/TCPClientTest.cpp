// Connecting: address resolution, refused and timed-out connects, the user-interface hook
// during connect and read waits, and the socket error texts users see.
#include "transport/AntiFreeze.h"
#include "transport/SocketError.h"
#include "transport/TCPConnection.h"
#include "transport/TransportError.h"

#include "support/LoopbackPeer.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netdb.h>

#include <atomic>
#include <cerrno>
#include <thread>
#include <vector>

using namespace quillet;
using namespace quillet::test;

namespace {

std::string Dotted(const in_addr& address)
{
    char text[INET_ADDRSTRLEN];
    ::inet_ntop(AF_INET, &address, text, sizeof text);
    return text;
}

TEST(SocketErrorTexts, MessagesCarryTheWindowsSocketsNumberAndText)
{
    EXPECT_EQ(SocketErrorMessage(10061), "Socket Error # 10061\r\nConnection refused.");
    EXPECT_EQ(SocketErrorMessage(10035), "Socket Error # 10035\r\nOperation would block. ");
    EXPECT_EQ(SocketErrorMessage(10066), "Socket Error # 10066\r\nDirectory not empty");
    EXPECT_EQ(SocketErrorMessage(12345), "Socket Error # 12345\r\n");
    EXPECT_EQ(SocketErrorMessage(SocketErrorFromLookup(EAI_NONAME, 0)), "Socket Error # 11001\r\nHost not found.");
}

TEST(SocketErrorTexts, ErrnoValuesMapOntoWindowsSocketsNumbers)
{
    const std::vector<std::pair<int, int>> pairs = {
        {ECONNREFUSED, 10061},  {ECONNRESET, 10054}, {ETIMEDOUT, 10060}, {EADDRINUSE, 10048},
        {ECONNABORTED, 10053},  {EPIPE, 10058},      {ESHUTDOWN, 10058}, {ENETUNREACH, 10051},
        {EHOSTUNREACH, 10065},  {EHOSTDOWN, 10064},  {EMFILE, 10024},    {EINTR, 10004},
        {EBADF, 10009},         {ENOTSOCK, 10038},   {EINVAL, 10022},    {EACCES, 10013},
        {EADDRNOTAVAIL, 10049}, {EWOULDBLOCK, 10035}};
    for (const auto& [err, code] : pairs)
        EXPECT_EQ(SocketErrorFromErrno(err), code) << "errno " << err;
}

TEST(HostResolution, LoopbackNameAndDottedQuadNeedNoLookup)
{
    for (const char* name : {"localhost", "LocalHost", "LOCALHOST"}) {
        auto address = TTCPClient::LiteralHostAddress(name);
        ASSERT_TRUE(address) << name;
        EXPECT_EQ(Dotted(*address), "127.0.0.1");
    }
    EXPECT_EQ(Dotted(*TTCPClient::LiteralHostAddress("10.0.255.1")), "10.0.255.1");
    for (const char* notLiteral : {"1.2.3.4.5", "256.1.1.1", "1.2.3", "1.2.3.", ".1.2.3", "1..2.3", "a.b.c.d",
                                   "1.2.3.4 ", "0001.2.3.4", "localhost.", ""})
        EXPECT_FALSE(TTCPClient::LiteralHostAddress(notLiteral)) << notLiteral;
}

TEST(TCPClientConnect, LoopbackNameInAnyCaseConnectsTo127001)
{
    ScriptedPeer peer([](PeerSocket& socket) { socket.Send("220 hello\r\n"); });
    TTCPClient client;
    client.Host = "LocalHost";
    client.Port = peer.Port();
    client.Connect();
    EXPECT_TRUE(client.Connected());
    EXPECT_EQ(client.GetResponse({220}), 220);
    EXPECT_THROW(client.Connect(), EAlreadyConnected);
    client.Disconnect();
    EXPECT_FALSE(client.Connected());
}

TEST(TCPClientConnect, ClosedPortRaisesConnectionRefused)
{
    TTCPClient client;
    client.Host = "127.0.0.1";
    client.Port = ClosedLoopbackPort();
    try {
        client.Connect();
        FAIL() << "no error";
    } catch (const ESocketError& e) {
        EXPECT_EQ(e.code(), 10061);
        EXPECT_STREQ(e.what(), "Socket Error # 10061\r\nConnection refused.");
    }
    EXPECT_FALSE(client.Connected());
}

TEST(TCPClientConnect, ClosedPortThroughTheConnectThreadRaisesTheSameText)
{
    int calls = 0;
    AntiFreezeScope hook([&] { ++calls; });
    TTCPClient client;
    client.Host = "127.0.0.1";
    client.Port = ClosedLoopbackPort();
    try {
        client.Connect();
        FAIL() << "no error";
    } catch (const EConnectException& e) {
        EXPECT_STREQ(e.what(), "Socket Error # 10061\r\nConnection refused.");
    }
    EXPECT_GE(calls, 1);
    EXPECT_FALSE(client.Connected());
    EXPECT_EQ(client.Socket(), -1);
}

// A listener whose accept queue is full: further connects hang until their time limit.
class FullListener {
public:
    FullListener() : listener_(0)
    {
        for (int i = 0; i < 4; ++i) {
            fillers_.push_back(std::make_unique<TTCPClient>());
            fillers_.back()->Host = "127.0.0.1";
            fillers_.back()->Port = listener_.Port();
            try {
                fillers_.back()->Connect(200);
            } catch (const EConnectTimeout&) {
                full_ = true;
                break;
            }
        }
    }
    uint16_t Port() const { return listener_.Port(); }
    bool Full() const { return full_; }

private:
    LoopbackListener listener_;
    std::vector<std::unique_ptr<TTCPClient>> fillers_;
    bool full_ = false;
};

TEST(TCPClientConnect, ConnectThatDoesNotCompleteInTimeRaisesConnectTimedOut)
{
    FullListener listener;
    if (!listener.Full())
        GTEST_SKIP() << "the system accepts connects beyond the listen queue";
    int calls = 0;
    AntiFreezeScope hook([&] { ++calls; });
    TTCPClient client;
    client.Host = "127.0.0.1";
    client.Port = listener.Port();
    const auto start = std::chrono::steady_clock::now();
    try {
        client.Connect(700);
        FAIL() << "no error";
    } catch (const EConnectTimeout& e) {
        EXPECT_STREQ(e.what(), "Connect timed out.");
    }
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_GE(calls, 4); // 125 ms slices
    EXPECT_LT(elapsed, std::chrono::seconds(5));
    EXPECT_FALSE(client.Connected());
}

TEST(TCPClientConnect, ErrorOfTheHookDuringConnectEndsTheConnect)
{
    FullListener listener;
    if (!listener.Full())
        GTEST_SKIP() << "the system accepts connects beyond the listen queue";
    struct Stop {};
    AntiFreezeScope hook([] { throw Stop(); });
    TTCPClient client;
    client.Host = "127.0.0.1";
    client.Port = listener.Port();
    EXPECT_THROW(client.Connect(), Stop);
    EXPECT_FALSE(client.Connected());
}

TEST(TCPClientHook, ReadWaitsCallTheHookOnlyOnTheInstallingThread)
{
    std::atomic<int> calls = 0;
    AntiFreezeScope hook([&] { ++calls; });

    auto slowReply = [](PeerSocket& socket) {
        std::this_thread::sleep_for(std::chrono::milliseconds(700));
        socket.Send("250 late\r\n");
        socket.ReadLine();
    };
    {
        ScriptedPeer peer(slowReply);
        TTCPClient client;
        client.Host = "127.0.0.1";
        client.Port = peer.Port();
        client.Connect();
        const int afterConnect = calls;
        EXPECT_EQ(client.GetResponse({250}), 250);
        EXPECT_GE(calls - afterConnect, 2); // slices of at most 250 ms
        const int beforeWrite = calls;
        client.WriteLn("QUIT");
        EXPECT_EQ(calls - beforeWrite, 1); // after the send
        client.Disconnect();
    }

    calls = 0;
    ScriptedPeer peer(slowReply);
    std::thread other([&] {
        TTCPClient client;
        client.Host = "127.0.0.1";
        client.Port = peer.Port();
        client.Connect();
        client.GetResponse({250});
        client.WriteLn("QUIT");
        client.Disconnect();
    });
    other.join();
    EXPECT_EQ(calls, 0);
}

TEST(TCPClientHook, PositiveReadTimeoutRaisesReadTimeout)
{
    ScriptedPeer peer([](PeerSocket& socket) { socket.ReadLine(); });
    TTCPClient client;
    client.Host = "127.0.0.1";
    client.Port = peer.Port();
    client.ReadTimeout = 300;
    client.Connect();
    try {
        client.ReadLn();
        FAIL() << "no error";
    } catch (const EReadTimeout& e) {
        EXPECT_STREQ(e.what(), "Read Timeout");
    }
    client.WriteLn("bye");
    client.Disconnect();
}

} // namespace
