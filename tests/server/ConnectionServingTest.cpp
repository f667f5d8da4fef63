// How the server's workers serve connections: lines that arrive together, lines that arrive in
// pieces, a client that stops reading its replies, a close right after the last command, a quick
// client that falls silent, and the worker threads' lifetime.
#include "ServerTestSupport.h"

#include <netinet/tcp.h>

#include <atomic>
#include <ctime>
#include <future>

namespace quillet::test {
namespace {

using namespace std::chrono_literals;

class ConnectionServing : public ServerFixture {};

// Everything the server sends until it closes the connection.
std::string ReadUntilClosed(TestClient& client)
{
    std::string all;
    try {
        for (;;)
            all += client.ReadLine();
    } catch (const std::exception&) {
        all += client.Pending();
    }
    return all;
}

const std::string Session = "HELO x\r\nMAIL FROM:<a@example.com>\r\nRCPT TO:<b@example.com>\r\nDATA\r\n"
                            "Subject: s\r\n\r\n..dot\r\nbody\r\n.\r\nNOOP\r\nQUIT\r\n";
const std::string SessionReplies = "220 Welcome to the Orv Quillet SMTP Server\r\n"
                                   "250 Hello x\r\n"
                                   "250 a@example.com Address Okay\r\n"
                                   "250 b@example.com Address Okay\r\n"
                                   "354 Start mail input; end with <CRLF>.<CRLF>\r\n"
                                   "250 Ok\r\n"
                                   "250 Ok\r\n"
                                   "221 Signing Off\r\n";

TEST_F(ConnectionServing, SessionSentInOneGoIsAnsweredInOrder)
{
    TestClient client(Start());
    client.Send(Session);
    EXPECT_EQ(ReadUntilClosed(client), SessionReplies);
    ASSERT_EQ(Received().size(), 1u);
    EXPECT_EQ(Received()[0], "Subject: s\r\n\r\n.dot\r\nbody\r\n");
    EXPECT_EQ(DataFilesLeft(), 0);
}

TEST_F(ConnectionServing, SessionSentByteByByteIsAnsweredTheSame)
{
    TestClient client(Start());
    // Each byte leaves in its own segment.
    int on = 1;
    ::setsockopt(client.Handle(), IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    for (char c : Session) {
        client.Send(std::string_view(&c, 1));
        std::this_thread::sleep_for(100us);
    }
    EXPECT_EQ(ReadUntilClosed(client), SessionReplies);
    ASSERT_EQ(Received().size(), 1u);
    EXPECT_EQ(Received()[0], "Subject: s\r\n\r\n.dot\r\nbody\r\n");
}

TEST_F(ConnectionServing, CloseRightAfterTheLastCommandStillGetsItsReplies)
{
    TestClient client(Start());
    client.Send("HELO x\r\nNOOP\r\nVRFY someone\r\n");
    // Half-close: the server reads the end of the stream right behind the commands.
    ASSERT_EQ(client.ReadLine(), "220 Welcome to the Orv Quillet SMTP Server\r\n");
    std::this_thread::sleep_for(20ms);
    ::shutdown(client.Handle(), SHUT_WR);
    EXPECT_EQ(ReadUntilClosed(client),
              "250 Hello x\r\n250 Ok\r\n500 Syntax Error - Command not understood: someone\r\n");
    for (int i = 0; i < 500 && server.ConnectionCount() > 0; ++i)
        std::this_thread::sleep_for(10ms);
    EXPECT_EQ(server.ConnectionCount(), 0u);
}

// A client that sends commands without reading the replies fills its socket's buffers; the worker
// then stops serving that connection (and gathers no more of its replies) but goes on serving the
// others, and every reply still arrives, in order, once the client reads. Short commands with
// longer replies: one receive of commands would otherwise gather far more reply bytes than fit.
TEST_F(ConnectionServing, ClientThatDoesNotReadHoldsUpNoOtherClient)
{
    const std::uint16_t port = Start();
    TestClient greedy(port);
    ASSERT_EQ(greedy.ReadLine(), "220 Welcome to the Orv Quillet SMTP Server\r\n");
    constexpr int Commands = 400000; // 2.4 MB of commands, 18 MB of replies
    auto sending = std::async(std::launch::async, [&] {
        std::string batch;
        for (int i = 0; i < Commands; ++i) {
            batch += "HELP\r\n";
            if (batch.size() >= 65536 || i == Commands - 1) {
                greedy.Send(batch);
                batch.clear();
            }
        }
    });
    // Time for the server to fill the greedy client's buffers; then another client is served.
    sending.wait_for(500ms);
    {
        TestClient other(port);
        EXPECT_EQ(other.ReadLine(), "220 Welcome to the Orv Quillet SMTP Server\r\n");
        EXPECT_EQ(other.Command("HELO y"), "250 Hello y\r\n");
        EXPECT_EQ(other.Command("QUIT"), "221 Signing Off\r\n");
    }
    int replies = 0;
    int wrong = 0;
    for (; replies < Commands; ++replies)
        if (greedy.ReadLine(10s) != "500 Syntax Error - Command not understood: \r\n")
            ++wrong;
    sending.get();
    EXPECT_EQ(wrong, 0);
    EXPECT_EQ(greedy.Command("QUIT"), "221 Signing Off\r\n");
}

// After quick commands a worker looks for the next one a moment before it sleeps; a client that
// then stays silent must find it asleep, not looking on and on.
TEST_F(ConnectionServing, QuickClientThatFallsSilentLeavesTheWorkerAsleep)
{
    TestClient client(Start());
    EXPECT_EQ(client.ReadLine(), "220 Welcome to the Orv Quillet SMTP Server\r\n");
    for (int i = 0; i < 50; ++i)
        ASSERT_EQ(client.Command("NOOP"), "250 Ok\r\n");
    auto processorTime = [] {
        timespec now{};
        ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
        return std::chrono::seconds(now.tv_sec) + std::chrono::nanoseconds(now.tv_nsec);
    };
    const auto before = processorTime();
    std::this_thread::sleep_for(400ms);
    // A worker looking all the while would have used the whole 400 ms.
    EXPECT_LT(processorTime() - before, 100ms);
    EXPECT_EQ(client.Command("NOOP"), "250 Ok\r\n");
}

TEST_F(ConnectionServing, WorkersStartWithConnectionsAndEndWithTheServer)
{
    const int before = RunningThreads();
    server.WorkerCount = 2;
    const std::uint16_t port = Start();
    EXPECT_EQ(ThreadCountSettled(before + 1), before + 1); // the listener's, which also serves connections
    std::vector<std::unique_ptr<TestClient>> clients;
    for (int i = 0; i < 4; ++i) {
        clients.push_back(std::make_unique<TestClient>(port));
        EXPECT_EQ(clients.back()->ReadLine(), "220 Welcome to the Orv Quillet SMTP Server\r\n");
        EXPECT_EQ(ThreadCountSettled(before + std::min(i + 1, 2)), before + std::min(i + 1, 2));
    }
    for (auto& client : clients)
        EXPECT_EQ(client->Command("NOOP"), "250 Ok\r\n");
    server.SetActive(false);
    EXPECT_EQ(ThreadCountSettled(before), before);
    for (auto& client : clients)
        EXPECT_TRUE(client->ClosedByServer());
}

} // namespace
} // namespace quillet::test
