// The pace of a mailing run: never more than N messages in any period of the chosen length
// (per server in the rotating route, whose servers each keep their own limit). Messages are
// spaced evenly, one every period / N, so no burst at the start of a period can trip a
// provider's limit either.
#pragma once

#include <chrono>
#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace quillet {

struct SendRate {
    std::size_t messages = 0; // 0: no limit
    std::chrono::milliseconds period{0};
    std::string text; // as typed, e.g. "120/min"

    bool Limited() const { return messages > 0; }
    // The time between the starts of two messages through one server.
    std::chrono::nanoseconds Interval() const;
};

// "N/s", "N/min" or "N/h" (N a whole number from 1); nothing for any other text.
std::optional<SendRate> ParseSendRate(std::string_view text);

class SendThrottle {
public:
    using Clock = std::chrono::steady_clock;

    explicit SendThrottle(SendRate rate) : rate_(std::move(rate)) {}

    // How long the next message through the server must wait before it may start (zero when it
    // may start now).
    Clock::duration WaitBefore(int server, Clock::time_point now) const;
    // A message through the server starts now.
    void Started(int server, Clock::time_point now);

private:
    SendRate rate_;
    std::map<int, Clock::time_point> nextStart_;
};

} // namespace quillet
