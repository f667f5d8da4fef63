// The pace of a run as its status shows it: messages per second so far and the time left. The
// time left counts the remaining messages at the pace so far, and never less than the rate limit
// allows (a limited run that started fast does not promise to end sooner than it can).
#pragma once

#include "SendThrottle.h"

#include <chrono>
#include <cstddef>
#include <string>

namespace quillet {

struct PaceFigures {
    double perSecond = 0;
    std::chrono::seconds left{0};
    bool known = false; // false until a message has been counted
};

class RunPace {
public:
    using Clock = std::chrono::steady_clock;

    RunPace(SendRate rate, Clock::time_point start) : rate_(std::move(rate)), start_(start) {}

    PaceFigures At(std::size_t done, std::size_t total, Clock::time_point now) const;

private:
    SendRate rate_;
    Clock::time_point start_;
};

// "12.5/s, 2:41 left" (hours as "1:02:41"); empty while the pace is not known.
std::string PaceText(const PaceFigures& pace);

} // namespace quillet
