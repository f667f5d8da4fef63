// What signing costs a mailing run.
//
// 1. The 10,000-recipient run of bench_mailing_run (five macros a message, the built-in route:
//    client and server in one process) signed with an Ed25519 key beside the same run unsigned,
//    in alternating rounds; the medians' ratio (signed / unsigned messages per second).
// 2. RSA-2048: a run over as many connections as the machine has processors (the default route
//    to the built-in server on 127.0.0.1, one thread a connection) signed with an RSA key, beside
//    `openssl speed -seconds 3 -multi N rsa2048`, the machine's own RSA signing rate with the same
//    number of processes, in the same rounds; the ratio of messages per second to signatures per
//    second.
//
// Usage: bench_dkim_signing [recipients] [rounds] [rsa-recipients]
#include "MailingRunSample.h"
#include "PeerProgram.h"

#include "mailing/MailingRun.h"
#include "server/SMTPServer.h"
#include "transport/DkimSigner.h"
#include "transport/MailMessage.h"
#include "transport/SMTPClient.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>

using namespace quillet;
using namespace quillet::bench;

namespace {

// Messages per second of one run; 0 when it went wrong.
double RunRate(MailingRunRequest request, const std::shared_ptr<const DkimSigner>& signer, std::size_t connections)
{
    TSMTPClient client;
    TMailMessage message;
    message.ContentType = "text/plain";
    message.Signer = signer;
    TSMTPServer server;
    std::atomic<std::size_t> received{0};
    server.OnReceiveRaw = [&received](TSMTPServerThread&, const ReceivedData&, const TEMailAddressList&, std::string&) {
        ++received;
    };
    const std::string port = std::to_string(FreeLoopbackPort());
    if (connections > 1) {
        // The default route to the built-in server started apart: the run's connections in parallel.
        server.DefaultPort = static_cast<std::uint16_t>(std::stoi(port));
        server.SetActive(true);
        request.route = SendRoute::Default;
        request.defaultServer.host = "127.0.0.1";
        request.defaultServer.port = port;
        request.defaultServer.sendFrom = "shop@example.org";
        request.connections = connections;
    } else {
        request.builtinServer.port = port;
    }
    MailingRun run(client, message, connections > 1 ? nullptr : &server);
    MailingRunHooks hooks;
    std::chrono::steady_clock::time_point completed;
    hooks.completed = [&completed](std::size_t) { completed = std::chrono::steady_clock::now(); };
    const auto start = std::chrono::steady_clock::now();
    const std::size_t sent = run.Run(request, hooks);
    if (connections > 1)
        server.SetActive(false);
    if (sent != request.recipients.size() || received != sent) {
        std::printf("the run sent %zu and the server received %zu of %zu\n", sent, received.load(),
                    request.recipients.size());
        return 0;
    }
    return double(sent) / Seconds(completed - start);
}

// The "sign/s" figure of `openssl speed -seconds 3 -multi N rsa2048`; 0 when it cannot be read.
double OpensslRsaSignRate(unsigned processes)
{
    const std::string command = "openssl speed -seconds 3 -multi " + std::to_string(processes) + " rsa2048 2>/dev/null";
    std::FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe)
        return 0;
    double rate = 0;
    char line[512];
    while (std::fgets(line, sizeof line, pipe)) {
        double sign = 0, verify = 0, signRate = 0;
        if (std::sscanf(line, "rsa 2048 bits %lfs %lfs %lf", &sign, &verify, &signRate) == 3)
            rate = signRate;
    }
    ::pclose(pipe);
    return rate;
}

} // namespace

int main(int argc, char** argv)
{
    const int count = argc > 1 ? std::atoi(argv[1]) : 10000;
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 5;
    const int rsaCount = argc > 3 ? std::atoi(argv[3]) : 2000;
    const unsigned processors = std::max(1u, std::thread::hardware_concurrency());

    const Project project = MakeProject(count);
    const MailDraft draft = MakeDraft();
    MailingRunRequest request;
    request.route = SendRoute::Builtin;
    request.project = &project;
    request.draft = &draft;
    request.builtinServer.sendFrom = "shop@example.org";
    for (int i = 0; i < count; ++i)
        request.recipients.push_back(std::size_t(i));
    MailingRunRequest rsaRequest = request;
    rsaRequest.recipients.resize(std::size_t(std::min(rsaCount, count)));

    const auto ed25519 =
        std::make_shared<const DkimSigner>(DkimKey::Generate(DkimAlgorithm::Ed25519Sha256), "bench", "example.org");
    const auto rsa =
        std::make_shared<const DkimSigner>(DkimKey::Generate(DkimAlgorithm::RsaSha256), "bench", "example.org");

    std::printf("load average: %s", LoadAverage().c_str());
    std::vector<double> unsignedRates, signedRates, edRatios, rsaRates, opensslRates, rsaRatios;
    for (int round = 1; round <= rounds; ++round) {
        const double plain = RunRate(request, nullptr, 1);
        const double signedRate = RunRate(request, ed25519, 1);
        const double rsaRate = RunRate(rsaRequest, rsa, processors);
        const double openssl = OpensslRsaSignRate(processors);
        if (plain <= 0 || signedRate <= 0 || rsaRate <= 0)
            return 1;
        unsignedRates.push_back(plain);
        signedRates.push_back(signedRate);
        edRatios.push_back(signedRate / plain);
        rsaRates.push_back(rsaRate);
        opensslRates.push_back(openssl);
        if (openssl > 0)
            rsaRatios.push_back(rsaRate / openssl);
        std::printf("round %d: unsigned %.0f/s, ed25519 %.0f/s (%.2fx); rsa-sha256 over %u connections %.1f/s, "
                    "openssl speed %.1f sign/s (%.2fx)\n",
                    round, plain, signedRate, signedRate / plain, processors, rsaRate, openssl,
                    openssl > 0 ? rsaRate / openssl : 0.0);
        std::fflush(stdout);
    }
    std::printf("median: %d recipients unsigned %.0f/s, signed with ed25519 %.0f/s: %.2fx (round ratios' median)\n",
                count, Median(unsignedRates), Median(signedRates), Median(edRatios));
    std::printf("median: rsa-sha256 2048 run over %u connections %.1f messages/s, openssl speed -multi %u "
                "%.1f sign/s: %.2fx\n",
                processors, Median(rsaRates), processors, Median(opensslRates), Median(rsaRatios));
    std::printf("load average: %s", LoadAverage().c_str());
    return 0;
}
