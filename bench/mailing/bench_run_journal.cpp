// The run journal's cost: the mailing run of bench_mailing_run (10,000 recipients, five macros,
// built-in route in one process) with its journal written, beside the same run without a
// journal. Each message then costs two journal lines (one before its final dot, one after its
// reply) and a sync at least every second. The two alternate for several rounds; medians are
// compared as messages per second. The journals go to a temporary state folder (the same disk
// as the system's temporary folder).
//
// Usage: bench_run_journal [recipients] [rounds]
#include "MailingRunSample.h"
#include "PeerProgram.h"

#include "mailing/MailingRun.h"
#include "mailing/RunJournal.h"
#include "server/SMTPServer.h"
#include "transport/MailMessage.h"
#include "transport/SMTPClient.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>

using namespace quillet;
using namespace quillet::bench;

namespace {

// Messages per second of one run; with a journal when asked. 0 when the run went wrong.
double TimedRun(MailingRunRequest request, bool withJournal)
{
    TSMTPClient client;
    TMailMessage message;
    message.ContentType = "text/plain";
    TSMTPServer server;
    std::atomic<int> received{0};
    server.OnReceiveRaw = [&received](TSMTPServerThread&, const ReceivedData&, const TEMailAddressList&, std::string&) {
        ++received;
    };
    MailingRun run(client, message, &server);
    request.builtinServer.port = std::to_string(FreeLoopbackPort());
    const auto start = std::chrono::steady_clock::now();
    std::optional<RunJournal> journal;
    if (withJournal) {
        RunDescription description = DescribeRun(request, message, "/bench/shop.oqf", "Customers");
        journal.emplace(RunJournal::Create(description));
        request.recorder = &*journal;
    }
    const std::size_t sent = run.Run(request);
    journal.reset();
    const double seconds = Seconds(std::chrono::steady_clock::now() - start);
    const auto count = request.recipients.size();
    if (sent != count || std::size_t(received) != count) {
        std::printf("the run sent %zu and the server received %d of %zu\n", sent, received.load(), count);
        return 0;
    }
    return double(count) / seconds;
}

} // namespace

int main(int argc, char** argv)
{
    const int count = argc > 1 ? std::atoi(argv[1]) : 10000;
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 5;
    const auto state = std::filesystem::temp_directory_path() / ("quillet-journal-bench-" + std::to_string(::getpid()));
    ::setenv("XDG_STATE_HOME", state.c_str(), 1);

    const Project project = MakeProject(count);
    const MailDraft draft = MakeDraft();
    MailingRunRequest request;
    request.route = SendRoute::Builtin;
    request.project = &project;
    request.draft = &draft;
    request.builtinServer.sendFrom = "shop@example.org";
    for (int i = 0; i < count; ++i)
        request.recipients.push_back(std::size_t(i));

    std::vector<double> with, without;
    for (int round = 0; round < rounds; ++round) {
        without.push_back(TimedRun(request, false));
        with.push_back(TimedRun(request, true));
        if (without.back() == 0 || with.back() == 0)
            return 1;
        std::printf("round %d: without journal %.0f msg/s, with journal %.0f msg/s\n", round + 1, without.back(),
                    with.back());
    }
    std::error_code ignored;
    std::filesystem::remove_all(state, ignored);
    const double withMedian = Median(with), withoutMedian = Median(without);
    std::printf("%d recipients, built-in route, one connection; median of %d rounds:\n", count, rounds);
    std::printf("  mailing run with its journal:    %.0f messages/s\n", withMedian);
    std::printf("  the same run without a journal:  %.0f messages/s\n", withoutMedian);
    std::printf("  ratio:                           %.2fx (target >= 0.90x)\n", withMedian / withoutMedian);
    return 0;
}
