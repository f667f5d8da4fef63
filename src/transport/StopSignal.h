// A request to stop, raised from anywhere (another thread, a signal handler, the user interface
// hook) and seen by every network wait of the connections it is given to: a wait that sees it
// closes its connection and raises EStopped at once instead of waiting on.
#pragma once

#include "project/FileDescriptor.h"

#include <atomic>
#include <chrono>
#include <cstdint>

namespace quillet {

class StopSignal {
public:
    // Raises std::system_error when the system has no event descriptor left.
    StopSignal();
    StopSignal(const StopSignal&) = delete;
    StopSignal& operator=(const StopSignal&) = delete;

    // Safe from any thread and from a signal handler.
    void Request() noexcept;
    bool Requested() const noexcept { return requested_.load(std::memory_order_acquire); }
    // When the first request came (meaningful once Requested()).
    std::chrono::steady_clock::time_point RequestedAt() const noexcept
    {
        return std::chrono::steady_clock::time_point(std::chrono::steady_clock::duration(requestedAt_.load()));
    }
    // Readable once the stop is requested: a wait polls it beside its socket.
    int Fd() const { return event_.get(); }

private:
    std::atomic<bool> requested_{false};
    std::atomic<std::int64_t> requestedAt_{0}; // steady clock ticks of the first request
    FileDescriptor event_;
};

} // namespace quillet
