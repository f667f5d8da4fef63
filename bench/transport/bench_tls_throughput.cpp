// What TLS costs the SMTP client, each figure beside the same work in clear in the same run:
//   1. 10,000 personalised messages of about 1 KB on one connection, upgraded with STARTTLS,
//      beside the same with security "none" (target: TLS at least 0.7x plain);
//   2. one 100 MB attachment through STARTTLS beside the same in clear (target at least 0.5x),
//      each sent by a child process of its own so that its peak resident set size is its own
//      (flat memory: the TLS figure close to the plain one). Beside the whole run's figure (the
//      connect, the handshake and loading the trusted certificates included) stands the transfer's
//      alone (from the connection's greeting done to the message's reply), and the processor time
//      the client and the peer spent.
// The two sides of a figure run in turns, TLS first in odd rounds and plain first in even ones;
// the ratio of each round is printed, and the median of those ratios with their range and the
// machine's load average (other work on the machine moves single rounds a lot).
// The peer is DiscardingSmtpPeer with a TLS context: an in-process sink on OpenSSL that offers
// STARTTLS, answers every command at once and throws the message text away, so the figures are
// the client's (the peer's decryption shares the machine, as a real server's would not).
// Certificates are made at the start by tests/transport/peers/make_test_ca.sh (openssl); the
// client trusts them through its CA file.
//
// Usage: bench_tls_throughput [messages] [megabytes] [rounds]
#include "AttachmentMessage.h"
#include "DiscardingSmtpPeer.h"
#include "PeerProgram.h"
#include "PersonalBody.h"

#include "transport/MailMessage.h"
#include "transport/SMTPClient.h"

#include <sys/resource.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

using namespace quillet;
using namespace quillet::bench;
namespace fs = std::filesystem;

namespace {

struct Peer {
    uint16_t port;
    std::string caFile;
};

TSMTPClient& Aim(TSMTPClient& client, const Peer& peer, ConnectionSecurity security)
{
    client.Host = "127.0.0.1";
    client.Port = peer.port;
    client.Security = security;
    client.Trust.caFile = peer.caFile;
    return client;
}

// Messages per second for `count` personalised messages on one connection.
double SendMessages(const Peer& peer, ConnectionSecurity security, int count, std::string* protocol = nullptr)
{
    TSMTPClient client;
    Aim(client, peer, security);
    TMailMessage message;
    message.ContentType = "text/plain";
    message.Sender = TEMailAddressItem("newsletter@example.org", "Newsletter");
    const auto start = std::chrono::steady_clock::now();
    client.Connect();
    if (security == ConnectionSecurity::StartTls && !client.Tls())
        throw std::runtime_error("the connection did not start TLS");
    if (protocol && client.Tls())
        *protocol = client.Tls()->Protocol();
    for (int n = 0; n < count; ++n) {
        message.Recipients.SetAddressesText("recipient" + std::to_string(n) + "@example.org");
        message.Subject = "News for recipient " + std::to_string(n);
        message.Body = PersonalBody(n);
        client.Send(message);
    }
    client.Disconnect();
    return count / Seconds(std::chrono::steady_clock::now() - start);
}

struct AttachmentRun {
    double megabytesPerSecond = 0; // the whole run, connect included
    double transferPerSecond = 0;  // the message alone, on the connection made
    long peakRssKb = 0;
    double clientCpuMs = 0; // user and system time
    double peerCpuMs = 0;   // this process's own, the peer being its thread
};

double CpuMs(const rusage& usage)
{
    return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
}

// One message with the file attached, sent by a child process: its speed and its peak memory.
AttachmentRun SendAttachmentInChild(const Peer& peer, ConnectionSecurity security, const fs::path& file,
                                    size_t megabytes)
{
    int result[2];
    if (::pipe(result) != 0)
        throw std::runtime_error("pipe failed");
    const pid_t child = ::fork();
    if (child == 0) {
        double speed[2] = {0, 0};
        try {
            TSMTPClient client;
            Aim(client, peer, security);
            TMailMessage message;
            FillAttachmentMessage(message, file);
            const auto start = std::chrono::steady_clock::now();
            client.Connect();
            const auto connected = std::chrono::steady_clock::now();
            client.Send(message);
            const auto sent = std::chrono::steady_clock::now();
            client.Disconnect();
            speed[0] = static_cast<double>(megabytes) / Seconds(std::chrono::steady_clock::now() - start);
            speed[1] = static_cast<double>(megabytes) / Seconds(sent - connected);
        } catch (const std::exception& error) {
            std::fprintf(stderr, "attachment run failed: %s\n", error.what());
        }
        [[maybe_unused]] const ssize_t written = ::write(result[1], speed, sizeof speed);
        ::_exit(speed[0] > 0 ? 0 : 1);
    }
    ::close(result[1]);
    rusage before{};
    ::getrusage(RUSAGE_SELF, &before);
    AttachmentRun run;
    double speed[2] = {0, 0};
    [[maybe_unused]] const ssize_t got = ::read(result[0], speed, sizeof speed);
    ::close(result[0]);
    run.megabytesPerSecond = speed[0];
    run.transferPerSecond = speed[1];
    int status = 0;
    rusage usage{};
    ::wait4(child, &status, 0, &usage);
    run.peakRssKb = usage.ru_maxrss;
    rusage after{};
    ::getrusage(RUSAGE_SELF, &after);
    run.clientCpuMs = CpuMs(usage);
    run.peerCpuMs = CpuMs(after) - CpuMs(before);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        throw std::runtime_error("the attachment run failed");
    return run;
}

} // namespace

