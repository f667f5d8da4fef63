#include "TCPServer.h"

#include "ConnectionWorker.h"

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

// ---- TPeerThread ------------------------------------------------------------------------------

TPeerThread::TPeerThread(TTCPServer& server, FileDescriptor& socket)
    : Server(server), shutdownHandle_(::fcntl(socket.get(), F_DUPFD_CLOEXEC, 0))
{
    if (!shutdownHandle_.valid())
        RaiseSocketError(SocketErrorFromErrno(errno));
    connection_ = std::make_unique<TTCPConnection>(socket.get());
    socket.release();
    connection_->BeginGathering();
}

TPeerThread::TPeerThread(TTCPServer& server) : Server(server), connection_(std::make_unique<TTCPConnection>())
{
    connection_->OpenInMemory();
    connection_->BeginGathering();
}

TPeerThread::~TPeerThread() = default;

// The order of a worker's steps: the replies to the lines leave before the close is noticed, and
// what a failing step left gathered leaves as in Finish.
std::string TPeerThread::ServeFromMemory(std::string_view received)
{
    connection_->Feed(received);
    if (Start() != WaitFor::Nothing && Serve(false) != WaitFor::Nothing && SendGathered() != WaitFor::Nothing)
        Serve(true);
    try {
        if (connection_ && connection_->Connected())
            connection_->SendAvailable();
    } catch (...) {
        // Reported by the step that failed.
    }
    std::string sent = connection_ ? connection_->TakeWritten() : std::string();
    Finish();
    return sent;
}

void TPeerThread::ShutdownSocket()
{
    ::shutdown(shutdownHandle_.get(), SHUT_RDWR);
}

bool TPeerThread::ConnectionOpen()
{
    return connection_ && connection_->Connected();
}

void TPeerThread::FreeConnection()
{
    connection_.reset();
}

TPeerThread::WaitFor TPeerThread::Start()
{
    try {
        BeforeRun();
    } catch (...) {
        HandleStepFailure(std::current_exception());
        return WaitFor::Nothing;
    }
    return SendGathered();
}

// Lines that arrived together are served together and their replies leave in one send. A line is
// only received when no whole line is left, so a close by the peer is seen only after every line
// it sent before has been served, as a thread reading line by line would see it.
TPeerThread::WaitFor TPeerThread::Serve(bool readable)
{
    try {
        TTCPConnection& connection = *connection_;
        for (;;) {
            if (connection.WriteBufferSize() > 0 && !connection.SendAvailable())
                return WaitFor::Output;
            bool backlog = false;
            while (ConnectionOpen()) {
                if (connection.WriteBufferSize() >= ReplyBacklogLimit) {
                    backlog = true;
                    break;
                }
                if (std::optional<std::string_view> line = connection.ReadLnBuffered()) {
                    Run(*line);
                    continue;
                }
                if (!readable || !connection.ReceiveAvailable())
                    break;
                readable = false; // one receive per readiness, so no connection starves the others
                if (connection.ClosedGracefully())
                    throw EConnClosedGracefully();
            }
            if (!ConnectionOpen())
                return WaitFor::Nothing;
            if (!backlog)
                return WaitFor::Input; // the worker sends what was gathered
        }
    } catch (...) {
        HandleStepFailure(std::current_exception());
        return WaitFor::Nothing;
    }
}

TPeerThread::WaitFor TPeerThread::SendGathered()
{
    try {
        if (!connection_->SendAvailable())
            return WaitFor::Output;
        AfterReplies();
        return WaitFor::Input;
    } catch (...) {
        HandleStepFailure(std::current_exception());
        return WaitFor::Nothing;
    }
}

