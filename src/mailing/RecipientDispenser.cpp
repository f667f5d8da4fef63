#include "RecipientDispenser.h"

#include <stdexcept>

namespace quillet {

RecipientDispenser::RecipientDispenser(const std::vector<std::size_t>& queueOfPosition, std::size_t queues)
    : queues_(queues), next_(queues, 0), remaining_(queueOfPosition.size())
{
    for (std::size_t k = 0; k < queueOfPosition.size(); ++k)
        queues_.at(queueOfPosition[k]).push_back(k);
}

std::optional<std::size_t> RecipientDispenser::Next(std::size_t queue)
{
    std::lock_guard lock(mutex_);
    if (closed_ || queue >= queues_.size() || next_[queue] >= queues_[queue].size())
        return std::nullopt;
    --remaining_;
    return queues_[queue][next_[queue]++];
}

void RecipientDispenser::Close()
{
    std::lock_guard lock(mutex_);
    closed_ = true;
}

std::size_t RecipientDispenser::Remaining() const
{
    std::lock_guard lock(mutex_);
    return remaining_;
}

} // namespace quillet
