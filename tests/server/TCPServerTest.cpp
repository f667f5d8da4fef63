// Switching the server on and off, its listening socket and its connection threads.
#include "ServerTestSupport.h"

#include "server/ServerTexts.h"
#include "transport/TransportError.h"

#include <atomic>
#include <condition_variable>
#include <future>

namespace quillet::test {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// A socket that listens on an ephemeral port of 127.0.0.1 for as long as it lives.
struct BusyPort {
    BusyPort()
    {
        fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
        ::listen(fd, 1);
        socklen_t length = sizeof address;
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
        port = ntohs(address.sin_port);
    }
    ~BusyPort() { ::close(fd); }
    int fd;
    std::uint16_t port;
};

bool CanConnect(std::uint16_t port)
{
    try {
        TestClient client(port);
        return client.ReadLine().rfind("220 ", 0) == 0;
    } catch (const std::exception&) {
        return false;
    }
}

template <typename Condition>
bool WaitFor(Condition condition, std::chrono::milliseconds limit = 5000ms)
{
    const auto deadline = Clock::now() + limit;
    while (!condition()) {
        if (Clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(5ms);
    }
    return true;
}

class TCPServerTest : public ServerFixture {};

TEST_F(TCPServerTest, ListensOnLoopbackOnlyByDefault)
{
    TSMTPServer fresh;
    EXPECT_EQ(fresh.DefaultPort, 25);
    EXPECT_EQ(fresh.BindAddress, "127.0.0.1");
    EXPECT_GE(fresh.ListenQueue, 128);
    EXPECT_FALSE(fresh.Active());

    const std::uint16_t port = Start();
    int probe = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    // Only 127.0.0.1 is taken: the same port on another local address is still free.
    const int on = 1;
    ::setsockopt(probe, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    EXPECT_NE(::bind(probe, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK + 1); // 127.0.0.2
    EXPECT_EQ(::bind(probe, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ::close(probe);
}

TEST_F(TCPServerTest, ActivatingTwiceBindsOnceAndDeactivatingWhenInactiveDoesNothing)
{
    const auto threadsBefore = RunningThreads();
    server.SetActive(false);
    EXPECT_FALSE(server.Active());
    const std::uint16_t port = Start();
    server.SetActive(true);
    EXPECT_EQ(server.BoundPort(), port);
    EXPECT_EQ(ThreadCountSettled(threadsBefore + 1), threadsBefore + 1); // one listener
    EXPECT_TRUE(CanConnect(port));
    server.SetActive(false);
    EXPECT_FALSE(server.Active());
    EXPECT_FALSE(CanConnect(port));
    EXPECT_EQ(ThreadCountSettled(threadsBefore), threadsBefore);
}

TEST_F(TCPServerTest, BusyPortFailsAndLeavesTheServerInactive)
{
    BusyPort busy;
    server.DefaultPort = busy.port;
    const int descriptors = OpenDescriptors();
    try {
        server.SetActive(true);
        FAIL() << "activation on a busy port succeeded";
    } catch (const ECouldNotBindSocket& error) {
        EXPECT_STREQ(error.what(), "Could not bind socket. Address and port are already in use.");
    }
    EXPECT_FALSE(server.Active());
    EXPECT_EQ(OpenDescriptors(), descriptors);
    // Once the port is free, the next activation binds it.
    ::close(busy.fd);
    busy.fd = -1;
    server.SetActive(true);
    EXPECT_TRUE(CanConnect(busy.port));
}

TEST_F(TCPServerTest, PortChangedBetweenActivationsTakesEffect)
{
    const std::uint16_t first = Start();
    server.SetActive(false);
    BusyPort other; // a port known to be free once released
    const std::uint16_t second = other.port;
    ::close(other.fd);
    other.fd = -1;
    server.DefaultPort = second;
    server.SetActive(true);
    EXPECT_EQ(server.BoundPort(), second);
    EXPECT_TRUE(CanConnect(second));
    EXPECT_FALSE(CanConnect(first));
}

TEST_F(TCPServerTest, SamePortAgainRightAfterSessionsClosedByTheServer)
{
    const std::uint16_t port = Start();
    {
        TestClient client(port);
        client.ReadLine();
        EXPECT_EQ(client.Command("QUIT"), "221 Signing Off\r\n");
        EXPECT_TRUE(client.ClosedByServer());
    }
    server.SetActive(false);
    server.DefaultPort = port;
    server.SetActive(true);
    EXPECT_TRUE(CanConnect(port));
}

TEST_F(TCPServerTest, DeactivationCutsIdleClientsWithinTheLimit)
{
    const int descriptors = OpenDescriptors();
    const int threads = RunningThreads();
    const std::uint16_t port = Start();
    std::vector<std::unique_ptr<TestClient>> idle;
    for (int i = 0; i < 3; ++i) {
        idle.push_back(std::make_unique<TestClient>(port));
        idle.back()->ReadLine();
    }
    idle[1]->SendLine("HELO x");
    idle[1]->ReadLine();
    idle[2]->Send("MAIL FROM:<half"); // a command without its line end
    EXPECT_TRUE(WaitFor([&] { return server.ConnectionCount() == 3; }));

    const auto start = Clock::now();
    server.SetActive(false);
    const auto took = Clock::now() - start;
    EXPECT_LT(took, 5s);
    EXPECT_GE(took, 250ms);
    EXPECT_FALSE(server.Active());
    for (auto& client : idle)
        EXPECT_TRUE(client->ClosedByServer(1s));
    idle.clear();
    EXPECT_EQ(server.ConnectionCount(), 0u);
    EXPECT_EQ(ThreadCountSettled(threads), threads);
    EXPECT_EQ(OpenDescriptors(), descriptors);
}

TEST_F(TCPServerTest, SeveralClientsAtOnceKeepTheirOwnState)
{
    const std::uint16_t port = Start();
    std::vector<std::unique_ptr<TestClient>> clients;
    for (int i = 0; i < 8; ++i) {
        clients.push_back(std::make_unique<TestClient>(port));
        EXPECT_EQ(clients.back()->ReadLine(), "220 Welcome to the Orv Quillet SMTP Server\r\n");
    }
    for (int i = 0; i < 8; i += 2)
        EXPECT_EQ(clients[i]->Command("HELO c" + std::to_string(i)), "250 Hello c" + std::to_string(i) + "\r\n");
    for (int i = 0; i < 8; ++i) {
        const std::string reply = clients[i]->Command("MAIL FROM:<c" + std::to_string(i) + "@example.com>");
        if (i % 2 == 0)
            EXPECT_EQ(reply, "250 c" + std::to_string(i) + "@example.com Address Okay\r\n");
        else
            EXPECT_EQ(reply, "501 Polite people say HELO\r\n");
    }
    EXPECT_EQ(server.ConnectionCount(), 8u);
}

TEST_F(TCPServerTest, BurstOfConnectionsIsGreetedEveryTime)
{
    constexpr int burst = 150;
    const std::uint16_t port = Start();
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    std::vector<pollfd> sockets;
    for (int i = 0; i < burst; ++i) {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
        sockets.push_back({fd, POLLIN, 0});
    }
    int greeted = 0;
    const auto deadline = Clock::now() + 10s;
    while (greeted < burst && Clock::now() < deadline) {
        if (::poll(sockets.data(), sockets.size(), 100) <= 0)
            continue;
        for (pollfd& entry : sockets) {
            if (entry.fd >= 0 && (entry.revents & POLLIN)) {
                char reply[64];
                if (::recv(entry.fd, reply, sizeof reply, 0) > 0)
                    ++greeted;
                ::close(entry.fd);
                entry.fd = -1;
            }
        }
    }
    for (const pollfd& entry : sockets)
        if (entry.fd >= 0)
            ::close(entry.fd);
    EXPECT_EQ(greeted, burst);
}

TEST_F(TCPServerTest, ThreadsThatOutliveTheWaitRaiseTerminateThreadTimeout)
{
    std::mutex lock;
    std::condition_variable wake;
    bool release = false;
    std::atomic<bool> inHook{false};
    server.OnCommandMAIL = [&](TSMTPServerThread&, bool& accept, const TEMailAddressItem&) {
        inHook = true;
        std::unique_lock guard(lock);
        wake.wait_for(guard, 20s, [&] { return release; });
        accept = true;
    };
    server.TerminateWaitTime = 500ms;
    const std::uint16_t port = Start();
    TestClient client(port);
    client.ReadLine();
    client.SendLine("HELO x");
    client.ReadLine();
    client.SendLine("MAIL FROM:<a@example.com>");
    ASSERT_TRUE(WaitFor([&] { return inHook.load(); }));

    try {
        server.SetActive(false);
        FAIL() << "deactivation did not time out";
    } catch (const ETerminateThreadTimeout& error) {
        EXPECT_STREQ(error.what(), "Terminate Thread Timeout");
    }
    EXPECT_TRUE(server.Active());
    EXPECT_FALSE(CanConnect(port)); // the listener is gone all the same
    server.SetActive(true);         // still counts as active: nothing happens
    EXPECT_FALSE(CanConnect(port));
    {
        std::lock_guard guard(lock);
        release = true;
    }
    wake.notify_all();
    server.SetActive(false);
    EXPECT_FALSE(server.Active());
    EXPECT_EQ(server.ConnectionCount(), 0u);
}

TEST_F(TCPServerTest, DestroyingAnActiveServerEndsItsThreads)
{
    const int threads = RunningThreads();
    std::uint16_t port;
    {
        TSMTPServer local;
        local.DefaultPort = 0;
        local.SetActive(true);
        port = local.BoundPort();
        TestClient client(port);
        client.ReadLine();
        EXPECT_TRUE(WaitFor([&] { return local.ConnectionCount() == 1; }));
    }
    EXPECT_EQ(ThreadCountSettled(threads), threads);
    EXPECT_FALSE(CanConnect(port));
}

} // namespace
} // namespace quillet::test
