// Where a mailing run reports each recipient's fate as it happens (the run journal is the one
// kept on disk), and the counts of a run's outcomes.
#pragma once

#include "DeliveryPolicy.h"

#include <cstddef>
#include <string_view>

namespace quillet {

struct RunCounts {
    std::size_t total = 0;
    std::size_t sent = 0;
    std::size_t rejected = 0;
    std::size_t failed = 0;
    std::size_t unknown = 0;
    std::size_t skipped = 0;
    std::size_t invalid = 0; // of the skipped: their address is no mailbox
    std::size_t notTried = 0;

    void Add(RecipientStatus status)
    {
        switch (status) {
        case RecipientStatus::Sent: ++sent; break;
        case RecipientStatus::Rejected: ++rejected; break;
        case RecipientStatus::Failed: ++failed; break;
        case RecipientStatus::Unknown: ++unknown; break;
        case RecipientStatus::Skipped: ++skipped; break;
        case RecipientStatus::NotTried: ++notTried; break;
        }
    }
    // Rejected, failed and unknown together: the recipients that did not get their message.
    std::size_t Failures() const { return rejected + failed + unknown; }
};

// Positions are those of the run's selection as first recorded (a resumed run keeps them).
class DeliveryRecorder {
public:
    virtual ~DeliveryRecorder() = default;
    // The message's data is about to be ended: from here on its fate may be unknown.
    virtual void Pending(std::size_t position, std::string_view email) = 0;
    // The recipient's outcome after `attempts` tries; reply is the server's reply or the error.
    virtual void Outcome(std::size_t position, std::string_view email, RecipientStatus status, std::string_view reply,
                         int attempts) = 0;
    // The run has ended: "completed", "stopped" or "error" (with its text).
    virtual void Ended(std::string_view ending, std::string_view error) = 0;
    // The run is about to wait: what was recorded should reach the disk now.
    virtual void Flush() = 0;
};

} // namespace quillet
