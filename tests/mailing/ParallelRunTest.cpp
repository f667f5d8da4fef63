// Mailing runs on several connections at once against built-in servers (which serve many
// connections at once): every recipient gets exactly one message, the recorder and the counts
// agree with what the servers received, a stop or a refusal ends every connection after its
// message under way, the rotation gives each server its share, and the rate is a total over
// the connections.
#include "support/FreePort.h"

#include "mailing/MailingRun.h"
#include "mailing/SmtpAccountUse.h"
#include "server/SMTPServer.h"
#include "transport/MailMessage.h"
#include "transport/SMTPClient.h"
#include "transport/StopSignal.h"
#include "transport/TransportError.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <mutex>

using namespace quillet;
using namespace quillet::test;

namespace {

// A built-in server on a free port that records the recipient of every message it took.
struct RecordingServer {
    TSMTPServer server;
    std::mutex mutex;
    std::vector<std::string> received;

    RecordingServer()
    {
        server.OnReceiveRaw = [this](TSMTPServerThread&, const ReceivedData&, const TEMailAddressList& rcpt,
                                     std::string&) {
            std::lock_guard lock(mutex);
            for (const auto& item : rcpt)
                received.push_back(item.Address);
        };
        server.DefaultPort = freePort();
        server.SetActive(true);
    }
    ~RecordingServer() { server.SetActive(false); }
    std::vector<std::string> Received()
    {
        std::lock_guard lock(mutex);
        std::vector<std::string> sorted = received;
        std::sort(sorted.begin(), sorted.end());
        return sorted;
    }
};

// Every outcome the run recorded, by position; the run serialises the calls.
struct Outcomes : DeliveryRecorder {
    std::map<std::size_t, std::string> byPosition;
    std::size_t duplicates = 0;
    std::string ending;
    void Pending(std::size_t, std::string_view) override {}
    void Outcome(std::size_t n, std::string_view, RecipientStatus status, std::string_view, int) override
    {
        duplicates += byPosition.count(n);
        byPosition[n] = std::string(StatusName(status));
    }
    void Ended(std::string_view end, std::string_view) override { ending = std::string(end); }
    void Flush() override {}
    std::size_t Count(const std::string& status) const
    {
        return std::size_t(std::count_if(byPosition.begin(), byPosition.end(),
                                         [&](const auto& entry) { return entry.second == status; }));
    }
};

std::string Address(std::size_t i)
{
    return "r" + std::to_string(100 + i) + "@x.org";
}

struct ParallelRun : ::testing::Test {
    static constexpr std::size_t kCount = 40;
    Project project;
    MailDraft draft{"Hello %NAME%", {"Body"}, {}};
    TSMTPClient client;
    TMailMessage message;
    MailingRun run{client, message, nullptr};
    RecordingServer server;
    Outcomes outcomes;

    ParallelRun()
    {
        message.ContentType = "text/plain";
        for (std::size_t i = 0; i < kCount; ++i) {
            RecipientRecord r;
            r.EMail.set(Address(i));
            r.Group.set("G");
            project.recipients.push_back(r);
        }
    }
    MailingRunRequest Request(std::size_t connections)
    {
        MailingRunRequest r;
        r.project = &project;
        r.draft = &draft;
        for (std::size_t i = 0; i < kCount; ++i)
            r.recipients.push_back(i);
        r.defaultServer.host = "127.0.0.1";
        r.defaultServer.port = std::to_string(server.server.DefaultPort);
        r.defaultServer.sendFrom = "me@x.org";
        r.connections = connections;
        r.recorder = &outcomes;
        return r;
    }
    std::vector<std::string> All(std::size_t count = kCount) const
    {
        std::vector<std::string> all;
        for (std::size_t i = 0; i < count; ++i)
            all.push_back(Address(i));
        return all;
    }
};

} // namespace

TEST_F(ParallelRun, EveryRecipientGetsOneMessageAndEveryOutcomeIsRecordedOnce)
{
    std::size_t lastSent = 0, calls = 0;
    MailingRunHooks hooks;
    hooks.messageSent = [&](std::size_t sent, std::size_t total) {
        EXPECT_GE(sent, lastSent);
        EXPECT_EQ(total, kCount);
        lastSent = sent;
        ++calls;
    };
    EXPECT_EQ(run.Run(Request(4), hooks), kCount);
    EXPECT_EQ(server.Received(), All());
    EXPECT_EQ(outcomes.Count("sent"), kCount);
    EXPECT_EQ(outcomes.duplicates, 0u);
    EXPECT_EQ(outcomes.ending, "completed");
    EXPECT_EQ(lastSent, kCount);
    EXPECT_GE(calls, 1u);
    EXPECT_FALSE(run.LastRunStopped());
}

