// A mailing run handed to a fleet of three real Postfix instances through the rotating route
// (the default server and two accounts, four connections each): every recipient's message reaches the sink behind the
// fleet exactly once, and each instance relays its share. Skipped where Postfix cannot start.
// QUILLET_RELAY_RECIPIENTS sets the number of recipients (300 by default; 100000 at full size).
#include "support/PostfixFleet.h"

#include "mailing/MailingRun.h"
#include "transport/MailMessage.h"
#include "transport/SMTPClient.h"

#include <gtest/gtest.h>

#include <cstdlib>

using namespace quillet;
using namespace quillet::test;

namespace {

std::size_t RelayRecipients()
{
    const char* value = std::getenv("QUILLET_RELAY_RECIPIENTS");
    return value && std::atol(value) > 0 ? std::size_t(std::atol(value)) : 300;
}

std::string Address(std::size_t i)
{
    return "customer" + std::to_string(i) + "@example.org";
}

} // namespace

TEST(PostfixRelay, RotatingRouteDeliversEveryRecipientExactlyOnceThroughThreeInstances)
{
    const std::size_t count = RelayRecipients();
    PostfixFleet fleet(3, std::chrono::seconds(900));
    if (!fleet.Error().empty())
        GTEST_SKIP() << "Postfix could not start: " << fleet.Error();

    Project project;
    project.groups.push_back({"Customers", ""});
    project.recipients.resize(count);
    for (std::size_t i = 0; i < count; ++i) {
        project.recipients[i].EMail.set(Address(i));
        project.recipients[i].Name.set("Name" + std::to_string(i));
        project.recipients[i].Group.set("Customers");
    }
    for (std::size_t i = 1; i < 3; ++i)
        project.accounts.push_back({"127.0.0.1", "", "", std::to_string(fleet.Port(i)), "Shop",
                                    "shop" + std::to_string(i) + "@example.org", "", "True"});
    MailDraft draft;
    draft.subject = "Hello %NAME%";
    draft.body = {"Dear %NAME%,", "a message through the fleet."};
    MailingRunRequest request;
    request.route = SendRoute::Rotating;
    request.project = &project;
    request.draft = &draft;
    request.defaultServer.host = "127.0.0.1";
    request.defaultServer.port = std::to_string(fleet.Port(0));
    request.defaultServer.sendFrom = "shop@example.org";
    request.connections = 4;
    for (std::size_t i = 0; i < count; ++i)
        request.recipients.push_back(i);

    TSMTPClient client;
    TMailMessage message;
    message.ContentType = "text/plain";
    MailingRun run(client, message, nullptr);
    EXPECT_EQ(run.Run(request), count);
    ASSERT_TRUE(fleet.WaitUntilDrained(std::chrono::seconds(300))) << fleet.Queued() << " still queued\n"
                                                                   << fleet.Log(0);

    const auto delivered = fleet.DeliveredPerRecipient();
    EXPECT_EQ(delivered.size(), count);
    std::size_t exactlyOnce = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const auto found = delivered.find(Address(i));
        exactlyOnce += found != delivered.end() && found->second == 1 ? 1 : 0;
    }
    EXPECT_EQ(exactlyOnce, count);
    const auto perInstance = fleet.DeliveredPerInstance();
    ASSERT_EQ(perInstance.size(), 3u);
    for (const auto& [instance, messages] : perInstance)
        EXPECT_TRUE(messages == count / 3 || messages == (count + 2) / 3) << instance << ": " << messages;
}
