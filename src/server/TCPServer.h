// The multi-threaded TCP server under the built-in mail server.
//
// One listening socket (the binding) with one listener thread that waits for connections in
// 100 ms slices, and one thread per accepted connection (a TPeerThread made by the server's
// thread factory) that lives from the greeting to the close. Activation and deactivation come
// from one owning thread; deactivation stops the listener first, then shuts down every live
// connection and waits at most TerminateWaitTime for their threads to end.
//
// Guarantees: a failure inside one connection ends that connection only; after a completed
// deactivation no thread of the server runs and none of its sockets is open.
#pragma once

#include "ServerLimits.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace quillet {

class TTCPServer;

// Deactivation gave up waiting for the connection threads.
class ETerminateThreadTimeout : public std::runtime_error {
public:
    ETerminateThreadTimeout();
};

// An open socket descriptor, closed when the holder goes.
class TSocketHandle {
public:
    TSocketHandle() = default;
    explicit TSocketHandle(int fd) : fd_(fd) {}
    ~TSocketHandle() { Close(); }
    TSocketHandle(TSocketHandle&& other) noexcept : fd_(other.Release()) {}
    TSocketHandle& operator=(TSocketHandle&& other) noexcept;
    TSocketHandle(const TSocketHandle&) = delete;
    TSocketHandle& operator=(const TSocketHandle&) = delete;

    int Get() const { return fd_; }
    bool Allocated() const { return fd_ >= 0; }
    int Release();
    void Close();

private:
    int fd_ = -1;
};

// The thread of one accepted connection. The server shuts its socket down at deactivation
// through a second descriptor of the same socket that this object holds until it has left the
// server's connection-thread list, so a shutdown never reaches a descriptor number that has been
// reused meanwhile.
class TPeerThread {
public:
    TPeerThread(TTCPServer& server, int socket);
    virtual ~TPeerThread();
    TPeerThread(const TPeerThread&) = delete;
    TPeerThread& operator=(const TPeerThread&) = delete;

    // Shuts the connection down in both directions; a blocked read or write then returns.
    // Called under the server's connection-thread list lock.
    void ShutdownSocket();

protected:
    // Called once on the thread before the first step (the greeting).
    virtual void BeforeRun() = 0;
    // One step (one command); repeated while the connection is open.
    virtual void Run() = 0;
    virtual bool ConnectionOpen() = 0;
    // Frees the connection object, closing its socket.
    virtual void FreeConnection() = 0;

    TTCPServer& Server;

private:
    friend class TThreadMgrDefault;
    void Execute();
    // Maps one failure of a step to the connection's end (socket errors, closes, anything else).
    void HandleStepFailure(std::exception_ptr failure);

    TSocketHandle shutdownHandle_;
    std::thread thread_;
};

// Hands out connection threads and frees them once they have ended. There is no pool: each
// accepted connection gets a new thread.
class TThreadMgrDefault {
public:
    ~TThreadMgrDefault();
    // Takes the thread over and starts it.
    void Start(std::unique_ptr<TPeerThread> thread);
    // Called by a connection thread from its own clean-up.
    void ReleaseThread(TPeerThread* thread);
    // Joins and frees the threads that have handed themselves back.
    void ReapFinished();
    // Joins and frees every thread; called when none of them can still be blocked.
    void JoinAll();

private:
    std::mutex lock_;
    std::vector<std::unique_ptr<TPeerThread>> active_;
    std::vector<std::unique_ptr<TPeerThread>> finished_;
};

class TTCPServer {
public:
    TTCPServer();
    // Deactivates first; waits for every connection thread however long that takes.
    virtual ~TTCPServer();
    TTCPServer(const TTCPServer&) = delete;
    TTCPServer& operator=(const TTCPServer&) = delete;

    // Switches the server on or off; setting the value it already has does nothing. Activation
    // raises ECouldNotBindSocket when the port is taken (the server stays inactive);
    // deactivation raises "Terminate Thread Timeout" when connection threads outlive
    // TerminateWaitTime (the server then still counts as active).
    void SetActive(bool value);
    bool Active() const { return active_; }

    // Port used by the next activation; 0 lets the system choose (see BoundPort).
    std::uint16_t DefaultPort = DefaultServerPort;
    // Dotted IPv4 address of the listening socket at the next activation.
    std::string BindAddress = DefaultBindAddress;
    int ListenQueue = DefaultListenQueue;
    // Connections served at the same time; 0 means no limit. A connection beyond the limit is
    // closed at once after the reply of RefuseConnection.
    int MaxConnections = DefaultMaxConnections;
    std::chrono::milliseconds TerminateWaitTime = DefaultTerminateWaitTime;

    // Port the binding listens on while active (the chosen one when DefaultPort is 0).
    std::uint16_t BoundPort() const { return boundPort_; }
    // Live connection threads.
    std::size_t ConnectionCount();

    // Failures of the listener's accept step and of connection threads; both empty by default.
    // They run on the listener's or the connection's thread.
    std::function<void(const std::exception&)> OnListenException;
    std::function<void(const std::exception&)> OnException;

protected:
    // Called at the first activation (builds the command table of a derived server).
    virtual void InitializeCommandHandlers() {}
    // Makes the thread of one accepted connection. It takes the socket over (Release); a socket
    // still held when it returns or raises is closed by the caller.
    virtual std::unique_ptr<TPeerThread> CreatePeerThread(TSocketHandle& socket) = 0;
    // Writes a refusal to a connection beyond MaxConnections before it is closed.
    virtual void RefuseConnection(int /*socket*/) {}

    // Deactivates; a derived server calls it in its own destructor so that no connection
    // thread runs while the derived part is gone.
    void Shutdown() noexcept;

private:
    friend class TPeerThread;
    void Activate();
    void Deactivate();
    void ListenerRun();
    void AcceptOne();
    void RemoveConnectionThread(TPeerThread* thread);
    void ReportConnectionException(const std::exception& error);

    bool active_ = false;
    bool commandTableBuilt_ = false;
    std::uint16_t boundPort_ = 0;
    TSocketHandle listenSocket_;   // the binding's socket handle
    std::thread listenerThread_;
    std::atomic<bool> listenerStopped_{false};

    std::mutex connectionsLock_;
    std::vector<TPeerThread*> connectionThreads_;
    std::unique_ptr<TThreadMgrDefault> threadMgr_;
};

} // namespace quillet
