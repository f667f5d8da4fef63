// A mailing run of 10,000 recipients with five macros per message through the built-in route:
// the run personalises every message, renders it, and the built-in server in the same process
// receives it and stores it in its temporary data file. Beside it, Postfix's smtp-source sends
// the same number of messages of the same size over one connection to smtp-sink (its -l is chosen
// so that its own header lines and the text together are as long as the run's messages). In every
// round the run goes once with the server's data files on tmpfs and once on disk, then the pair;
// medians are compared as messages per second. The run is timed until its last message is
// answered and its connection closed (its `completed` hook); switching the built-in server off
// afterwards always waits 250 ms, so the figure with it is printed apart. The processor time per
// message of both sides shows where the difference goes independently of the machine's load:
// ours split into the run's thread (the client) and the server's threads, theirs into
// smtp-source and smtp-sink.
//
// Usage: bench_mailing_run [recipients] [rounds] [only]
// With `only` (tmpfs, disk or pair) just that side runs, for profiling one of them alone
// (perf record -g, perf stat, strace -c -f); no ratio is printed then.
// The data files go to TMPDIR (else /tmp) and to a folder of the other kind: /dev/shm for tmpfs,
// /var/tmp for disk. A kind the machine lacks is left out.
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

#include <linux/magic.h>
#include <sys/resource.h>
#include <sys/vfs.h>
#include <time.h>
#include <unistd.h>

using namespace quillet;
using namespace quillet::bench;

