// Attachment streaming: one message with a 100 MB attachment sent to Postfix's smtp-sink, in
// MB/s, beside coreutils base64 encoding the same file into 76-character lines, in the same run.
// The peak resident set size is printed after a 10 MB and after the 100 MB attachment: it stays
// flat because files are streamed in blocks.
//
// smtp-sink parses every line it receives, and that caps how fast any client can hand it data;
// so the run also times Postfix's smtp-source sending one message of the same size on the wire
// to the same smtp-sink, prints the client's own processor time per megabyte, and sends the
// message once more to a peer that discards the bytes unread (the client's own ceiling).
//
// Usage: bench_attachment_streaming [megabytes] [rounds]
#include "AttachmentMessage.h"
#include "DiscardingSmtpPeer.h"
#include "PeerProgram.h"

#include "transport/MailMessage.h"
#include "transport/SMTPClient.h"

#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>

using namespace quillet;
using namespace quillet::bench;
namespace fs = std::filesystem;

namespace {

constexpr const char* kBase64 = "/usr/bin/base64";

double ProcessorSeconds()
{
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

long PeakRssKb()
{
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

double SendWithAttachment(uint16_t port, const fs::path& file)
{
    TSMTPClient client;
    client.Host = "127.0.0.1";
    client.Port = port;
    TMailMessage message;
    FillAttachmentMessage(message, file);
    const auto start = std::chrono::steady_clock::now();
    client.Connect();
    client.Send(message);
    client.Disconnect();
    return Seconds(std::chrono::steady_clock::now() - start);
}

} // namespace

int main(int argc, char** argv)
{
    const size_t megabytes = argc > 1 ? static_cast<size_t>(std::atoi(argv[1])) : 100;
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 3;
    if (::access(kSmtpSink, X_OK) != 0) {
        std::printf("smtp-sink is not installed: nothing measured\n");
        return 0;
    }
    SmtpSink sink;
    if (!sink.Running()) {
        std::printf("smtp-sink did not start\n");
        return 1;
    }
    const fs::path folder = fs::temp_directory_path();
    const fs::path small = folder / "quillet-bench-10mb.bin";
    const fs::path large = folder / ("quillet-bench-" + std::to_string(megabytes) + "mb.bin");
    MakeFile(small, 10);
    MakeFile(large, megabytes);

    SendWithAttachment(sink.Port(), small);
    const long rssSmall = PeakRssKb();

    // The attachment's size on the wire: 76 characters and CR LF per 57 bytes.
    const size_t wireBytes = (megabytes * 1024 * 1024 + 56) / 57 * 78;
    const bool haveSource = ::access(kSmtpSource, X_OK) == 0;
    std::vector<double> ours, theirs, source, ourProcessor, toDiscard;
    for (int round = 0; round < rounds; ++round) {
        const double processorBefore = ProcessorSeconds();
        const double ourSeconds = SendWithAttachment(sink.Port(), large);
        ourProcessor.push_back(static_cast<double>(megabytes) / (ProcessorSeconds() - processorBefore));
        const auto base64Seconds = TimeProgram({kBase64, "-w", "76", large.string()}, "/dev/null");
        if (!base64Seconds) {
            std::printf("base64 failed\n");
            return 1;
        }
        ours.push_back(static_cast<double>(megabytes) / ourSeconds);
        theirs.push_back(static_cast<double>(megabytes) / *base64Seconds);
        std::printf("round %d: quillet %.0f MB/s, base64 %.0f MB/s", round + 1, ours.back(), theirs.back());
        if (haveSource) {
            const auto sourceSeconds = TimeProgram(
                {kSmtpSource, "-m", "1", "-l", std::to_string(wireBytes), "127.0.0.1:" + std::to_string(sink.Port())});
            if (sourceSeconds) {
                source.push_back(static_cast<double>(megabytes) / *sourceSeconds);
                std::printf(", smtp-source (same wire size) %.0f MB/s", source.back());
            }
        }
        std::printf("\n");
    }
    const long rssLarge = PeakRssKb();

    // Last, as the peer's buffers live in this process and would count in its peak memory.
    {
        DiscardingSmtpPeer discard;
        for (int round = 0; round < rounds; ++round)
            toDiscard.push_back(static_cast<double>(megabytes) / SendWithAttachment(discard.Port(), large));
    }
    fs::remove(small);
    fs::remove(large);

    const double ourMedian = Median(ours);
    const double theirMedian = Median(theirs);
    std::printf("one %zu MB attachment to smtp-sink, median of %d rounds:\n", megabytes, rounds);
    std::printf("  quillet SMTP client:  %.0f MB/s\n", ourMedian);
    std::printf("  base64 -w 76 > null:  %.0f MB/s\n", theirMedian);
    std::printf("  ratio:                %.2fx (target >= 0.50x)\n", ourMedian / theirMedian);
    if (!source.empty())
        std::printf("  smtp-source sending the same wire size to the same smtp-sink: %.0f MB/s (quillet %.2fx of it)\n",
                    Median(source), ourMedian / Median(source));
    std::printf("  quillet to a peer that discards unread: %.0f MB/s (%.2fx base64)\n", Median(toDiscard),
                Median(toDiscard) / theirMedian);
    std::printf("  quillet's own processor time: %.0f MB of attachment per processor second\n", Median(ourProcessor));
    std::printf("  peak RSS after a 10 MB attachment: %ld KB; after %zu MB attachments: %ld KB\n", rssSmall, megabytes,
                rssLarge);
    return 0;
}
