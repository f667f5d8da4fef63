#include "SendThrottle.h"

#include <charconv>

namespace quillet {

std::chrono::nanoseconds SendRate::Interval() const
{
    if (!Limited())
        return std::chrono::nanoseconds::zero();
    return std::chrono::duration_cast<std::chrono::nanoseconds>(period) / static_cast<std::int64_t>(messages);
}

std::optional<SendRate> ParseSendRate(std::string_view text)
{
    const auto slash = text.find('/');
    if (slash == std::string_view::npos || slash == 0)
        return std::nullopt;
    std::size_t messages = 0;
    const char* first = text.data();
    const auto [end, error] = std::from_chars(first, first + slash, messages);
    // A billion messages a second is no limit worth the name; larger numbers are refused.
    if (error != std::errc() || end != first + slash || messages == 0 || messages > 1'000'000'000)
        return std::nullopt;
    const std::string_view unit = text.substr(slash + 1);
    SendRate rate;
    if (unit == "s")
        rate.period = std::chrono::seconds(1);
    else if (unit == "min")
        rate.period = std::chrono::minutes(1);
    else if (unit == "h")
        rate.period = std::chrono::hours(1);
    else
        return std::nullopt;
    rate.messages = messages;
    rate.text = std::string(text);
    return rate;
}

SendThrottle::Clock::duration SendThrottle::WaitBefore(int server, Clock::time_point now) const
{
    const auto it = nextStart_.find(server);
    if (!rate_.Limited() || it == nextStart_.end() || it->second <= now)
        return Clock::duration::zero();
    return it->second - now;
}

void SendThrottle::Started(int server, Clock::time_point now)
{
    if (!rate_.Limited())
        return;
    // Never sooner than one interval after this start, however late this one came.
    nextStart_[server] = now + std::chrono::duration_cast<Clock::duration>(rate_.Interval());
}

} // namespace quillet
