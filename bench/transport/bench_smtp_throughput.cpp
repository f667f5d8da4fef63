// Throughput of the SMTP client: 10,000 personalised messages of about 1 KB over one connection
// to Postfix's smtp-sink, beside Postfix's smtp-source sending the same count and size to the
// same smtp-sink over one connection. The two alternate for several rounds; medians are compared.
//
// Usage: bench_smtp_throughput [messages] [rounds]
#include "PeerProgram.h"

#include "transport/MailMessage.h"
#include "transport/SMTPClient.h"

#include <cstdio>
#include <cstdlib>

using namespace quillet;
using namespace quillet::bench;

namespace {

// A body of about 1 KB, personalised with the recipient's number.
std::vector<std::string> PersonalBody(int n)
{
    std::vector<std::string> body;
    body.push_back("Dear Recipient " + std::to_string(n) + ",");
    body.push_back("");
    size_t size = 0;
    while (size < 1024 - 80) {
        body.push_back("This line of the newsletter is the same for everyone, the greeting above is not.");
        size += body.back().size() + 2;
    }
    body.push_back("Your number is " + std::to_string(n) + ".");
    return body;
}

double SendOurs(uint16_t port, int count)
{
    TSMTPClient client;
    client.Host = "127.0.0.1";
    client.Port = port;
    TMailMessage message;
    message.ContentType = "text/plain";
    const auto start = std::chrono::steady_clock::now();
    client.Connect();
    for (int n = 0; n < count; ++n) {
        message.Sender = TEMailAddressItem("newsletter@example.org", "Newsletter");
        message.Recipients.SetAddressesText("recipient" + std::to_string(n) + "@example.org");
        message.Subject = "News for recipient " + std::to_string(n);
        message.Body = PersonalBody(n);
        client.Send(message);
    }
    client.Disconnect();
    return Seconds(std::chrono::steady_clock::now() - start);
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
    SmtpSink sink;
    if (!sink.Running()) {
        std::printf("smtp-sink did not start\n");
        return 1;
    }
    std::vector<double> ours, theirs;
    for (int round = 0; round < rounds; ++round) {
        const double ourSeconds = SendOurs(sink.Port(), count);
        const auto sourceSeconds = TimeSmtpSourceBatch(sink.Port(), count, 1024);
        if (!sourceSeconds) {
            std::printf("smtp-source failed\n");
            return 1;
        }
        ours.push_back(count / ourSeconds);
        theirs.push_back(count / *sourceSeconds);
        std::printf("round %d: quillet %.0f msg/s, smtp-source %.0f msg/s\n", round + 1, ours.back(), theirs.back());
    }
    const double ourMedian = Median(ours);
    const double theirMedian = Median(theirs);
    std::printf("%d messages of ~1 KB over one connection, median of %d rounds:\n", count, rounds);
    std::printf("  quillet SMTP client: %.0f messages/s\n", ourMedian);
    std::printf("  smtp-source:         %.0f messages/s\n", theirMedian);
    std::printf("  ratio:               %.2fx (target >= 0.80x)\n", ourMedian / theirMedian);
    return 0;
}
