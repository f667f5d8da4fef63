// Throughput of the SMTP client: 10,000 personalised messages of about 1 KB over one connection
// (or shared by N connections at once) to Postfix's smtp-sink, which announces PIPELINING, beside
// Postfix's smtp-source sending the same count and size to the same smtp-sink over as many
// connections (smtp-source does not pipeline). The client is measured with pipelining and
// without. They alternate for several rounds, smtp-source first in every other round; medians are
// compared, and so are the rounds' own ratios (measured close together, so they suffer less from
// the machine's load changing between rounds).
//
// Usage: bench_smtp_throughput [messages] [rounds] [connections]
#include "PeerProgram.h"
#include "PersonalBody.h"

#include "transport/MailMessage.h"
#include "transport/SMTPClient.h"

#include <cstdio>
#include <cstdlib>
#include <thread>

using namespace quillet;
using namespace quillet::bench;

namespace {

void SendShare(uint16_t port, int first, int count, bool pipelining)
{
    TSMTPClient client;
    client.Host = "127.0.0.1";
    client.Port = port;
    client.UsePipelining = pipelining;
    TMailMessage message;
    message.ContentType = "text/plain";
    client.Connect();
    for (int n = first; n < first + count; ++n) {
        message.Sender = TEMailAddressItem("newsletter@example.org", "Newsletter");
        message.Recipients.SetAddressesText("recipient" + std::to_string(n) + "@example.org");
        message.Subject = "News for recipient " + std::to_string(n);
        message.Body = PersonalBody(n);
        client.Send(message);
    }
    client.Disconnect();
}

// Seconds for `count` messages shared by `connections` clients, each on a thread of its own.
double SendOurs(uint16_t port, int count, int connections, bool pipelining)
{
    const auto start = std::chrono::steady_clock::now();
    std::vector<std::thread> threads;
    for (int c = 0; c < connections; ++c) {
        const int first = count * c / connections;
        threads.emplace_back(SendShare, port, first, count * (c + 1) / connections - first, pipelining);
    }
    for (std::thread& thread : threads)
        thread.join();
    return Seconds(std::chrono::steady_clock::now() - start);
}

} // namespace

int main(int argc, char** argv)
{
    const int count = argc > 1 ? std::atoi(argv[1]) : 10000;
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 5;
    const int connections = argc > 3 ? std::max(1, std::atoi(argv[3])) : 1;
    if (::access(kSmtpSink, X_OK) != 0 || ::access(kSmtpSource, X_OK) != 0) {
        std::printf("smtp-sink or smtp-source is not installed: nothing measured\n");
        return 0;
    }
    SmtpSink sink;
    if (!sink.Running()) {
        std::printf("smtp-sink did not start\n");
        return 1;
    }
    std::vector<double> ours, plain, theirs, roundRatios, roundPlainRatios;
    for (int round = 0; round < rounds; ++round) {
        std::optional<double> sourceSeconds;
        if (round % 2 == 1)
            sourceSeconds = TimeSmtpSourceBatch(sink.Port(), count, 1024, connections);
        const double pipelined = SendOurs(sink.Port(), count, connections, true);
        const double unpipelined = SendOurs(sink.Port(), count, connections, false);
        if (round % 2 == 0)
            sourceSeconds = TimeSmtpSourceBatch(sink.Port(), count, 1024, connections);
        if (!sourceSeconds) {
            std::printf("smtp-source failed\n");
            return 1;
        }
        ours.push_back(count / pipelined);
        plain.push_back(count / unpipelined);
        theirs.push_back(count / *sourceSeconds);
        roundRatios.push_back(ours.back() / theirs.back());
        roundPlainRatios.push_back(plain.back() / theirs.back());
        std::printf("round %d: quillet pipelined %.0f msg/s, not pipelined %.0f msg/s, smtp-source %.0f msg/s\n",
                    round + 1, ours.back(), plain.back(), theirs.back());
    }
    const double ourMedian = Median(ours);
    const double plainMedian = Median(plain);
    const double theirMedian = Median(theirs);
    std::printf("%d messages of ~1 KB over %d connection(s), median of %d rounds:\n", count, connections, rounds);
    std::printf("  quillet SMTP client, pipelining:     %.0f messages/s\n", ourMedian);
    std::printf("  quillet SMTP client, no pipelining:  %.0f messages/s\n", plainMedian);
    std::printf("  smtp-source -d -s %d:                 %.0f messages/s\n", connections, theirMedian);
    std::printf("  ratio pipelining:                    %.2fx (target >= 1.5x)\n", ourMedian / theirMedian);
    std::printf("  ratio without pipelining:            %.2fx\n", plainMedian / theirMedian);
    std::printf("  median of the rounds' ratios:        %.2fx pipelining, %.2fx without\n", Median(roundRatios),
                Median(roundPlainRatios));
    return 0;
}
