// Reliability under load: many well-behaved clients sending at once, mixed with abusive ones.
//
// Counts are small by default so that the test suite stays quick; set QUILLET_LOAD_CLIENTS,
// QUILLET_LOAD_MESSAGES and QUILLET_LOAD_ABUSIVE for a full run (e.g. 200, 20, 20).
#include "ServerTestSupport.h"

#include <atomic>
#include <random>

namespace quillet::test {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

int Setting(const char* name, int fallback)
{
    const char* value = std::getenv(name);
    return value && *value ? std::atoi(value) : fallback;
}

std::string MessageBody(int client, int message)
{
    std::string body = "Subject: load " + std::to_string(client) + "/" + std::to_string(message) + "\r\n\r\n";
    while (body.size() < 1024)
        body += "..a stuffed line and some text to fill the message up to one kilobyte\r\n";
    return body + ".\r\n";
}

// One session of several messages; returns how many were acknowledged with 250.
int WellBehavedClient(std::uint16_t port, int client, int messages)
{
    constexpr auto wait = 60s;
    int acknowledged = 0;
    try {
        TestClient session(port);
        session.ReadLine(wait);
        session.SendLine("HELO load" + std::to_string(client));
        session.ReadLine(wait);
        for (int message = 0; message < messages; ++message) {
            session.Send("MAIL FROM:<c" + std::to_string(client) + "@example.com>\r\n");
            if (session.ReadLine(wait).rfind("250 ", 0) != 0)
                continue;
            session.Send("RCPT TO:<r@example.com>\r\n");
            session.ReadLine(wait);
            session.Send("DATA\r\n");
            if (session.ReadLine(wait).rfind("354 ", 0) != 0)
                continue;
            session.Send(MessageBody(client, message));
            if (session.ReadLine(wait) == "250 Ok\r\n")
                ++acknowledged;
        }
        session.SendLine("QUIT");
        session.ReadLine(wait);
    } catch (const std::exception& error) {
        if (std::getenv("QUILLET_LOAD_DEBUG"))
            std::fprintf(stderr, "client %d after %d: %s\n", client, acknowledged, error.what());
    }
    return acknowledged;
}

enum class Abuse { LongLine, CloseInData, Idle, ConnectAndClose, Garbage };

// Misbehaves in one of five ways. An idle client holds its connection until `release`.
void AbusiveClient(std::uint16_t port, Abuse kind, int seed, const std::atomic<bool>& release)
{
    try {
        TestClient session(port);
        switch (kind) {
        case Abuse::LongLine:
            session.ReadLine(30s);
            session.Send(std::string(20000, 'L') + "\r\n");
            session.ClosedByServer(30s);
            break;
        case Abuse::CloseInData:
            session.ReadLine(30s);
            session.Send("HELO x\r\nMAIL FROM:<a@example.com>\r\nRCPT TO:<b@example.com>\r\nDATA\r\n");
            for (int i = 0; i < 4; ++i)
                session.ReadLine(30s);
            session.Send("Subject: never finished\r\n\r\nhalf a mess");
            break;
        case Abuse::Idle:
            while (!release)
                std::this_thread::sleep_for(10ms);
            break;
        case Abuse::ConnectAndClose: break;
        case Abuse::Garbage: {
            std::mt19937 random(seed);
            std::string noise(5000, '\0');
            for (char& c : noise)
                c = char(random());
            session.Send(noise);
            session.Send("\r\n\x00\xff\r\n");
            break;
        }
        }
    } catch (const std::exception&) {
    }
}

TEST(ServerLoad, WellBehavedClientsAreServedBesideAbusiveOnes)
{
    const int clients = Setting("QUILLET_LOAD_CLIENTS", 20);
    const int messages = Setting("QUILLET_LOAD_MESSAGES", 5);
    const int abusive = Setting("QUILLET_LOAD_ABUSIVE", 10);

    PrivateTempFolder();
    const int threadsBefore = RunningThreads();
    const int descriptorsBefore = OpenDescriptors();
    std::atomic<long> received{0};
    std::atomic<bool> wrongData{false};
    {
        TSMTPServer server;
        server.DefaultPort = 0;
        server.OnReceiveRaw = [&](TSMTPServerThread&, const ReceivedData& data, const TEMailAddressList& rcpt,
                                  std::string&) {
            if (data.Size < 1024 || rcpt.size() != 1)
                wrongData = true;
            ++received;
        };
        server.SetActive(true);
        const std::uint16_t port = server.BoundPort();

        std::atomic<bool> releaseIdle{false};
        std::atomic<int> acknowledged{0};
        std::vector<std::thread> threads;
        for (int i = 0; i < abusive; ++i)
            threads.emplace_back(AbusiveClient, port, Abuse(i % 5), i, std::cref(releaseIdle));
        std::vector<std::thread> wellBehaved;
        for (int i = 0; i < clients; ++i)
            wellBehaved.emplace_back([&, i] { acknowledged += WellBehavedClient(port, i, messages); });
        for (auto& thread : wellBehaved)
            thread.join();
        EXPECT_EQ(acknowledged, clients * messages);
        EXPECT_EQ(received, clients * messages);
        EXPECT_FALSE(wrongData);

        // The idle ones are still connected when the server goes down.
        const auto start = Clock::now();
        server.SetActive(false);
        EXPECT_LT(Clock::now() - start, 5s);
        EXPECT_EQ(server.ConnectionCount(), 0u);
        releaseIdle = true;
        for (auto& thread : threads)
            thread.join();
        // The deactivated server holds no thread and no socket.
        EXPECT_EQ(ThreadCountSettled(threadsBefore), threadsBefore);
        EXPECT_EQ(OpenDescriptors(), descriptorsBefore);
    }
    EXPECT_EQ(DataFilesLeft(), 0);
}

} // namespace
} // namespace quillet::test
