#include "LargerRunOptions.h"

#include "Command.h"
#include "MailingCommandTexts.h"
#include "RunReport.h"
#include "Terminal.h"

#include "mailing/MailingTexts.h"

#include <cmath>

namespace quillet::cli {

namespace {

// The most tries of one message the command line accepts.
constexpr int kMaxRetries = 100;

int numberOption(const QCommandLineParser& parser, const char* name, int min, int max)
{
    bool ok = false;
    const int value = parser.value(name).toInt(&ok);
    if (!ok || value < min || value > max)
        throw UsageError(texts::fill(texts::kBadNumberOption, std::string("--") + name));
    return value;
}

} // namespace

void addLargerRunOptions(QCommandLineParser& parser)
{
    parser.addOption({"on-error",
                      "stop (default): the first failure ends the run; skip: a recipient's failure is "
                      "recorded and the run goes on.",
                      "stop|skip"});
    parser.addOption({"retries",
                      "Try a temporarily failed message (4xx, lost connection) N more times, with "
                      "growing waits (default 0; 2 with --on-error skip).",
                      "N"});
    parser.addOption({"retry-wait",
                      "Seconds before the first retry; each further wait is three times longer "
                      "(default 30).",
                      "SECONDS"});
    parser.addOption({"rate",
                      "Never more than N messages a second, minute or hour (per server in the rotating "
                      "route).",
                      "N/s|N/min|N/h"});
    parser.addOption({"max-per-connection", "Reconnect after N messages.", "N"});
    parser.addOption({"connections", "Parallel connections per server (default 1).", "N"});
    parser.addOption({"skip-disabled", "Send nothing to disabled recipients."});
    parser.addOption({"resume", "Send the rest of run ID: only to its recipients not yet sent.", "ID"});
    parser.addOption({"resend-unknown", "With --resume: also to the recipients whose outcome is unknown."});
}

void applyLargerRunOptions(const QCommandLineParser& parser, MailingRunRequest& request, const RunDescription* journal)
{
    DeliveryOptions& delivery = request.delivery;
    if (journal) {
        delivery = journal->options;
        if (!journal->rate.empty())
            request.rate = ParseSendRate(journal->rate).value_or(SendRate{});
    }
    if (parser.isSet("on-error")) {
        const QString value = parser.value("on-error");
        if (value != "stop" && value != "skip")
            throw UsageError(texts::kBadOnError);
        delivery.onError = value == "skip" ? OnError::Skip : OnError::Stop;
        if (!parser.isSet("retries") && delivery.onError == OnError::Skip)
            delivery.attempts = kDefaultSkipAttempts;
    }
    if (parser.isSet("retries"))
        delivery.attempts = 1 + numberOption(parser, "retries", 0, kMaxRetries);
    if (parser.isSet("retry-wait")) {
        bool ok = false;
        const double seconds = parser.value("retry-wait").toDouble(&ok);
        if (!ok || !std::isfinite(seconds) || seconds < 0 || seconds * 1000 > double(kMaxRetryWait.count()))
            throw UsageError(texts::fill(texts::kBadNumberOption, "--retry-wait"));
        delivery.firstRetryWait = std::chrono::milliseconds(std::llround(seconds * 1000));
    }
    if (parser.isSet("rate")) {
        const auto rate = ParseSendRate(parser.value("rate").toStdString());
        if (!rate)
            throw UsageError(texts::kBadRate);
        request.rate = *rate;
    }
    if (parser.isSet("max-per-connection"))
        delivery.maxPerConnection = std::size_t(numberOption(parser, "max-per-connection", 1, 1'000'000'000));
    if (parser.isSet("connections"))
        request.connections =
            std::size_t(numberOption(parser, "connections", 1, static_cast<int>(MailingRun::kMaxConnections)));
    if (parser.isSet("skip-disabled"))
        delivery.skipDisabled = true;
    if (parser.isSet("resend-unknown") && !parser.isSet("resume"))
        throw UsageError(texts::kResendUnknownNeedsResume);
}

int reportRunEnding(const RunCounts& counts, const std::string& runId, bool interrupted, LeftOut leftOut,
                    const std::vector<std::string>& invalid)
{
    if (interrupted) {
        printOut(texts::fill(texts::kStopped, std::to_string(counts.sent), std::to_string(counts.total)) + "\n");
        return kExitInterrupted;
    }
    if (counts.Failures() > 0 || counts.invalid > 0 || leftOut.any()) {
        std::string summary = CountsText(counts);
        if (leftOut.unknown)
            summary += texts::fill(texts::kLeftOutUnknown, std::to_string(leftOut.unknown));
        if (leftOut.removed)
            summary += texts::fill(texts::kLeftOutRemoved, std::to_string(leftOut.removed));
        if (!invalid.empty()) {
            std::string names;
            for (const std::string& address : invalid)
                names += (names.empty() ? "" : ", ") + address;
            summary += texts::fill(texts::kLeftOutInvalid, names);
        }
        printErr(texts::fill(texts::kRunSummary, summary, runId) + "\n");
        return kExitRecipientsFailed;
    }
    printOut(std::string(kMailSendingComplete) + "\n");
    return 0;
}

} // namespace quillet::cli
