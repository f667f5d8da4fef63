// Hands the recipients of a run with parallel connections to its connections, in the list's
// order. Each recipient (by its position in the run) belongs to one queue: the default route has
// one queue that all its connections share; the rotating route has one queue per server, its
// recipients those the rotation gives that server, shared by that server's connections. Each
// position is handed out exactly once. Once closed (a stop, or an error that ends the run),
// nothing more is handed out. Safe to use from every connection's thread at once.
#pragma once

#include <cstddef>
#include <mutex>
#include <optional>
#include <vector>

namespace quillet {

class RecipientDispenser {
public:
    // queueOfPosition[k] is the queue of position k; `queues` queues in all.
    RecipientDispenser(const std::vector<std::size_t>& queueOfPosition, std::size_t queues);

    // The next position of the queue in the list's order, or nothing when the queue is empty or
    // the dispenser is closed.
    std::optional<std::size_t> Next(std::size_t queue);
    void Close();
    // Positions not handed out (yet).
    std::size_t Remaining() const;

private:
    mutable std::mutex mutex_;
    std::vector<std::vector<std::size_t>> queues_;
    std::vector<std::size_t> next_; // per queue: index of the next position to hand out
    std::size_t remaining_ = 0;
    bool closed_ = false;
};

} // namespace quillet
