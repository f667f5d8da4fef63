#include "TCPServer.h"

#include "ServerTexts.h"

#include "transport/SocketError.h"
#include "transport/TransportError.h"

#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>

namespace quillet {

ETerminateThreadTimeout::ETerminateThreadTimeout() : std::runtime_error(std::string(TerminateThreadTimeoutText)) {}

// ---- TSocketHandle ----------------------------------------------------------------------------

TSocketHandle& TSocketHandle::operator=(TSocketHandle&& other) noexcept
{
    if (this != &other) {
        Close();
        fd_ = other.Release();
    }
    return *this;
}

int TSocketHandle::Release()
{
    const int fd = fd_;
    fd_ = -1;
    return fd;
}

void TSocketHandle::Close()
{
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

// ---- TPeerThread ------------------------------------------------------------------------------

TPeerThread::TPeerThread(TTCPServer& server, int socket)
    : Server(server), shutdownHandle_(::fcntl(socket, F_DUPFD_CLOEXEC, 0))
{
    if (!shutdownHandle_.Allocated())
        RaiseSocketError(SocketErrorFromErrno(errno));
}

TPeerThread::~TPeerThread() = default;

void TPeerThread::ShutdownSocket()
{
    ::shutdown(shutdownHandle_.Get(), SHUT_RDWR);
}

// Greeting, then one command step after another until the connection ends; every failure ends
// this connection only. Clean-up leaves the server's list first, then hands the thread back and
// frees the connection, so the server never shuts down a descriptor that is already closed.
void TPeerThread::Execute()
{
    try {
        BeforeRun();
        while (ConnectionOpen())
            Run();
    } catch (...) {
        HandleStepFailure(std::current_exception());
    }
    Server.RemoveConnectionThread(this);
    try {
        FreeConnection();
    } catch (...) {
        HandleStepFailure(std::current_exception());
    }
    shutdownHandle_.Close();
    Server.threadMgr_->ReleaseThread(this);
}

void TPeerThread::HandleStepFailure(std::exception_ptr failure)
{
    try {
        std::rethrow_exception(failure);
    } catch (const std::exception& error) {
        Server.ReportConnectionException(error);
    } catch (...) {
    }
}

// ---- TThreadMgrDefault ------------------------------------------------------------------------

TThreadMgrDefault::~TThreadMgrDefault()
{
    JoinAll();
}

void TThreadMgrDefault::Start(std::unique_ptr<TPeerThread> thread)
{
    TPeerThread* raw = thread.get();
    std::lock_guard guard(lock_);
    active_.push_back(std::move(thread));
    try {
        raw->thread_ = std::thread([raw] { raw->Execute(); });
    } catch (...) {
        active_.pop_back();
        throw;
    }
}

void TThreadMgrDefault::ReleaseThread(TPeerThread* thread)
{
    std::lock_guard guard(lock_);
    auto it = std::find_if(active_.begin(), active_.end(), [thread](const auto& p) { return p.get() == thread; });
    if (it != active_.end()) {
        finished_.push_back(std::move(*it));
        active_.erase(it);
    }
}

void TThreadMgrDefault::ReapFinished()
{
    std::vector<std::unique_ptr<TPeerThread>> done;
    {
        std::lock_guard guard(lock_);
        done.swap(finished_);
    }
    for (auto& thread : done)
        if (thread->thread_.joinable())
            thread->thread_.join();
}

void TThreadMgrDefault::JoinAll()
{
    for (;;) {
        std::unique_ptr<TPeerThread> next;
        {
            std::lock_guard guard(lock_);
            if (!finished_.empty()) {
                next = std::move(finished_.back());
                finished_.pop_back();
            } else if (active_.empty()) {
                return;
            }
        }
        if (next) {
            if (next->thread_.joinable())
                next->thread_.join();
        } else {
            // A thread that has left the server's list but not yet handed itself back.
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }
}

// ---- TTCPServer -------------------------------------------------------------------------------

TTCPServer::TTCPServer() = default;

TTCPServer::~TTCPServer()
{
    Shutdown();
}

void TTCPServer::Shutdown() noexcept
{
    try {
        SetActive(false);
    } catch (...) {
    }
    // Whatever happened above, no connection thread may outlive the server.
    if (threadMgr_) {
        {
            std::lock_guard guard(connectionsLock_);
            for (TPeerThread* thread : connectionThreads_)
                thread->ShutdownSocket();
        }
        threadMgr_->JoinAll();
        threadMgr_.reset();
    }
    active_ = false;
}

void TTCPServer::SetActive(bool value)
{
    if (value == active_)
        return;
    if (value)
        Activate();
    else
        Deactivate();
}

std::size_t TTCPServer::ConnectionCount()
{
    std::lock_guard guard(connectionsLock_);
    return connectionThreads_.size();
}

namespace {

in_addr ParseBindAddress(const std::string& text)
{
    in_addr address{};
    if (::inet_pton(AF_INET, text.c_str(), &address) != 1)
        RaiseSocketError(SocketErrorFromErrno(EADDRNOTAVAIL));
    return address;
}

} // namespace

void TTCPServer::Activate()
{
    if (!commandTableBuilt_) {
        InitializeCommandHandlers();
        commandTableBuilt_ = true;
    }
    if (!threadMgr_)
        threadMgr_ = std::make_unique<TThreadMgrDefault>();

    listenSocket_.Close();
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(DefaultPort);
    address.sin_addr = ParseBindAddress(BindAddress);

    TSocketHandle socket(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (!socket.Allocated())
        throw EInvalidSocket();
    // On this platform a listening socket cannot be bound while connections of an earlier
    // activation linger in TIME_WAIT on the port unless address reuse is set; with it a port on
    // which another socket listens is still refused, as the server expects.
    const int on = 1;
    ::setsockopt(socket.Get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    if (::bind(socket.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        if (errno == EADDRINUSE)
            throw ECouldNotBindSocket();
        RaiseSocketError(SocketErrorFromErrno(errno));
    }
    if (::listen(socket.Get(), ListenQueue) != 0)
        RaiseSocketError(SocketErrorFromErrno(errno));
    sockaddr_in bound{};
    socklen_t length = sizeof bound;
    ::getsockname(socket.Get(), reinterpret_cast<sockaddr*>(&bound), &length);

    listenSocket_ = std::move(socket);
    boundPort_ = ntohs(bound.sin_port);
    listenerStopped_ = false;
    try {
        listenerThread_ = std::thread([this] { ListenerRun(); });
    } catch (...) {
        listenSocket_.Close();
        throw;
    }
    active_ = true;
}

void TTCPServer::Deactivate()
{
    // 1. The listener: stopped, its socket shut down (ending its wait at once), awaited, closed.
    if (listenerThread_.joinable()) {
        listenerStopped_ = true;
        ::shutdown(listenSocket_.Get(), SHUT_RDWR);
        listenerThread_.join();
    }
    listenSocket_.Close();

    // 2. Every live connection, under the list's lock: its blocked read or write returns.
    {
        std::lock_guard guard(connectionsLock_);
        for (TPeerThread* thread : connectionThreads_)
            thread->ShutdownSocket();
    }

    // 3. Wait in steps for the connection threads to leave the list.
    const auto polls = std::max<long long>(1, TerminateWaitTime / TerminatePollInterval);
    bool empty = false;
    for (long long i = 0; i < polls && !empty; ++i) {
        std::this_thread::sleep_for(TerminatePollInterval);
        empty = ConnectionCount() == 0;
    }
    if (!empty)
        throw ETerminateThreadTimeout();

    // 4. The thread manager goes once no connection thread is left.
    if (threadMgr_) {
        threadMgr_->JoinAll();
        threadMgr_.reset();
    }
    // 5. Inactive; the binding's settings stay for the next activation.
    active_ = false;
}

void TTCPServer::ListenerRun()
{
    while (!listenerStopped_) {
        try {
            AcceptOne();
        } catch (const std::exception& error) {
            if (OnListenException)
                OnListenException(error);
        }
    }
}

// One listener run: wait for a connection in slices, accept it, start its thread.
void TTCPServer::AcceptOne()
{
    threadMgr_->ReapFinished();
    pollfd waiting{listenSocket_.Get(), POLLIN, 0};
    const int ready = ::poll(&waiting, 1, int(ListenerPollInterval.count()));
    if (listenerStopped_ || ready <= 0)
        return;

    TSocketHandle connection(::accept4(listenSocket_.Get(), nullptr, nullptr, SOCK_CLOEXEC));
    if (!connection.Allocated()) {
        const int err = errno;
        if (err == EAGAIN || err == EWOULDBLOCK || err == EINTR || err == ECONNABORTED)
            return;
        if (err == EBADF || err == ENOTSOCK || err == EINVAL) {
            listenerStopped_ = true;
            return;
        }
        std::this_thread::sleep_for(AcceptFailurePause);
        RaiseSocketError(SocketErrorFromErrno(err));
    }

    if (MaxConnections > 0 && ConnectionCount() >= std::size_t(MaxConnections)) {
        RefuseConnection(connection.Get());
        return;
    }
    std::unique_ptr<TPeerThread> thread = CreatePeerThread(connection);
    TPeerThread* raw = thread.get();
    {
        std::lock_guard guard(connectionsLock_);
        connectionThreads_.push_back(raw);
    }
    try {
        threadMgr_->Start(std::move(thread));
    } catch (...) {
        RemoveConnectionThread(raw);
        throw;
    }
}

void TTCPServer::RemoveConnectionThread(TPeerThread* thread)
{
    std::lock_guard guard(connectionsLock_);
    std::erase(connectionThreads_, thread);
}

void TTCPServer::ReportConnectionException(const std::exception& error)
{
    if (OnException)
        OnException(error);
}

} // namespace quillet
