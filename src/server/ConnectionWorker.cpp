#include "ConnectionWorker.h"

#include "transport/SocketError.h"

#include <cerrno>
#include <cstdint>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace quillet {

namespace {

// Ready sockets taken from the kernel in one wait.
constexpr int EventsPerWait = 64;

} // namespace

TConnectionWorker::TConnectionWorker()
    : epoll_(::epoll_create1(EPOLL_CLOEXEC)), wake_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK))
{
    if (!epoll_.Allocated() || !wake_.Allocated())
        RaiseSocketError(SocketErrorFromErrno(errno));
    epoll_event event{};
    event.events = EPOLLIN;
    event.data.ptr = nullptr; // the wake-up descriptor
    if (::epoll_ctl(epoll_.Get(), EPOLL_CTL_ADD, wake_.Get(), &event) != 0)
        RaiseSocketError(SocketErrorFromErrno(errno));
    thread_ = std::thread([this] { Loop(); });
}

TConnectionWorker::~TConnectionWorker()
{
    Stop();
    Join();
}

void TConnectionWorker::Add(std::unique_ptr<TPeerThread> thread)
{
    bool wasEmpty;
    {
        std::lock_guard guard(lock_);
        wasEmpty = incoming_.empty();
        incoming_.push_back(std::move(thread));
    }
    // The worker takes every waiting connection at each wake-up, so only the first needs one.
    if (wasEmpty)
        Wake();
}

void TConnectionWorker::Stop()
{
    stopping_ = true;
    Wake();
}

void TConnectionWorker::Join()
{
    if (thread_.joinable())
        thread_.join();
}

void TConnectionWorker::Wake()
{
    const std::uint64_t one = 1;
    // A full counter already means a pending wake-up, so a failed write loses nothing.
    [[maybe_unused]] const ssize_t written = ::write(wake_.Get(), &one, sizeof one);
}

void TConnectionWorker::Loop()
{
    epoll_event events[EventsPerWait];
    for (;;) {
        const int ready = ::epoll_wait(epoll_.Get(), events, EventsPerWait, -1);
        for (int i = 0; i < ready; ++i) {
            auto* thread = static_cast<TPeerThread*>(events[i].data.ptr);
            if (!thread) {
                TakeNewConnections();
                continue;
            }
            const bool readable = (events[i].events & (EPOLLIN | EPOLLHUP | EPOLLERR)) != 0;
            const TPeerThread::TWaitFor next = thread->Serve(readable);
            if (next == TPeerThread::TWaitFor::Input && thread->Connection().WriteBufferSize() > 0)
                replying_.push_back(thread);
            else
                Follow(thread, next);
        }
        SendReplies();
        // Only EINTR can end a wait with an error here: the descriptors are the worker's own.
        if (stopping_ && threads_.empty()) {
            std::lock_guard guard(lock_);
            if (incoming_.empty())
                return;
        }
    }
}

// The replies of a batch of ready connections leave together once all of them are served: a
// client woken by its reply then usually finds the replies of its other sessions waiting too.
void TConnectionWorker::SendReplies()
{
    for (TPeerThread* thread : replying_)
        Follow(thread, thread->SendGathered());
    replying_.clear();
}

void TConnectionWorker::TakeNewConnections()
{
    std::uint64_t count;
    [[maybe_unused]] const ssize_t read = ::read(wake_.Get(), &count, sizeof count);
    std::vector<std::unique_ptr<TPeerThread>> arrived;
    {
        std::lock_guard guard(lock_);
        arrived.swap(incoming_);
    }
    for (auto& thread : arrived) {
        TPeerThread* raw = thread.get();
        threads_.emplace(raw, std::move(thread));
        Follow(raw, raw->Start());
    }
}

void TConnectionWorker::Follow(TPeerThread* thread, TPeerThread::TWaitFor next)
{
    using TWaitFor = TPeerThread::TWaitFor;
    if (next != TWaitFor::Nothing && next != thread->waitingFor_) {
        epoll_event event{};
        event.events = next == TWaitFor::Input ? EPOLLIN : EPOLLOUT;
        event.data.ptr = thread;
        const int operation = thread->waitingFor_ == TWaitFor::Nothing ? EPOLL_CTL_ADD : EPOLL_CTL_MOD;
        if (::epoll_ctl(epoll_.Get(), operation, thread->WaitHandle(), &event) == 0) {
            thread->waitingFor_ = next;
        } else {
            const int err = errno;
            try {
                RaiseSocketError(SocketErrorFromErrno(err));
            } catch (...) {
                thread->HandleStepFailure(std::current_exception());
            }
            next = TWaitFor::Nothing;
        }
    }
    if (next != TWaitFor::Nothing)
        return;
    if (thread->waitingFor_ != TWaitFor::Nothing)
        ::epoll_ctl(epoll_.Get(), EPOLL_CTL_DEL, thread->WaitHandle(), nullptr);
    thread->Finish();
    threads_.erase(thread);
}

} // namespace quillet