// The connection goes first (with whatever the steps kept for it), then the thread leaves the
// server's list; the second descriptor stays open until then, so a deactivation running meanwhile
// only ever shuts down this connection's socket.
void TPeerThread::Finish()
{
    try {
        if (connection_ && connection_->Connected())
            connection_->SendAvailable(); // replies served before a failing step still leave
    } catch (...) {
        // The connection has failed already and that failure has been reported.
    }
    try {
        FreeConnection();
    } catch (...) {
        HandleStepFailure(std::current_exception());
    }
    Server.RemoveConnectionThread(this);
    shutdownHandle_.reset();
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

TThreadMgrDefault::TThreadMgrDefault(int workers, TTCPServer& listenerOf)
    : limit_(workers > 0 ? std::size_t(workers) : std::max<std::size_t>(1, std::thread::hardware_concurrency()))
{
    workers_.push_back(std::make_unique<ConnectionWorker>(&listenerOf));
}

TThreadMgrDefault::~TThreadMgrDefault()
{
    JoinAll();
}

void TThreadMgrDefault::Start(std::unique_ptr<TPeerThread> thread)
{
    const std::size_t target = next_++ % limit_;
    if (target == workers_.size())
        workers_.push_back(std::make_unique<ConnectionWorker>());
    ConnectionWorker& worker = *workers_[target];
    if (worker.OnOwnThread())
        worker.StartHere(std::move(thread));
    else
        worker.Add(std::move(thread));
}

void TThreadMgrDefault::StopListening()
{
    workers_.front()->StopListening();
}

void TThreadMgrDefault::JoinAll()
{
    for (auto& worker : workers_)
        worker->Stop();
    for (auto& worker : workers_)
        worker->Join();
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
        StopListener();
        {
            std::lock_guard guard(connectionsLock_);
            for (TPeerThread* thread : connectionThreads_)
                thread->ShutdownSocket();
        }
        threadMgr_->JoinAll();
        threadMgr_.reset();
    }
    listenSocket_.reset();
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

// The listening address: dotted IPv4, or IPv6 with or without brackets ("::1", "[::1]").
sockaddr_storage ParseBindAddress(const std::string& text, std::uint16_t port, socklen_t& length)
{
    sockaddr_storage storage{};
    auto& ipv4 = reinterpret_cast<sockaddr_in&>(storage);
    if (::inet_pton(AF_INET, text.c_str(), &ipv4.sin_addr) == 1) {
        ipv4.sin_family = AF_INET;
        ipv4.sin_port = htons(port);
        length = sizeof ipv4;
        return storage;
    }
    const bool bracketed = text.size() >= 2 && text.front() == '[' && text.back() == ']';
    const std::string bare = bracketed ? text.substr(1, text.size() - 2) : text;
    auto& ipv6 = reinterpret_cast<sockaddr_in6&>(storage);
    if (::inet_pton(AF_INET6, bare.c_str(), &ipv6.sin6_addr) != 1)
        RaiseSocketError(SocketErrorFromErrno(EADDRNOTAVAIL));
    ipv6.sin6_family = AF_INET6;
    ipv6.sin6_port = htons(port);
    length = sizeof ipv6;
    return storage;
}

} // namespace

