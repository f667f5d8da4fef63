// A request to stop, raised from anywhere (another thread, a signal handler, the user interface
// hook) and seen by every network wait of the connections it is given to: a wait that sees it
// closes its connection and raises EStopped at once instead of waiting on.
#pragma once

#include "project/FileDescriptor.h"

#include <atomic>

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
    // Readable once the stop is requested: a wait polls it beside its socket.
    int Fd() const { return event_.get(); }

private:
    std::atomic<bool> requested_{false};
    FileDescriptor event_;
};

} // namespace quillet
