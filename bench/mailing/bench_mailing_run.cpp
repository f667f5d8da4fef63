// A mailing run of 10,000 recipients with five macros per message through the built-in route:
// the run personalises every message, renders it, and the built-in server in the same process
// receives it and stores it in its temporary data file. Beside it, Postfix's smtp-source sends
// the same number of messages of the same size over one connection to smtp-sink. The two
// alternate for several rounds; medians are compared as messages per second.
//
// Usage: bench_mailing_run [recipients] [rounds]
// The server keeps each message in a file under TMPDIR (else /tmp): run once with TMPDIR on tmpfs
// (e.g. /dev/shm) and once on disk for the two figures.
#include "MailingRunSample.h"
#include "PeerProgram.h"

#include "mailing/MailingRun.h"
#include "server/SMTPServer.h"
#include "transport/MailMessage.h"
#include "transport/SMTPClient.h"
#include "transport/StringLineWriter.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>

using namespace quillet;
using namespace quillet::bench;

int main(int argc, char** argv)
{
    const int count = argc > 1 ? std::atoi(argv[1]) : 10000;
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 5;
    if (::access(kSmtpSink, X_OK) != 0 || ::access(kSmtpSource, X_OK) != 0) {
        std::printf("smtp-sink or smtp-source is not installed: nothing measured\n");
        return 0;
    }

    const Project project = MakeProject(count);
    const MailDraft draft = MakeDraft();
    MailingRunRequest request;
    request.route = SendRoute::Builtin;
    request.project = &project;
    request.draft = &draft;
    request.builtinServer.sendFrom = "shop@example.org";
    for (int i = 0; i < count; ++i)
        request.recipients.push_back(std::size_t(i));

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

    SmtpSink sink;
    if (!sink.Running()) {
        std::printf("smtp-sink did not start\n");
        return 1;
    }
    std::vector<double> ours, theirs;
    for (int round = 0; round < rounds; ++round) {
        TSMTPClient client;
        TMailMessage message;
        message.ContentType = "text/plain";
        TSMTPServer server;
        std::atomic<int> received{0};
        server.OnReceiveRaw = [&received](TSMTPServerThread&, const ReceivedData&, const TEMailAddressList&,
                                          std::string&) { ++received; };
        MailingRun run(client, message, &server);
        request.builtinServer.port = std::to_string(FreeLoopbackPort());
        const auto start = std::chrono::steady_clock::now();
        const std::size_t sent = run.Run(request);
        const double seconds = Seconds(std::chrono::steady_clock::now() - start);
        if (sent != std::size_t(count) || received != count) {
            std::printf("the run sent %zu and the server received %d of %d\n", sent, received.load(), count);
            return 1;
        }
        const auto sourceSeconds = TimeSmtpSourceBatch(sink.Port(), count, messageSize);
        if (!sourceSeconds) {
            std::printf("smtp-source failed\n");
            return 1;
        }
        ours.push_back(count / seconds);
        theirs.push_back(count / *sourceSeconds);
        std::printf("round %d: quillet run %.0f msg/s, smtp-source -> smtp-sink %.0f msg/s\n", round + 1, ours.back(),
                    theirs.back());
    }
    const double ourMedian = Median(ours);
    const double theirMedian = Median(theirs);
    const char* tmpdir = std::getenv("TMPDIR");
    std::printf("%d recipients, five macros, %zu-byte messages, one connection, temporary folder %s; "
                "median of %d rounds:\n",
                count, messageSize, tmpdir && *tmpdir ? tmpdir : "/tmp", rounds);
    std::printf("  quillet mailing run, built-in route: %.0f messages/s\n", ourMedian);
    std::printf("  smtp-source -> smtp-sink:            %.0f messages/s\n", theirMedian);
    std::printf("  ratio:                               %.2fx (target >= 0.90x with TMPDIR on tmpfs)\n",
                ourMedian / theirMedian);
    return 0;
}