void TTCPServer::Activate()
{
    if (!commandTableBuilt_) {
        InitializeCommandHandlers();
        commandTableBuilt_ = true;
    }
    listenSocket_.reset();
    socklen_t addressLength = 0;
    const sockaddr_storage address = ParseBindAddress(BindAddress, DefaultPort, addressLength);

    FileDescriptor socket(::socket(address.ss_family, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (!socket.valid())
        throw EInvalidSocket();
    // On this platform a listening socket cannot be bound while connections of an earlier
    // activation linger in TIME_WAIT on the port unless address reuse is set; with it a port on
    // which another socket listens is still refused, as the server expects.
    const int on = 1;
    ::setsockopt(socket.get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    if (::bind(socket.get(), reinterpret_cast<const sockaddr*>(&address), addressLength) != 0) {
        if (errno == EADDRINUSE)
            throw ECouldNotBindSocket();
        RaiseSocketError(SocketErrorFromErrno(errno));
    }
    if (::listen(socket.get(), ListenQueue) != 0)
        RaiseSocketError(SocketErrorFromErrno(errno));
    sockaddr_storage bound{};
    socklen_t length = sizeof bound;
    ::getsockname(socket.get(), reinterpret_cast<sockaddr*>(&bound), &length);

    listenSocket_ = std::move(socket);
    boundPort_ = ntohs(bound.ss_family == AF_INET6 ? reinterpret_cast<const sockaddr_in6&>(bound).sin6_port
                                                   : reinterpret_cast<const sockaddr_in&>(bound).sin_port);
    listenerStopped_ = false;
    try {
        threadMgr_ = std::make_unique<TThreadMgrDefault>(WorkerCount, *this);
    } catch (...) {
        listenSocket_.reset();
        throw;
    }
    listening_ = true;
    active_ = true;
}

void TTCPServer::StopListener()
{
    if (!listening_)
        return;
    listenerStopped_ = true;
    // A shut-down listening socket refuses connections at once; it is closed only once the
    // listener's thread has ended, so that no accept can reach a reused descriptor number.
    ::shutdown(listenSocket_.get(), SHUT_RDWR);
    std::lock_guard guard(acceptLock_);
    threadMgr_->StopListening();
    listening_ = false;
}

void TTCPServer::Deactivate()
{
    // 1. The listener: stopped, its socket shut down; no accept step runs after this.
    StopListener();

    // 2. Every live connection, under the list's lock: its thread sees the close.
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

    // 4. The thread manager (with the listener's thread) goes once no connection thread is left,
    // then the binding's socket.
    if (threadMgr_) {
        threadMgr_->JoinAll();
        threadMgr_.reset();
    }
    listenSocket_.reset();
    // 5. Inactive; the binding's settings stay for the next activation.
    active_ = false;
}

TTCPServer::AcceptOutcome TTCPServer::AcceptAvailable()
{
    std::vector<std::unique_ptr<TPeerThread>> accepted;
    AcceptOutcome outcome = AcceptOutcome::More;
    std::exception_ptr failure;
    {
        std::lock_guard guard(acceptLock_);
        while (outcome == AcceptOutcome::More) {
            if (listenerStopped_) {
                outcome = AcceptOutcome::Stopped;
                break;
            }
            FileDescriptor connection(::accept4(listenSocket_.get(), nullptr, nullptr, SOCK_CLOEXEC));
            if (!connection.valid()) {
                const int err = errno;
                if (err == EAGAIN || err == EWOULDBLOCK)
                    break;
                if (err == EINTR || err == ECONNABORTED)
                    continue;
                if (err == EBADF || err == ENOTSOCK || err == EINVAL) {
                    outcome = AcceptOutcome::Stopped;
                    break;
                }
                outcome = AcceptOutcome::Pause;
                try {
                    RaiseSocketError(SocketErrorFromErrno(err));
                } catch (...) {
                    failure = std::current_exception();
                }
                break;
            }
            if (MaxConnections > 0 && ConnectionCount() + accepted.size() >= std::size_t(MaxConnections)) {
                RefuseConnection(connection.get());
                continue;
            }
            try {
                accepted.push_back(CreatePeerThread(connection));
            } catch (...) {
                failure = std::current_exception();
                outcome = AcceptOutcome::Pause;
                break;
            }
            std::lock_guard listGuard(connectionsLock_);
            connectionThreads_.push_back(accepted.back().get());
        }
    }
    for (auto& thread : accepted) {
        TPeerThread* raw = thread.get();
        try {
            threadMgr_->Start(std::move(thread));
        } catch (...) {
            RemoveConnectionThread(raw);
            failure = std::current_exception();
        }
    }
    if (failure && OnListenException) {
        try {
            std::rethrow_exception(failure);
        } catch (const std::exception& error) {
            OnListenException(error);
        } catch (...) {
        }
    }
    return outcome;
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
