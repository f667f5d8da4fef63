// What TLS costs the SMTP client, each figure beside the same work in clear in the same run:
//   1. 10,000 personalised messages of about 1 KB on one connection, upgraded with STARTTLS,
//      beside the same with security "none" (target: TLS at least 0.7x plain);
//   2. one 100 MB attachment through STARTTLS beside the same in clear (target at least 0.5x),
//      each sent by a child process of its own so that its peak resident set size is its own
//      (flat memory: the TLS figure close to the plain one).
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

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>

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
    double megabytesPerSecond = 0;
    long peakRssKb = 0;
};

// One message with the file attached, sent by a child process: its speed and its peak memory.
AttachmentRun SendAttachmentInChild(const Peer& peer, ConnectionSecurity security, const fs::path& file,
                                    size_t megabytes)
{
    int result[2];
    if (::pipe(result) != 0)
        throw std::runtime_error("pipe failed");
    const pid_t child = ::fork();
    if (child == 0) {
        double speed = 0;
        try {
            TSMTPClient client;
            Aim(client, peer, security);
            TMailMessage message;
            FillAttachmentMessage(message, file);
            const auto start = std::chrono::steady_clock::now();
            client.Connect();
            client.Send(message);
            client.Disconnect();
            speed = static_cast<double>(megabytes) / Seconds(std::chrono::steady_clock::now() - start);
        } catch (const std::exception& error) {
            std::fprintf(stderr, "attachment run failed: %s\n", error.what());
        }
        [[maybe_unused]] const ssize_t written = ::write(result[1], &speed, sizeof speed);
        ::_exit(speed > 0 ? 0 : 1);
    }
    ::close(result[1]);
    AttachmentRun run;
    [[maybe_unused]] const ssize_t got = ::read(result[0], &run.megabytesPerSecond, sizeof run.megabytesPerSecond);
    ::close(result[0]);
    int status = 0;
    rusage usage{};
    ::wait4(child, &status, 0, &usage);
    run.peakRssKb = usage.ru_maxrss;
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

        std::vector<double> tls, plain;
        std::string protocol;
        for (int round = 0; round < rounds; ++round) {
            tls.push_back(SendMessages(peer, ConnectionSecurity::StartTls, count, &protocol));
            plain.push_back(SendMessages(peer, ConnectionSecurity::None, count));
            std::printf("round %d: STARTTLS %.0f msg/s, plain %.0f msg/s\n", round + 1, tls.back(), plain.back());
        }
        std::vector<double> tlsMb, plainMb;
        long tlsRss = 0, plainRss = 0;
        for (int round = 0; round < rounds; ++round) {
            const AttachmentRun overTls = SendAttachmentInChild(peer, ConnectionSecurity::StartTls, large, megabytes);
            const AttachmentRun inClear = SendAttachmentInChild(peer, ConnectionSecurity::None, large, megabytes);
            tlsMb.push_back(overTls.megabytesPerSecond);
            plainMb.push_back(inClear.megabytesPerSecond);
            tlsRss = std::max(tlsRss, overTls.peakRssKb);
            plainRss = std::max(plainRss, inClear.peakRssKb);
            std::printf("round %d: %zu MB attachment STARTTLS %.0f MB/s (peak RSS %ld KB), plain %.0f MB/s (peak RSS "
                        "%ld KB)\n",
                        round + 1, megabytes, tlsMb.back(), overTls.peakRssKb, plainMb.back(), inClear.peakRssKb);
        }

        std::printf("peer: in-process discarding SMTP sink on OpenSSL offering STARTTLS (%s)\n", protocol.c_str());
        std::printf("%d messages of ~1 KB on one connection, median of %d rounds:\n", count, rounds);
        std::printf("  STARTTLS: %.0f messages/s\n", Median(tls));
        std::printf("  plain:    %.0f messages/s\n", Median(plain));
        std::printf("  ratio:    %.2fx (target >= 0.70x)\n", Median(tls) / Median(plain));
        std::printf("one %zu MB attachment, median of %d rounds:\n", megabytes, rounds);
        std::printf("  STARTTLS: %.0f MB/s, peak RSS %ld KB\n", Median(tlsMb), tlsRss);
        std::printf("  plain:    %.0f MB/s, peak RSS %ld KB\n", Median(plainMb), plainRss);
        std::printf("  ratio:    %.2fx (target >= 0.50x); memory %+ld KB over plain\n", Median(tlsMb) / Median(plainMb),
                    tlsRss - plainRss);
    } catch (const std::exception& error) {
        std::printf("benchmark failed: %s\n", error.what());
        fs::remove_all(folder);
        return 1;
    }
    fs::remove_all(folder);
    return 0;
}