TEST_F(ParallelRun, StopEndsEveryConnectionAfterItsMessageWithExactCounts)
{
    // Through the hook, and through the stop signal that also ends every connection's waits.
    for (const bool signal : {false, true}) {
        server.received.clear();
        outcomes = Outcomes();
        StopSignal stop;
        MailingRunRequest request = Request(3);
        MailingRunHooks hooks;
        std::size_t seen = 0;
        hooks.messageSent = [&](std::size_t sent, std::size_t) {
            seen = sent;
            if (signal && seen >= 5)
                stop.Request();
        };
        if (signal)
            request.stop = &stop;
        else
            hooks.stopRequested = [&] { return seen >= 5; };
        const std::size_t sent = run.Run(request, hooks);
        EXPECT_TRUE(run.LastRunStopped()) << signal;
        EXPECT_LT(sent, kCount);
        EXPECT_EQ(server.Received().size(), sent);
        EXPECT_EQ(outcomes.Count("sent"), sent);
        EXPECT_EQ(outcomes.Count("sent") + outcomes.Count("unknown"), outcomes.byPosition.size()) << signal;
        EXPECT_EQ(outcomes.ending, "stopped");
    }
}

TEST_F(ParallelRun, RefusalEndsTheRunUnderStopAndIsSkippedUnderSkip)
{
    server.server.OnCommandRCPT = [](TSMTPServerThread&, bool& accept, bool&, const TEMailAddressItem& address,
                                     std::string& error) {
        if (address.Address == Address(7))
            error = "550 5.1.1 no such user";
        accept = true;
    };
    EXPECT_THROW(run.Run(Request(3)), EProtocolReplyError);
    ASSERT_TRUE(run.LastReport().server);
    EXPECT_EQ(ServerPlaceText(*run.LastReport().server),
              "Server: 127.0.0.1, port " + std::to_string(server.server.DefaultPort));
    EXPECT_EQ(outcomes.Count("rejected"), 1u);
    EXPECT_EQ(server.Received().size(), outcomes.Count("sent"));
    EXPECT_EQ(run.LastCounts().sent, outcomes.Count("sent"));
    EXPECT_EQ(outcomes.ending, "error");

    server.received.clear();
    outcomes = Outcomes();
    MailingRunRequest skip = Request(3);
    skip.delivery.onError = OnError::Skip;
    EXPECT_EQ(run.Run(skip), kCount - 1);
    EXPECT_EQ(outcomes.Count("rejected"), 1u);
    EXPECT_EQ(server.Received().size(), kCount - 1);
}

TEST_F(ParallelRun, AServerTakingFewerConnectionsThanAskedGetsEveryMessageOverThoseItTook)
{
    server.server.MaxConnections = 2;
    std::vector<std::string> notices;
    MailingRunHooks hooks;
    hooks.notice = [&](const std::string& text) { notices.push_back(text); };
    EXPECT_EQ(run.Run(Request(4), hooks), kCount);
    EXPECT_EQ(server.Received(), All());
    EXPECT_EQ(outcomes.duplicates, 0u);
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_THAT(notices[0], ::testing::HasSubstr("refused some of the run's connections (421 "));
}

TEST_F(ParallelRun, AHookThatRaisesEndsTheRunWithItsErrorOnceEveryConnectionHasEnded)
{
    MailingRunHooks hooks;
    hooks.messageSent = [](std::size_t, std::size_t) { throw std::runtime_error("from the hook"); };
    EXPECT_THROW(run.Run(Request(3), hooks), std::runtime_error);
    EXPECT_EQ(server.Received().size(), outcomes.Count("sent"));
}

TEST_F(ParallelRun, RotationGivesEachServerItsTurnsAndTheRateIsATotal)
{
    RecordingServer second;
    project.accounts.push_back(
        {"127.0.0.1", "", "", std::to_string(second.server.DefaultPort), "Acc", "acc@x.org", "", "True"});
    MailingRunRequest r = Request(2);
    r.route = SendRoute::Rotating;
    r.recipients.resize(10);
    r.rate = *ParseSendRate("40/s"); // a message every 25 ms per server, whatever the connections
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(run.Run(r), 10u);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(4 * 25));
    std::vector<std::string> even, odd;
    for (std::size_t i = 0; i < 10; ++i)
        (i % 2 ? odd : even).push_back(Address(i));
    EXPECT_EQ(server.Received(), even);
    EXPECT_EQ(second.Received(), odd);
    EXPECT_EQ(run.AccountIndex(), kDefaultServerIndex); // ten turns of two servers: back at the start
}
