#include "SuppressionAccess.h"

#include "Command.h"

#include "feedback/FeedbackTexts.h"
#include "transport/MessageTexts.h"

namespace quillet::cli {

SuppressionStore openSuppressionList()
{
    return SuppressionStore(SuppressionStore::DefaultPath());
}

std::string reasonOption(const QCommandLineParser& parser, const std::string& fallback)
{
    if (!parser.isSet("reason"))
        return fallback;
    const std::string reason = parser.value("reason").toStdString();
    if (!IsSuppressionReason(reason))
        throw UsageError(FormatText(kUnknownReason, {reason}));
    return reason;
}

} // namespace quillet::cli
