// Throughput of the SMTP client: 10,000 personalised messages of about 1 KB over one connection
// (or shared by N connections at once) to Postfix's smtp-sink, which announces PIPELINING, beside
// Postfix's smtp-source sending the same count and size to the same smtp-sink over as many
// connections (smtp-source does not pipeline); the connections take the next message as they
// become free, as smtp-source's sessions do. The client is measured with pipelining and without,
// and with pipelining but sleeping at once in each wait for a reply instead of looking for it
// for a moment first. They alternate for several rounds, smtp-source first in every other round; medians are
// compared, and so are the rounds' own ratios (measured close together, so they suffer less from
// the machine's load changing between rounds). The processor time and context switches per
// message of each side and of smtp-sink serving it show where a difference comes from, apart
// from the machine's load.
//
// Usage: bench_smtp_throughput [messages] [rounds] [connections]
#include "PeerProgram.h"
#include "PersonalBody.h"

#include "transport/MailMessage.h"
#include "transport/SMTPClient.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <thread>

using namespace quillet;
using namespace quillet::bench;

namespace {

// How the client is set up for a run.
struct Client {
    bool pipelining = true;
    bool spin = true; // looks for replies before sleeping (TSMTPClient's default)
};

// Sends the messages numbered from `next` on, taking each number as smtp-source's sessions take
// theirs: one at a time, by whichever connection is free.
void SendShare(uint16_t port, std::atomic<int>& next, int count, Client setup)
{
    TSMTPClient client;
    client.Host = "127.0.0.1";
    client.Port = port;
    client.UsePipelining = setup.pipelining;
    if (!setup.spin)
        client.ReadSpinMicroseconds = 0;
    TMailMessage message;
    message.ContentType = "text/plain";
    client.Connect();
    for (int n = next++; n < count; n = next++) {
        message.Sender = TEMailAddressItem("newsletter@example.org", "Newsletter");
        message.Recipients.SetAddressesText("recipient" + std::to_string(n) + "@example.org");
        message.Subject = "News for recipient " + std::to_string(n);
        message.Body = PersonalBody(n);
        client.Send(message);
    }
    client.Disconnect();
}

// Seconds for `count` messages shared by `connections` clients, each on a thread of its own.
std::optional<double> SendOurs(uint16_t port, int count, int connections, Client setup)
{
    const auto start = std::chrono::steady_clock::now();
    std::atomic<int> next{0};
    std::vector<std::thread> threads;
    for (int c = 0; c < connections; ++c)
        threads.emplace_back(SendShare, port, std::ref(next), count, setup);
    for (std::thread& thread : threads)
        thread.join();
    return Seconds(std::chrono::steady_clock::now() - start);
}

// One side's run: its rate, and per message the processor time (microseconds) and context
// switches of the sending side (our process or smtp-source) and of smtp-sink serving it.
struct Sample {
    double rate = 0;
    double senderCpu = 0;
    double sinkCpu = 0;
    double senderSwitches = 0;
    double sinkSwitches = 0;
};

struct Side {
    const char* name;
    std::vector<Sample> samples;
    double Median(double Sample::*field) const
    {
        std::vector<double> values;
        for (const Sample& sample : samples)
            values.push_back(sample.*field);
        return quillet::bench::Median(values);
    }
};

// Runs `send` (which returns its seconds, or nothing when it failed) and adds its sample.
template <typename Send>
bool Measure(Side& side, const SmtpSink& sink, int count, Send send)
{
    const double sinkCpu = ProcessCpuSeconds(sink.Pid());
    const long sinkSwitches = ProcessContextSwitches(sink.Pid());
    const Usage own = OwnUsage(RUSAGE_SELF);
    const Usage children = OwnUsage(RUSAGE_CHILDREN);
    const std::optional<double> seconds = send();
    if (!seconds)
        return false;
    const Usage ownAfter = OwnUsage(RUSAGE_SELF);
    const Usage childrenAfter = OwnUsage(RUSAGE_CHILDREN);
    Sample sample;
    sample.rate = count / *seconds;
    sample.senderCpu =
        (ownAfter.cpuSeconds - own.cpuSeconds + childrenAfter.cpuSeconds - children.cpuSeconds) * 1e6 / count;
    sample.sinkCpu = (ProcessCpuSeconds(sink.Pid()) - sinkCpu) * 1e6 / count;
    sample.senderSwitches = double(ownAfter.contextSwitches - own.contextSwitches + childrenAfter.contextSwitches -
                                   children.contextSwitches) /
                            count;
    sample.sinkSwitches = double(ProcessContextSwitches(sink.Pid()) - sinkSwitches) / count;
    side.samples.push_back(sample);
    return true;
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
    std::printf("load before: %s", LoadAverage().c_str());
    Side ours{"quillet SMTP client, pipelining", {}};
    Side sleeping{"  the same, sleeping at once", {}};
    Side plain{"quillet SMTP client, no pipelining", {}};
    Side theirs{"smtp-source -d", {}};
    std::vector<double> roundRatios, roundSleepingRatios, roundPlainRatios;
    auto source = [&] { return TimeSmtpSourceBatch(sink.Port(), count, 1024, connections); };
    auto client = [&](Client setup) { return [&, setup] { return SendOurs(sink.Port(), count, connections, setup); }; };
    for (int round = 0; round < rounds; ++round) {
        const bool ok = (round % 2 == 0 || Measure(theirs, sink, count, source)) &&
                        Measure(ours, sink, count, client({true, true})) &&
                        Measure(sleeping, sink, count, client({true, false})) &&
                        Measure(plain, sink, count, client({false, true})) &&
                        (round % 2 == 1 || Measure(theirs, sink, count, source));
        if (!ok) {
            std::printf("smtp-source failed\n");
            return 1;
        }
        const double theirRate = theirs.samples.back().rate;
        roundRatios.push_back(ours.samples.back().rate / theirRate);
        roundSleepingRatios.push_back(sleeping.samples.back().rate / theirRate);
        roundPlainRatios.push_back(plain.samples.back().rate / theirRate);
        std::printf("round %d: quillet pipelined %.0f msg/s (sleeping at once %.0f), not pipelined %.0f msg/s, "
                    "smtp-source %.0f msg/s (ratio %.2fx)\n",
                    round + 1, ours.samples.back().rate, sleeping.samples.back().rate, plain.samples.back().rate,
                    theirRate, roundRatios.back());
    }
    std::printf("load after: %s", LoadAverage().c_str());
    std::printf("%d messages of ~1 KB over %d connection(s), median of %d rounds:\n", count, connections, rounds);
    std::printf("  %-36s %8s %22s %22s\n", "", "msg/s", "CPU us/msg sender+sink", "switches/msg sender+sink");
    for (const Side* side : {&ours, &sleeping, &plain, &theirs})
        std::printf("  %-36s %8.0f %10.1f + %-10.1f %10.2f + %-10.2f\n", side->name, side->Median(&Sample::rate),
                    side->Median(&Sample::senderCpu), side->Median(&Sample::sinkCpu),
                    side->Median(&Sample::senderSwitches), side->Median(&Sample::sinkSwitches));
    const double theirRate = theirs.Median(&Sample::rate);
    std::printf("  ratio pipelining:                    %.2fx (target >= 1.5x)\n",
                ours.Median(&Sample::rate) / theirRate);
    std::printf("  ratio pipelining, sleeping at once:  %.2fx\n", sleeping.Median(&Sample::rate) / theirRate);
    std::printf("  ratio without pipelining:            %.2fx\n", plain.Median(&Sample::rate) / theirRate);
    std::printf("  median of the rounds' ratios:        %.2fx pipelining, %.2fx sleeping at once, %.2fx without\n",
                quillet::bench::Median(roundRatios), quillet::bench::Median(roundSleepingRatios),
                quillet::bench::Median(roundPlainRatios));
    return 0;
}
