#include "RunReport.h"

#include "MailingTexts.h"

namespace quillet {

std::string ServerPlaceText(const RunServerPlace& place)
{
    std::string text = formatMessage(kRunServerPlace, {place.host, std::to_string(place.port)});
    switch (place.kind) {
    case RunServerPlace::Kind::Builtin: text += formatMessage(kRunServerNote, {kRunBuiltinServer}); break;
    case RunServerPlace::Kind::Account: {
        const std::string row = std::to_string(place.accountRow + 1);
        text += formatMessage(kRunServerNote, {place.accountUser.empty()
                                                   ? formatMessage(kRunAccount, {row})
                                                   : formatMessage(kRunAccountWithUser, {row, place.accountUser})});
        break;
    }
    case RunServerPlace::Kind::DefaultServer:
        if (place.rotating)
            text += formatMessage(kRunServerNote, {kRunDefaultServer});
        break;
    }
    return text;
}

std::string MessagesSentText(const MailingRunReport& report)
{
    return formatMessage(kRunMessagesSent, {std::to_string(report.sent), std::to_string(report.total)});
}

std::string SkipsAndFailuresText(const RunCounts& counts)
{
    return formatMessage(kRunSkipsAndFailures, {std::to_string(counts.skipped), std::to_string(counts.Failures())});
}

std::string RunFailureText(const MailingRunReport& report)
{
    std::string text;
    if (report.server)
        text += "\n" + ServerPlaceText(*report.server);
    if (!report.started)
        return text;
    text += "\n" + MessagesSentText(report);
    if (!report.failedRecipient.empty())
        text += "\n" + formatMessage(kRunFailedRecipient, {report.failedRecipient});
    return text;
}

} // namespace quillet