namespace {

// The processor time of this process (all its threads, also ended ones) or of the calling thread.
double ClockSeconds(clockid_t clock)
{
    timespec now{};
    ::clock_gettime(clock, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

bool OnTmpfs(const std::string& folder)
{
    struct statfs status {};
    return ::statfs(folder.c_str(), &status) == 0 && status.f_type == TMPFS_MAGIC;
}

bool IsFolder(const std::string& folder)
{
    std::error_code error;
    return std::filesystem::is_directory(folder, error);
}

// The bytes smtp-source sends after DATA for a message of `length` (its -l), received by the
// built-in server: it adds header lines of its own to that many bytes of text.
std::size_t SmtpSourceMessageSize(std::size_t length)
{
    TSMTPServer server;
    server.DefaultPort = FreeLoopbackPort();
    std::atomic<std::uint64_t> size{0};
    server.OnReceiveRaw = [&size](TSMTPServerThread&, const ReceivedData& data, const TEMailAddressList&,
                                  std::string&) { size = data.Size; };
    server.SetActive(true);
    TimeSmtpSourceBatch(server.DefaultPort, 1, length);
    server.SetActive(false);
    return std::size_t(size.load());
}

// The figures of one kind of data folder over the rounds.
struct Series {
    std::string name;
    std::string folder;
    // Processor time per message: all, the run's thread (the client), the server's threads.
    std::vector<double> rate, rateWhole, cpuPerMessage, runCpu, serverCpu, ratio;
};

} // namespace

int main(int argc, char** argv)
{
    const int count = argc > 1 ? std::atoi(argv[1]) : 10000;
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 5;
    const std::string only = argc > 3 ? argv[3] : "";
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
    // smtp-source's -l that makes its messages as long as the run's, headers included.
    std::size_t sourceLength = messageSize;
    if (const std::size_t sent = SmtpSourceMessageSize(messageSize); sent > messageSize) {
        sourceLength = sent - messageSize < messageSize ? messageSize - (sent - messageSize) : 0;
        std::printf("smtp-source -l %zu sends %zu bytes after DATA, -l %zu sends %zu (the run's are %zu)\n",
                    messageSize, sent, sourceLength, SmtpSourceMessageSize(sourceLength), messageSize);
    }

    const char* given = std::getenv("TMPDIR");
    const std::string folder = given && *given ? given : "/tmp";
    std::vector<Series> kinds;
    auto addKind = [&kinds](std::string name, std::string folder) {
        Series kind;
        kind.name = std::move(name);
        kind.folder = std::move(folder);
        kinds.push_back(std::move(kind));
    };
    if (OnTmpfs(folder)) {
        addKind("tmpfs", folder);
        if (IsFolder("/var/tmp") && !OnTmpfs("/var/tmp"))
            addKind("disk", "/var/tmp");
    } else {
        if (IsFolder("/dev/shm") && OnTmpfs("/dev/shm"))
            addKind("tmpfs", "/dev/shm");
        addKind("disk", folder);
    }
    if (!only.empty())
        std::erase_if(kinds, [&only](const Series& kind) { return kind.name != only; });
    const bool withPair = only.empty() || only == "pair";
    if (!withPair && kinds.empty()) {
        std::printf("no data folder of the kind \"%s\" here (tmpfs, disk or pair)\n", only.c_str());
        return 1;
    }

    SmtpSink sink;
    if (!sink.Running()) {
        std::printf("smtp-sink did not start\n");
        return 1;
    }
    std::vector<double> theirs, theirCpuPerMessage, sourceCpu, sinkCpu;
    // One run of ours with the data files in the kind's folder; false when it went wrong.
    auto runOurs = [&](Series& kind) {
        // The server reads TMPDIR for every data file it makes.
        ::setenv("TMPDIR", kind.folder.c_str(), 1);
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
        const double cpuBefore = ClockSeconds(CLOCK_PROCESS_CPUTIME_ID);
        const double runCpuBefore = ClockSeconds(CLOCK_THREAD_CPUTIME_ID);
        const auto start = std::chrono::steady_clock::now();
        const std::size_t sent = run.Run(request, hooks);
        const double ourCpu = ClockSeconds(CLOCK_PROCESS_CPUTIME_ID) - cpuBefore;
        const double runCpu = ClockSeconds(CLOCK_THREAD_CPUTIME_ID) - runCpuBefore;
        const double wholeSeconds = Seconds(std::chrono::steady_clock::now() - start);
        const double seconds = Seconds(completed - start);
        if (sent != std::size_t(count) || received != count) {
            std::printf("the run sent %zu and the server received %d of %d\n", sent, received.load(), count);
            return false;
        }
        kind.rate.push_back(count / seconds);
        kind.rateWhole.push_back(count / wholeSeconds);
        kind.cpuPerMessage.push_back(ourCpu * 1e6 / count);
        kind.runCpu.push_back(runCpu * 1e6 / count);
        kind.serverCpu.push_back((ourCpu - runCpu) * 1e6 / count);
        return true;
    };
    auto runPair = [&] {
        const double sinkCpuBefore = ProcessCpuSeconds(sink.Pid());
        const double sourceCpuBefore = ChildrenCpuSeconds();
        const auto sourceSeconds = TimeSmtpSourceBatch(sink.Port(), count, sourceLength);
        const double sinkCpuUsed = ProcessCpuSeconds(sink.Pid()) - sinkCpuBefore;
        const double sourceCpuUsed = ChildrenCpuSeconds() - sourceCpuBefore;
        if (!sourceSeconds) {
            std::printf("smtp-source failed\n");
            return false;
        }
        theirs.push_back(count / *sourceSeconds);
        theirCpuPerMessage.push_back((sinkCpuUsed + sourceCpuUsed) * 1e6 / count);
        sourceCpu.push_back(sourceCpuUsed * 1e6 / count);
        sinkCpu.push_back(sinkCpuUsed * 1e6 / count);
        return true;
    };
    // One unrecorded round first: the first run of each side would otherwise also pay for cold
    // caches, the first server start and smtp-source's first start.
    for (std::size_t which = 0; which < kinds.size() + (withPair ? 1 : 0); ++which)
        if (!(which < kinds.size() ? runOurs(kinds[which]) : runPair()))
            return 1;
    for (Series& kind : kinds)
        kind = Series{kind.name, kind.folder, {}, {}, {}, {}, {}, {}};
    theirs.clear();
    theirCpuPerMessage.clear();
    sourceCpu.clear();
    sinkCpu.clear();
    for (int round = 0; round < rounds; ++round) {
        // The order of the runs turns with every round, so that none is always the first after a
        // pause or the one beside a particular neighbour.
        const std::size_t steps = kinds.size() + (withPair ? 1 : 0);
        for (std::size_t step = 0; step < steps; ++step) {
            const std::size_t which = (step + std::size_t(round)) % steps;
            if (!(which < kinds.size() ? runOurs(kinds[which]) : runPair()))
                return 1;
        }
        std::string line;
        for (const Series& kind : kinds) {
            char text[160];
            std::snprintf(text, sizeof text, "quillet run (%s) %.0f msg/s, CPU %.0f us/msg (run %.0f + server %.0f); ",
                          kind.name.c_str(), kind.rate.back(), kind.cpuPerMessage.back(), kind.runCpu.back(),
                          kind.serverCpu.back());
            line += text;
        }
        if (withPair) {
            char text[160];
            std::snprintf(text, sizeof text,
                          "smtp-source -> smtp-sink %.0f msg/s, CPU %.0f us/msg (source %.0f + sink %.0f)",
                          theirs.back(), theirCpuPerMessage.back(), sourceCpu.back(), sinkCpu.back());
            line += text;
            for (std::size_t i = 0; i < kinds.size(); ++i) {
                Series& kind = kinds[i];
                kind.ratio.push_back(kind.rate.back() / theirs.back());
                std::snprintf(text, sizeof text, "%s%s %.2f", i == 0 ? "; ratio " : ", ", kind.name.c_str(),
                              kind.ratio.back());
                line += text;
            }
        }
        std::printf("round %d: %s\n", round + 1, line.c_str());
    }
    if (!withPair || kinds.empty()) {
        std::printf("load average at the end: %s", LoadAverage().c_str());
        return 0;
    }
    const double theirMedian = Median(theirs);
    std::printf("%d recipients, five macros, %zu-byte messages, one connection; median of %d rounds:\n", count,
                messageSize, rounds);
    std::printf("  smtp-source -> smtp-sink:            %.0f messages/s, CPU %.0f us per message (source %.0f + "
                "sink %.0f)\n",
                theirMedian, Median(theirCpuPerMessage), Median(sourceCpu), Median(sinkCpu));
    for (Series& kind : kinds) {
        std::sort(kind.ratio.begin(), kind.ratio.end());
        std::printf("  quillet run, data files on %-5s     %.0f messages/s (%.0f with the server's stop), CPU %.0f us "
                    "per message (run %.0f + server %.0f); CPU ratio %.2fx\n",
                    (kind.name + ":").c_str(), Median(kind.rate), Median(kind.rateWhole), Median(kind.cpuPerMessage),
                    Median(kind.runCpu), Median(kind.serverCpu),
                    Median(theirCpuPerMessage) / Median(kind.cpuPerMessage));
        std::printf("    folder %s; ratio %.2fx (per round %.2fx to %.2fx, median %.2fx)%s\n", kind.folder.c_str(),
                    Median(kind.rate) / theirMedian, kind.ratio.front(), kind.ratio.back(), Median(kind.ratio),
                    kind.name == "tmpfs" ? "; target >= 0.90x" : "");
    }
    std::printf("  load average at the end:            %s", LoadAverage().c_str());
    return 0;
}
