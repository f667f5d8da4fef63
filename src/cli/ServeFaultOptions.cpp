#include "ServeFaultOptions.h"

#include "Command.h"

#include "mailing/SendThrottle.h"
#include "server/SMTPServer.h"

#include <atomic>
#include <chrono>
#include <deque>
#include <memory>
#include <mutex>
#include <random>
#include <regex>

namespace quillet::cli {

namespace {

// The longest reply delay accepted: a minute is already far beyond any client's patience.
constexpr int kMaxReplyDelayMs = 60'000;

constexpr const char* kRejectedReply = "550 5.1.1 <%1>: Recipient address rejected";
constexpr const char* kTempFailReply = "451 4.3.0 <%1>: Temporary failure, try again later";
constexpr const char* kRateReply = "421 4.7.0 Too many messages, closing connection";

std::string withAddress(const char* pattern, const std::string& address)
{
    std::string text = pattern;
    text.replace(text.find("%1"), 2, address);
    return text;
}

long long wholeNumber(const QCommandLineParser& parser, const char* name, long long min, long long max)
{
    bool ok = false;
    const long long value = parser.value(name).toLongLong(&ok);
    if (!ok || value < min || value > max)
        throw UsageError(std::string("--") + name + " takes a whole number from " + std::to_string(min) + " to " +
                         std::to_string(max));
    return value;
}

// Which RCPT commands fail for the time being: every N-th, or each with a probability.
struct TempFailure {
    long long every = 0;
    double rate = 0;
    std::atomic<long long> count{0};
    std::mutex lock;
    std::mt19937 random{std::random_device{}()};

    bool Now()
    {
        const long long n = ++count;
        if (every > 0 && n % every == 0)
            return true;
        if (rate <= 0)
            return false;
        std::lock_guard guard(lock);
        return std::uniform_real_distribution<double>(0, 1)(random) < rate;
    }
};

// The starts of the messages within the last second, over all connections.
struct RateWindow {
    std::size_t limit = 0;
    std::mutex lock;
    std::deque<std::chrono::steady_clock::time_point> starts;

    bool Admit()
    {
        const auto now = std::chrono::steady_clock::now();
        std::lock_guard guard(lock);
        while (!starts.empty() && now - starts.front() >= std::chrono::seconds(1))
            starts.pop_front();
        if (starts.size() >= limit)
            return false;
        starts.push_back(now);
        return true;
    }
};

} // namespace

void addServeFaultOptions(QCommandLineParser& parser)
{
    parser.addOption({"reject-rcpt", "Fault: 550 to recipients whose address matches.", "REGEX"});
    parser.addOption({"tempfail-every", "Fault: 451 to every N-th recipient.", "N"});
    parser.addOption({"tempfail-rate", "Fault: 451 to each recipient with probability P (0 to 1).", "P"});
    parser.addOption({"disconnect-after", "Fault: close a connection after N messages.", "N"});
    parser.addOption({"delay-ms", "Fault: wait N milliseconds before every reply.", "N"});
    parser.addOption({"no-greeting", "Fault: never greet."});
    parser.addOption({"max-rate", "Fault: 421 and close once more than N messages a second begin.", "N/s"});
}

void applyServeFaultOptions(const QCommandLineParser& parser, TSMTPServer& server)
{
    ServerFaults& faults = server.Faults;
    if (parser.isSet("delay-ms"))
        faults.replyDelay = std::chrono::milliseconds(wholeNumber(parser, "delay-ms", 0, kMaxReplyDelayMs));
    faults.noGreeting = parser.isSet("no-greeting");
    if (parser.isSet("disconnect-after"))
        faults.disconnectAfter = std::size_t(wholeNumber(parser, "disconnect-after", 1, 1'000'000'000));
    if (parser.isSet("max-rate")) {
        const auto rate = ParseSendRate(parser.value("max-rate").toStdString());
        if (!rate || rate->period != std::chrono::seconds(1))
            throw UsageError("--max-rate takes N/s with a whole number N from 1");
        auto window = std::make_shared<RateWindow>();
        window->limit = rate->messages;
        faults.refuseMail = [window] { return window->Admit() ? std::string() : std::string(kRateReply); };
    }

    std::optional<std::regex> reject;
    if (parser.isSet("reject-rcpt")) {
        try {
            reject.emplace(parser.value("reject-rcpt").toStdString(), std::regex::ECMAScript);
        } catch (const std::regex_error& error) {
            throw UsageError("--reject-rcpt: " + std::string(error.what()));
        }
    }
    auto tempFailure = std::make_shared<TempFailure>();
    if (parser.isSet("tempfail-every"))
        tempFailure->every = wholeNumber(parser, "tempfail-every", 1, 1'000'000'000);
    if (parser.isSet("tempfail-rate")) {
        bool ok = false;
        tempFailure->rate = parser.value("tempfail-rate").toDouble(&ok);
        if (!ok || !(tempFailure->rate >= 0 && tempFailure->rate <= 1))
            throw UsageError("--tempfail-rate takes a probability from 0 to 1");
    }
    if (!reject && tempFailure->every == 0 && tempFailure->rate == 0)
        return;
    server.OnCommandRCPT = [next = server.OnCommandRCPT, reject,
                            tempFailure](TSMTPServerThread& session, bool& accept, bool& forward,
                                         const TEMailAddressItem& address, std::string& customError) {
        if (reject && std::regex_search(address.Address, *reject)) {
            customError = withAddress(kRejectedReply, address.Address);
            return;
        }
        if (tempFailure->Now()) {
            customError = withAddress(kTempFailReply, address.Address);
            return;
        }
        if (next)
            next(session, accept, forward, address, customError);
        else
            accept = true;
    };
}

} // namespace quillet::cli
