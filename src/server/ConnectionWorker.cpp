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

// Marks the listening socket's events (the wake-up descriptor's carry no pointer).
char ListeningSocketTag;

void WaitForListeningSocket(int epoll, int socket)
{
    epoll_event event{};
    event.events = EPOLLIN;
    event.data.ptr = &ListeningSocketTag;
    if (::epoll_ctl(epoll, EPOLL_CTL_ADD, socket, &event) != 0)
        RaiseSocketError(SocketErrorFromErrno(errno));
}

} // namespace

ConnectionWorker::ConnectionWorker(TTCPServer* listenerOf)
    : epoll_(::epoll_create1(EPOLL_CLOEXEC)), wake_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)), listenerOf_(listenerOf)
{
    if (!epoll_.valid() || !wake_.valid())
        RaiseSocketError(SocketErrorFromErrno(errno));
    epoll_event event{};
    event.events = EPOLLIN;
    event.data.ptr = nullptr; // the wake-up descriptor
    if (::epoll_ctl(epoll_.get(), EPOLL_CTL_ADD, wake_.get(), &event) != 0)
        RaiseSocketError(SocketErrorFromErrno(errno));
    if (listenerOf_)
        WaitForListeningSocket(epoll_.get(), listenerOf_->listenSocket_.get());
    thread_ = std::thread([this] { Loop(); });
}

ConnectionWorker::~ConnectionWorker()
{
    Stop();
    Join();
}

void ConnectionWorker::Add(std::unique_ptr<TPeerThread> thread)
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

void ConnectionWorker::StartHere(std::unique_ptr<TPeerThread> thread)
{
    TPeerThread* raw = thread.get();
    threads_.emplace(raw, std::move(thread));
    Follow(raw, raw->Start());
}

void ConnectionWorker::StopListening()
{
    if (listenerOf_)
        ::epoll_ctl(epoll_.get(), EPOLL_CTL_DEL, listenerOf_->listenSocket_.get(), nullptr);
}

void ConnectionWorker::Stop()
{
    stopping_ = true;
    Wake();
}

void ConnectionWorker::Join()
{
    if (thread_.joinable())
        thread_.join();
}

void ConnectionWorker::Wake()
{
    const std::uint64_t one = 1;
    // A full counter already means a pending wake-up, so a failed write loses nothing.
    [[maybe_unused]] const ssize_t written = ::write(wake_.get(), &one, sizeof one);
}

void ConnectionWorker::Loop()
{
    epoll_event events[EventsPerWait];
    for (;;) {
        const int ready = WaitForEvents(events);
        for (int i = 0; i < ready; ++i) {
            void* tag = events[i].data.ptr;
            if (!tag) {
                TakeNewConnections();
                continue;
            }
            if (tag == &ListeningSocketTag) {
                AcceptConnections();
                continue;
            }
            auto* thread = static_cast<TPeerThread*>(tag);
            const bool readable = (events[i].events & (EPOLLIN | EPOLLHUP | EPOLLERR)) != 0;
            const TPeerThread::WaitFor next = thread->Serve(readable);
            if (next == TPeerThread::WaitFor::Input && thread->Connection().WriteBufferSize() > 0)
                replying_.push_back(thread);
            else
                Follow(thread, next);
        }
        SendReplies();
        if (listenPaused_)
            ResumeListeningWhenDue();
        if (stopping_ && threads_.empty()) {
            std::lock_guard guard(lock_);
            if (incoming_.empty())
                return;
        }
    }
}

int ConnectionWorker::WaitForEvents(epoll_event* events)
{
    // Only EINTR can end a wait with an error here: the descriptors are the worker's own.
    int ready = 0;
    if (!threads_.empty() &&
        look_.Look([&] { return (ready = ::epoll_wait(epoll_.get(), events, EventsPerWait, 0)) != 0; }))
        return ready;
    // Only a paused listening socket needs the wait cut into slices, to be taken up again in
    // time; otherwise a socket or the wake-up descriptor ends it, and the wait arms no timer.
    const int timeout = listenPaused_ ? int(ListenerPollInterval.count()) : -1;
    const LookBeforeSleep::Clock::time_point start = LookBeforeSleep::Clock::now();
    ready = ::epoll_wait(epoll_.get(), events, EventsPerWait, timeout);
    look_.Slept(start);
    return ready;
}

void ConnectionWorker::AcceptConnections()
{
    switch (listenerOf_->AcceptAvailable()) {
    case TTCPServer::AcceptOutcome::More: return;
    case TTCPServer::AcceptOutcome::Pause:
        // Out of descriptors or memory: the socket stays ready, so it is left alone for a while
        // instead of being tried again at once.
        listenPaused_ = true;
        listenResumeAt_ = std::chrono::steady_clock::now() + AcceptFailurePause;
        [[fallthrough]];
    case TTCPServer::AcceptOutcome::Stopped: StopListening(); return;
    }
}

void ConnectionWorker::ResumeListeningWhenDue()
{
    if (std::chrono::steady_clock::now() < listenResumeAt_)
        return;
    listenPaused_ = false;
    std::lock_guard guard(listenerOf_->acceptLock_);
    if (listenerOf_->listenerStopped_)
        return;
    try {
        WaitForListeningSocket(epoll_.get(), listenerOf_->listenSocket_.get());
    } catch (const std::exception& error) {
        if (listenerOf_->OnListenException)
            listenerOf_->OnListenException(error);
        listenPaused_ = true;
        listenResumeAt_ = std::chrono::steady_clock::now() + AcceptFailurePause;
    }
}

// The replies of a batch of ready connections leave together once all of them are served: a
// client woken by its reply then usually finds the replies of its other sessions waiting too.
void ConnectionWorker::SendReplies()
{
    for (TPeerThread* thread : replying_)
        Follow(thread, thread->SendGathered());
    replying_.clear();
}

void ConnectionWorker::TakeNewConnections()
{
    std::uint64_t count;
    [[maybe_unused]] const ssize_t read = ::read(wake_.get(), &count, sizeof count);
    std::vector<std::unique_ptr<TPeerThread>> arrived;
    {
        std::lock_guard guard(lock_);
        arrived.swap(incoming_);
    }
    for (auto& thread : arrived)
        StartHere(std::move(thread));
}

void ConnectionWorker::Follow(TPeerThread* thread, TPeerThread::WaitFor next)
{
    using WaitFor = TPeerThread::WaitFor;
    if (next != WaitFor::Nothing && next != thread->waitingFor_) {
        epoll_event event{};
        event.events = next == WaitFor::Input ? EPOLLIN : EPOLLOUT;
        event.data.ptr = thread;
        const int operation = thread->waitingFor_ == WaitFor::Nothing ? EPOLL_CTL_ADD : EPOLL_CTL_MOD;
        if (::epoll_ctl(epoll_.get(), operation, thread->WaitHandle(), &event) == 0) {
            thread->waitingFor_ = next;
        } else {
            const int err = errno;
            try {
                RaiseSocketError(SocketErrorFromErrno(err));
            } catch (...) {
                thread->HandleStepFailure(std::current_exception());
            }
            next = WaitFor::Nothing;
        }
    }
    if (next != WaitFor::Nothing)
        return;
    if (thread->waitingFor_ != WaitFor::Nothing)
        ::epoll_ctl(epoll_.get(), EPOLL_CTL_DEL, thread->WaitHandle(), nullptr);
    thread->Finish();
    threads_.erase(thread);
}

} // namespace quillet
