// A mailing run of 10,000 recipients with five macros per message through the built-in route:
// the run personalises every message, renders it, and the built-in server in the same process
// receives it and stores it in its temporary data file. Beside it, Postfix's smtp-source sends
// the same number of messages of the same size over one connection to smtp-sink. The two
// alternate for several rounds; medians are compared as messages per second. The run is timed
// until its last message is answered and its connection closed (its `completed` hook); switching
// the built-in server off afterwards always waits 250 ms, so the figure with it is printed apart.
// The processor time per message of both sides (our process; smtp-source with smtp-sink) shows
// where the difference goes independently of the machine's load.
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

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <sys/resource.h>
#include <unistd.h>

using namespace quillet;
using namespace quillet::bench;

namespace {

// The processor time (user and system) a process has used so far, from /proc; 0 when unreadable.
double ProcessCpuSeconds(pid_t pid)
{
    std::FILE* file = std::fopen(("/proc/" + std::to_string(pid) + "/stat").c_str(), "r");
    if (!file)
        return 0;
    char text[1024] = {};
    const std::size_t length = std::fread(text, 1, sizeof text - 1, file);
    std::fclose(file);
    // The fields after the command name (which may hold spaces) end at its last ')'.
    const char* rest = std::strrchr(text, ')');
    if (!rest || length == 0)
        return 0;
    unsigned long utime = 0, stime = 0;
    if (std::sscanf(rest + 2, "%*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %lu %lu", &utime, &stime) != 2)
        return 0;
    return double(utime + stime) / double(::sysconf(_SC_CLK_TCK));
}

// The processor time of the ended child processes waited for so far.
double ChildrenCpuSeconds()
{
    rusage usage{};
    ::getrusage(RUSAGE_CHILDREN, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

} // namespace

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
    std::vector<double> ours, oursWhole, theirs, ourCpuPerMessage, theirCpuPerMessage;
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
        // The run's messages end with its `completed` hook; switching the server off afterwards
        // waits a fixed 250 ms (like stopping smtp-sink, which the pair's figure leaves out too),
        // so that part is printed apart.
        MailingRunHooks hooks;
        std::chrono::steady_clock::time_point completed;
        hooks.completed = [&completed](std::size_t) { completed = std::chrono::steady_clock::now(); };
        const double cpuBefore = ProcessCpuSeconds(::getpid());
        const auto start = std::chrono::steady_clock::now();
        const std::size_t sent = run.Run(request, hooks);
        const double ourCpu = ProcessCpuSeconds(::getpid()) - cpuBefore;
        const double wholeSeconds = Seconds(std::chrono::steady_clock::now() - start);
        const double seconds = Seconds(completed - start);
        if (sent != std::size_t(count) || received != count) {
            std::printf("the run sent %zu and the server received %d of %d\n", sent, received.load(), count);
            return 1;
        }
        const double sinkCpuBefore = ProcessCpuSeconds(sink.Pid());
        const double sourceCpuBefore = ChildrenCpuSeconds();
        const auto sourceSeconds = TimeSmtpSourceBatch(sink.Port(), count, messageSize);
        const double theirCpu = ProcessCpuSeconds(sink.Pid()) - sinkCpuBefore + ChildrenCpuSeconds() - sourceCpuBefore;
        if (!sourceSeconds) {
            std::printf("smtp-source failed\n");
            return 1;
        }
        ours.push_back(count / seconds);
        oursWhole.push_back(count / wholeSeconds);
        theirs.push_back(count / *sourceSeconds);
        ourCpuPerMessage.push_back(ourCpu * 1e6 / count);
        theirCpuPerMessage.push_back(theirCpu * 1e6 / count);
        std::printf("round %d: quillet run %.0f msg/s (%.0f with the server's stop), smtp-source -> smtp-sink %.0f "
                    "msg/s, ratio %.2f; CPU per message %.0f us beside %.0f us\n",
                    round + 1, ours.back(), oursWhole.back(), theirs.back(), ours.back() / theirs.back(),
                    ourCpuPerMessage.back(), theirCpuPerMessage.back());
    }
    const double ourMedian = Median(ours);
    const double theirMedian = Median(theirs);
    std::vector<double> ratios;
    for (std::size_t i = 0; i < ours.size(); ++i)
        ratios.push_back(ours[i] / theirs[i]);
    std::sort(ratios.begin(), ratios.end());
    const char* tmpdir = std::getenv("TMPDIR");
    std::printf("%d recipients, five macros, %zu-byte messages, one connection, temporary folder %s; "
                "median of %d rounds:\n",
                count, messageSize, tmpdir && *tmpdir ? tmpdir : "/tmp", rounds);
    std::printf("  quillet mailing run, built-in route: %.0f messages/s\n", ourMedian);
    std::printf("  ... with the server's stop:          %.0f messages/s\n", Median(oursWhole));
    std::printf("  smtp-source -> smtp-sink:            %.0f messages/s\n", theirMedian);
    std::printf("  ratio:                               %.2fx (target >= 0.90x with TMPDIR on tmpfs)\n",
                ourMedian / theirMedian);
    std::printf("  ratio per round:                     %.2fx to %.2fx, median %.2fx\n", ratios.front(), ratios.back(),
                Median(ratios));
    std::printf("  CPU per message (both sides):        %.0f us beside %.0f us (client and server threads; "
                "smtp-source and smtp-sink)\n",
                Median(ourCpuPerMessage), Median(theirCpuPerMessage));
    std::printf("  load average at the end:            %s", LoadAverage().c_str());
    return 0;
}
