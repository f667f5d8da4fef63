#include "ConnectionShare.h"

#include <chrono>

namespace quillet {

namespace {

// How often a lane waiting for the others' openings asks whether the run was stopped.
constexpr std::chrono::milliseconds kSettleSlice{100};

} // namespace

void ConnectionShare::Opening()
{
    std::lock_guard lock(mutex_);
    ++opening_;
}

void ConnectionShare::Opened(bool held)
{
    {
        std::lock_guard lock(mutex_);
        --opening_;
        held_ += held ? 1 : 0;
    }
    settled_.notify_all();
}

void ConnectionShare::Closed()
{
    std::lock_guard lock(mutex_);
    --held_;
}

bool ConnectionShare::OthersHoldOne(const std::function<bool()>& stopped)
{
    std::unique_lock lock(mutex_);
    while (!settled_.wait_for(lock, kSettleSlice, [this] { return opening_ == 0 || held_ > 0; }))
        if (stopped())
            break;
    return held_ > 0;
}

void ConnectionShare::Note(std::string text)
{
    std::lock_guard lock(mutex_);
    if (noted_)
        return;
    noted_ = true;
    note_ = std::move(text);
}

std::optional<std::string> ConnectionShare::TakeNote()
{
    std::lock_guard lock(mutex_);
    std::optional<std::string> note = std::move(note_);
    note_.reset();
    return note;
}

} // namespace quillet
