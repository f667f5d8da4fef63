#include "DeliveryPolicy.h"

#include "transport/RFCReply.h"
#include "transport/TransportError.h"

#include <algorithm>
#include <array>
#include <utility>

namespace quillet {

namespace {

constexpr std::array<std::pair<RecipientStatus, std::string_view>, 6> kStatusNames{{
    {RecipientStatus::NotTried, "not_tried"},
    {RecipientStatus::Sent, "sent"},
    {RecipientStatus::Rejected, "rejected"},
    {RecipientStatus::Failed, "failed"},
    {RecipientStatus::Unknown, "unknown"},
    {RecipientStatus::Skipped, "skipped"},
}};

// "550 No such user" from a refused reply's message (its text lines, each ending in CR LF).
std::string ReplyLine(int code, const std::string& message)
{
    std::string text = std::to_string(code);
    std::size_t start = 0;
    while (start < message.size()) {
        std::size_t end = message.find('\n', start);
        if (end == std::string::npos)
            end = message.size();
        const std::string line = TrimText(std::string_view(message).substr(start, end - start));
        if (!line.empty())
            text += " " + line;
        start = end + 1;
    }
    return text;
}

} // namespace

std::string_view StatusName(RecipientStatus status)
{
    for (const auto& [value, name] : kStatusNames)
        if (value == status)
            return name;
    return "not_tried";
}

std::optional<RecipientStatus> StatusFromName(std::string_view name)
{
    for (const auto& [value, known] : kStatusNames)
        if (known == name)
            return value;
    return std::nullopt;
}

ClassifiedFailure ClassifyFailure(std::exception_ptr failure, bool dataEnded)
{
    ClassifiedFailure result;
    try {
        std::rethrow_exception(failure);
    } catch (const EProtocolReplyError& e) {
        // The server answered: its code decides, also for the reply to the final dot.
        result.reply = ReplyLine(e.code(), e.what());
        result.kind = e.code() >= 400 && e.code() < 500 ? FailureKind::Temporary : FailureKind::Permanent;
        result.connectionLost = e.code() == 421;
    } catch (const EFileOpenError& e) {
        result.reply = e.what();
    } catch (const EMessageTooLarge& e) {
        // Refused before any of it was sent, by the server's announced limit.
        result.reply = e.what();
        result.kind = FailureKind::Permanent;
    } catch (const EServerCapabilityMissing& e) {
        // The server lacks what the settings require (TLS, a login that keeps the password
        // safe): no attempt would go otherwise, for any recipient.
        result.reply = e.what();
    } catch (const ETransportError& e) {
        // The connection failed (lost, refused, timed out, garbled): before the final dot nothing
        // was delivered; after it nobody can tell.
        result.reply = e.what();
        result.kind = dataEnded ? FailureKind::Unknown : FailureKind::Temporary;
        result.connectionLost = true;
    } catch (const std::exception& e) {
        result.reply = e.what();
    } catch (...) {
        result.reply = "Unknown error";
    }
    return result;
}

std::chrono::milliseconds RetryWait(const DeliveryOptions& options, int attempt)
{
    std::chrono::milliseconds wait = options.firstRetryWait;
    for (int i = 1; i < attempt && wait < kMaxRetryWait; ++i)
        wait *= kRetryWaitFactor;
    return std::min(wait, kMaxRetryWait);
}

} // namespace quillet
