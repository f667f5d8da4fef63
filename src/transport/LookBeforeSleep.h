// Looking for a peer's bytes for a moment before a thread sleeps until they come. A peer on the
// same machine mostly answers within a few tens of microseconds; a thread that has not slept
// needs no wake-up, and on a busy machine the sleep and the wake-up cost both sides more than the
// looks. Once a sleep lasted beyond `quickSleep` (a peer far away, or one that pauses), the next
// wait sleeps at once, so such peers cost no looks; a quick sleep brings the looks back.
#pragma once

#include <chrono>
#include <sched.h>

namespace quillet {

class LookBeforeSleep {
public:
    using Clock = std::chrono::steady_clock;

    LookBeforeSleep(std::chrono::microseconds span, std::chrono::microseconds quickSleep)
        : span_(span), quickSleep_(quickSleep)
    {
    }

    void SetSpans(std::chrono::microseconds span, std::chrono::microseconds quickSleep)
    {
        span_ = span;
        quickSleep_ = quickSleep;
    }
    // Looks again from the next wait on (a new peer).
    void Reset() { looking_ = true; }

    // Calls `found` until it returns true (then true) or the span has passed (then false),
    // giving the processor to other threads between calls; false at once when there is no span
    // or the last sleep was long.
    template <typename Found>
    bool Look(Found&& found)
    {
        if (span_.count() <= 0 || !looking_)
            return false;
        const Clock::time_point end = Clock::now() + span_;
        do {
            if (found())
                return true;
            ::sched_yield();
        } while (Clock::now() < end);
        return false;
    }

    // Notes a sleep that began at `start` and has just ended.
    void Slept(Clock::time_point start) { looking_ = Clock::now() - start <= quickSleep_; }

private:
    std::chrono::microseconds span_;
    std::chrono::microseconds quickSleep_;
    bool looking_ = true;
};

} // namespace quillet
