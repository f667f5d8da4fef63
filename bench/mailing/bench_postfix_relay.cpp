// A mailing run of 100,000 recipients handed to a fleet of three real Postfix instances through
// the rotating route (the default server and two accounts, one instance each), which relay it to
// one smtp-sink. Beside it, in the same run, smtp-source sends the same number of messages of
// the same size into the same instances (one smtp-source per instance, all at once). For both:
// the rate into the instances, and the time from the start until their queues are empty. The
// run's messages are then counted per recipient at the sink: each must arrive exactly once.
//
// Usage: bench_postfix_relay [recipients] [connections per instance, default 4]
// Needs root (Postfix's master); the instances live under the system's temporary folder.
#include "PeerProgram.h"
#include "support/PostfixFleet.h"

#include "mailing/MailingRun.h"
#include "transport/MailMessage.h"
#include "transport/SMTPClient.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

using namespace quillet;
using namespace quillet::bench;
using Clock = std::chrono::steady_clock;

namespace {

std::string Address(std::size_t i)
{
    return "customer" + std::to_string(i) + "@example.org";
}

Project MakeProject(std::size_t count, const test::PostfixFleet& fleet)
{
    Project project;
    project.properties.AutorName.set("Orv Quillet");
    project.groups.push_back({"Customers", ""});
    project.recipients.resize(count);
    for (std::size_t i = 0; i < count; ++i) {
        RecipientRecord& r = project.recipients[i];
        r.EMail.set(Address(i));
        r.Name.set("Name" + std::to_string(i));
        r.ParamName1.set("CITY");
        r.ParamValue1.set("City" + std::to_string(i % 97));
        r.Group.set("Customers");
    }
    for (std::size_t i = 1; i < fleet.Size(); ++i)
        project.accounts.push_back({"127.0.0.1", "", "", std::to_string(fleet.Port(i)), "Shop",
                                    "shop" + std::to_string(i) + "@example.org", "", "True"});
    return project;
}

MailDraft MakeDraft()
{
    MailDraft draft;
    draft.subject = "An offer for %NAME%";
    draft.body = {"Dear %NAME%,",
                  "",
                  "our shop in %CITY% has something new for you.",
                  "Come and see it this week; the doors are open from nine to six.",
                  "",
                  "Best regards,",
                  "%AUTHORNAME%"};
    return draft;
}

struct Figures {
    double intoMtas = 0; // seconds until the last message was accepted by an instance
    double drained = 0;  // seconds from the start until every queue was empty
};

void Print(const char* what, std::size_t count, const Figures& f)
{
    std::printf("  %-34s %7.0f msg/s into the MTAs (%6.1f s), queues empty after %6.1f s (%6.0f msg/s)\n", what,
                double(count) / f.intoMtas, f.intoMtas, f.drained, double(count) / f.drained);
}

} // namespace

int main(int argc, char** argv)
{
    const std::size_t count = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 100000;
    const int connections = argc > 2 ? std::max(1, std::atoi(argv[2])) : 4;
    test::PostfixFleet fleet(3, std::chrono::seconds(3600));
    if (!fleet.Error().empty()) {
        std::printf("Postfix could not start, nothing measured: %s\n", fleet.Error().c_str());
        return 0;
    }
    const Project project = MakeProject(count, fleet);
    const MailDraft draft = MakeDraft();
    MailingRunRequest request;
    request.route = SendRoute::Rotating;
    request.project = &project;
    request.draft = &draft;
    request.defaultServer.host = "127.0.0.1";
    request.defaultServer.port = std::to_string(fleet.Port(0));
    request.defaultServer.sendFrom = "shop@example.org";
    request.connections = std::size_t(connections);
    for (std::size_t i = 0; i < count; ++i)
        request.recipients.push_back(i);

    // The size of one message as it goes after DATA, for smtp-source's -l.
    std::size_t messageSize = 0;
    {
        MailingRunRequest one = request;
        one.recipients = {0};
        const auto folder = std::filesystem::temp_directory_path() / ("quillet-bench-" + std::to_string(::getpid()));
        one.dryRunFolder = folder;
        TSMTPClient client;
        TMailMessage message;
        message.ContentType = "text/plain";
        MailingRun(client, message, nullptr).Run(one);
        messageSize = std::filesystem::file_size(folder / "000001.eml");
        std::filesystem::remove_all(folder);
    }

    Figures ours;
    {
        TSMTPClient client;
        TMailMessage message;
        message.ContentType = "text/plain";
        MailingRun run(client, message, nullptr);
        const auto start = Clock::now();
        const std::size_t sent = run.Run(request);
        ours.intoMtas = Seconds(Clock::now() - start);
        if (sent != count || !fleet.WaitUntilDrained(std::chrono::seconds(1800))) {
            std::printf("the run sent %zu of %zu; %zu still queued\n", sent, count, fleet.Queued());
            return 1;
        }
        ours.drained = Seconds(Clock::now() - start);
    }
    const auto delivered = fleet.DeliveredPerRecipient();
    std::size_t exactlyOnce = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const auto found = delivered.find(Address(i));
        exactlyOnce += found != delivered.end() && found->second == 1 ? 1 : 0;
    }

    // smtp-source: one per instance at once, the run's share each, as many sessions as the run
    // had connections per server, a connection per message as the rotating route does.
    Figures theirs;
    {
        const auto start = Clock::now();
        std::vector<pid_t> sources;
        for (std::size_t i = 0; i < fleet.Size(); ++i) {
            const std::size_t share = count / fleet.Size() + (i < count % fleet.Size() ? 1 : 0);
            sources.push_back(Spawn({kSmtpSource, "-s", std::to_string(connections), "-m", std::to_string(share), "-l",
                                     std::to_string(messageSize), "-f", "source@example.net", "-t", "peer@example.net",
                                     "127.0.0.1:" + std::to_string(fleet.Port(i))},
                                    "/dev/null"));
        }
        bool ok = true;
        for (const pid_t pid : sources) {
            int status = 0;
            ok = ::waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0 && ok;
        }
        theirs.intoMtas = Seconds(Clock::now() - start);
        if (!ok || !fleet.WaitUntilDrained(std::chrono::seconds(1800))) {
            std::printf("smtp-source failed or the queues did not drain\n");
            return 1;
        }
        theirs.drained = Seconds(Clock::now() - start);
    }

    std::printf("%zu recipients, %zu-byte messages, three Postfix instances relaying to smtp-sink, "
                "%d connection(s) per instance:\n",
                count, messageSize, connections);
    Print("quillet run, rotating route:", count, ours);
    Print("smtp-source into the same MTAs:", count, theirs);
    std::printf("  ratio into the MTAs %.2fx, until the queues are empty %.2fx\n", theirs.intoMtas / ours.intoMtas,
                theirs.drained / ours.drained);
    std::printf("  delivered exactly once: %zu of %zu recipients (%zu addresses at the sink)\n", exactlyOnce, count,
                delivered.size() - (delivered.count("peer@example.net") ? 1 : 0));
    return exactlyOnce == count ? 0 : 1;
}