int main(int argc, char** argv)
{
    const int count = argc > 1 ? std::atoi(argv[1]) : 10000;
    const size_t megabytes = argc > 2 ? static_cast<size_t>(std::atoi(argv[2])) : 100;
    const int rounds = argc > 3 ? std::atoi(argv[3]) : 3;

    const fs::path folder = fs::temp_directory_path() / ("quillet-bench-tls-" + std::to_string(::getpid()));
    fs::create_directories(folder);
    const std::string script = std::string(QUILLET_SOURCE_DIR) + "/tests/transport/peers/make_test_ca.sh";
    if (std::system(("'" + script + "' '" + folder.string() + "'").c_str()) != 0) {
        std::printf("openssl could not make the certificates: nothing measured\n");
        fs::remove_all(folder);
        return 0;
    }
    const fs::path large = folder / ("attachment-" + std::to_string(megabytes) + "mb.bin");
    MakeFile(large, megabytes);

    try {
        DiscardingSmtpPeer sink(TlsContext::Server((folder / "server.pem").string(), (folder / "server.key").string()));
        const Peer peer{sink.Port(), (folder / "ca.pem").string()};

        const std::string loadBefore = LoadAverage();
        std::vector<double> tls, plain, messageRatios;
        std::string protocol;
        for (int round = 0; round < rounds; ++round) {
            if (round % 2 == 0) {
                tls.push_back(SendMessages(peer, ConnectionSecurity::StartTls, count, &protocol));
                plain.push_back(SendMessages(peer, ConnectionSecurity::None, count));
            } else {
                plain.push_back(SendMessages(peer, ConnectionSecurity::None, count));
                tls.push_back(SendMessages(peer, ConnectionSecurity::StartTls, count, &protocol));
            }
            messageRatios.push_back(tls.back() / plain.back());
            std::printf("round %d: STARTTLS %.0f msg/s, plain %.0f msg/s, ratio %.2fx\n", round + 1, tls.back(),
                        plain.back(), messageRatios.back());
        }
        std::vector<double> tlsMb, plainMb, tlsTransfer, plainTransfer, tlsCpu, plainCpu, ratios, transferRatios;
        long tlsRss = 0, plainRss = 0;
        for (int round = 0; round < rounds; ++round) {
            AttachmentRun overTls, inClear;
            if (round % 2 == 0) {
                overTls = SendAttachmentInChild(peer, ConnectionSecurity::StartTls, large, megabytes);
                inClear = SendAttachmentInChild(peer, ConnectionSecurity::None, large, megabytes);
            } else {
                inClear = SendAttachmentInChild(peer, ConnectionSecurity::None, large, megabytes);
                overTls = SendAttachmentInChild(peer, ConnectionSecurity::StartTls, large, megabytes);
            }
            ratios.push_back(overTls.megabytesPerSecond / inClear.megabytesPerSecond);
            transferRatios.push_back(overTls.transferPerSecond / inClear.transferPerSecond);
            tlsMb.push_back(overTls.megabytesPerSecond);
            plainMb.push_back(inClear.megabytesPerSecond);
            tlsTransfer.push_back(overTls.transferPerSecond);
            plainTransfer.push_back(inClear.transferPerSecond);
            tlsCpu.push_back(overTls.clientCpuMs + overTls.peerCpuMs);
            plainCpu.push_back(inClear.clientCpuMs + inClear.peerCpuMs);
            tlsRss = std::max(tlsRss, overTls.peakRssKb);
            plainRss = std::max(plainRss, inClear.peakRssKb);
            std::printf(
                "round %d: %zu MB attachment STARTTLS %.0f MB/s, transfer %.0f MB/s (peak RSS %ld KB, processor "
                "ms client %.0f, peer %.0f); plain %.0f MB/s, transfer %.0f MB/s (peak RSS %ld KB, processor ms "
                "client %.0f, peer %.0f); ratio %.2fx\n",
                round + 1, megabytes, tlsMb.back(), tlsTransfer.back(), overTls.peakRssKb, overTls.clientCpuMs,
                overTls.peerCpuMs, plainMb.back(), plainTransfer.back(), inClear.peakRssKb, inClear.clientCpuMs,
                inClear.peerCpuMs, ratios.back());
        }
        auto spread = [](const std::vector<double>& values) {
            char text[96];
            std::snprintf(text, sizeof text, "%.2fx (%.2f to %.2f)", Median(values),
                          *std::min_element(values.begin(), values.end()),
                          *std::max_element(values.begin(), values.end()));
            return std::string(text);
        };

        std::printf("peer: in-process discarding SMTP sink on OpenSSL offering STARTTLS (%s)\n", protocol.c_str());
        std::printf("%d messages of ~1 KB on one connection, median of %d rounds:\n", count, rounds);
        std::printf("  STARTTLS: %.0f messages/s\n", Median(tls));
        std::printf("  plain:    %.0f messages/s\n", Median(plain));
        std::printf("  ratio:    %.2fx (target >= 0.70x); median ratio of the rounds %s\n", Median(tls) / Median(plain),
                    spread(messageRatios).c_str());
        std::printf("one %zu MB attachment, median of %d rounds:\n", megabytes, rounds);
        std::printf("  STARTTLS: %.0f MB/s, peak RSS %ld KB\n", Median(tlsMb), tlsRss);
        std::printf("  plain:    %.0f MB/s, peak RSS %ld KB\n", Median(plainMb), plainRss);
        std::printf("  ratio:    %.2fx (target >= 0.50x); memory %+ld KB over plain\n", Median(tlsMb) / Median(plainMb),
                    tlsRss - plainRss);
        std::printf("  median ratio of the rounds %s\n", spread(ratios).c_str());
        std::printf(
            "  the transfer alone: STARTTLS %.0f MB/s, plain %.0f MB/s, ratio %.2fx; median ratio of the rounds "
            "%s\n",
            Median(tlsTransfer), Median(plainTransfer), Median(tlsTransfer) / Median(plainTransfer),
            spread(transferRatios).c_str());
        std::printf("  processor time, client and peer together: STARTTLS %.0f ms, plain %.0f ms\n", Median(tlsCpu),
                    Median(plainCpu));
        std::printf("load average before: %s", loadBefore.c_str());
        std::printf("load average after:  %s", LoadAverage().c_str());
    } catch (const std::exception& error) {
        std::printf("benchmark failed: %s\n", error.what());
        fs::remove_all(folder);
        return 1;
    }
    fs::remove_all(folder);
    return 0;
}
