// The TCP server under the built-in mail server.
//
// One listening socket (the binding) and one TPeerThread per accepted connection (made by the
// server's factory) that lives from the greeting to the close. TPeerThread and TThreadMgrDefault
// keep the names of a design in which every connection had a thread of its own; here they differ
// from it: a connection's TPeerThread is a sequential thread of control (its steps run one after
// the other, each as soon as a whole line has arrived), and the thread manager serves all of them
// from a few event-driven workers (ConnectionWorker) that wait for every connection's socket at
// once, the listener's thread being the first of them. A server under load so changes threads
// once per batch of ready connections rather than once per command. Activation and deactivation
// come from one owning thread; deactivation stops the listener first, then shuts down every live
// connection and waits at most TerminateWaitTime for them to end.
//
// Guarantees: a failure inside one connection ends that connection only; after a completed
// deactivation no thread of the server runs and none of its sockets is open.
#pragma once

#include "ServerLimits.h"

#include "project/FileDescriptor.h"

#include "transport/TCPConnection.h"

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
class ConnectionWorker;

// Deactivation gave up waiting for the connection threads.
class ETerminateThreadTimeout : public std::runtime_error {
public:
    ETerminateThreadTimeout();
};

// The thread of one accepted connection: the connection, and the steps that serve it.
//
// BeforeRun runs once (the greeting), then Run once for every line received, in order, until the
// connection closes or a step raises. Replies are gathered in the connection and leave as soon as
// the received lines are served, so the bytes on the wire are those of a reply after every line.
// All steps of one connection run one at a time on a worker thread of the server.
//
// The server shuts the socket down at deactivation through a second descriptor of the same socket
// that this object holds until it has left the server's connection-thread list, so a shutdown
// never reaches a descriptor number that has been reused meanwhile.
class TPeerThread {
public:
    // Takes the accepted socket over (Release).
    TPeerThread(TTCPServer& server, FileDescriptor& socket);
    // A thread without a socket, whose dialogue is served from memory (ServeFromMemory).
    explicit TPeerThread(TTCPServer& server);
    virtual ~TPeerThread();
    TPeerThread(const TPeerThread&) = delete;
    TPeerThread& operator=(const TPeerThread&) = delete;

    // Shuts the connection down in both directions; its thread then sees the close.
    // Called under the server's connection-thread list lock.
    void ShutdownSocket();

    TTCPConnection& Connection() { return *connection_; }

    // Serves the peer's bytes as a worker serves them from a socket: the greeting, a step for
    // every whole line, then the peer's close. Returns the bytes sent to the peer. Only for a
    // thread made without a socket (fuzzing and tests); the thread has ended afterwards.
    std::string ServeFromMemory(std::string_view received);

protected:
    // Called once before the first step (the greeting).
    virtual void BeforeRun() = 0;
    // One step: one received line, without its line end. The line is seen in the connection's
    // input buffer and is valid during the step only.
    virtual void Run(std::string_view line) = 0;
    // True while the connection is open (the peer has not closed and no step has disconnected).
    virtual bool ConnectionOpen();
    // Frees the connection object, closing its socket.
    virtual void FreeConnection();
    // Called once the replies gathered by the steps have all left: work that the peer need not
    // wait for goes here, while the peer reads its replies.
    virtual void AfterReplies() {}

    TTCPServer& Server;

private:
    friend class ConnectionWorker;

    // What the worker waits for next on this connection's socket.
    enum class WaitFor { Input, Output, Nothing };

    // The greeting; then what to wait for. Nothing means the connection has ended.
    WaitFor Start();
    // Serves the connection after its socket became ready: sends what waits, runs a step for
    // every whole line received, receives once when none is left. Nothing means it has ended.
    WaitFor Serve(bool readable);
    // Sends what the steps have gathered, as far as the socket takes it.
    WaitFor SendGathered();
    // Leaves the server's list, then frees the connection and the second descriptor.
    void Finish();
    // Maps one failure of a step to the connection's end (socket errors, closes, anything else).
    void HandleStepFailure(std::exception_ptr failure);
    int WaitHandle() const { return shutdownHandle_.get(); }

    std::unique_ptr<TTCPConnection> connection_;
    FileDescriptor shutdownHandle_;
    WaitFor waitingFor_ = WaitFor::Nothing;
};

// Runs the connection threads on a few worker threads, each waiting for the sockets of the
// connections it serves. The first worker is the listener's thread and exists from activation on;
// connections go to the workers in turn, and a worker's first connection starts its thread, up to
// the limit. Start is called from the listener's thread only, JoinAll once no connection thread is
// left.
class TThreadMgrDefault {
public:
    // At most `workers` worker threads; 0 means one for each processor. Starts the listener's.
    TThreadMgrDefault(int workers, TTCPServer& listenerOf);
    ~TThreadMgrDefault();
    TThreadMgrDefault(const TThreadMgrDefault&) = delete;
    TThreadMgrDefault& operator=(const TThreadMgrDefault&) = delete;

    // Takes the thread over and starts it on a worker.
    void Start(std::unique_ptr<TPeerThread> thread);
    // The listener no longer waits for connections; the caller holds the server's accept lock.
    void StopListening();
    // Ends the workers once the connection threads they run have ended, and waits for them.
    void JoinAll();

private:
    std::size_t limit_;
    std::vector<std::unique_ptr<ConnectionWorker>> workers_;
    std::size_t next_ = 0;
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
    // Address of the listening socket at the next activation: dotted IPv4 or IPv6 ("::1", also
    // in brackets).
    std::string BindAddress = DefaultBindAddress;
    int ListenQueue = DefaultListenQueue;
    // Worker threads that run the connection threads; 0 means one for each processor.
    int WorkerCount = DefaultWorkerCount;
    // Connections served at the same time; 0 means no limit. A connection beyond the limit is
    // closed at once after the reply of RefuseConnection.
    int MaxConnections = DefaultMaxConnections;
    std::chrono::milliseconds TerminateWaitTime = DefaultTerminateWaitTime;

    // Port the binding listens on while active (the chosen one when DefaultPort is 0).
    std::uint16_t BoundPort() const { return boundPort_; }
    // Live connection threads.
    std::size_t ConnectionCount();

    // Failures of the listener's accept step and of connection threads; both empty by default.
    // They run on the listener's or the connection's thread (while they run, the connections of
    // that thread wait).
    std::function<void(const std::exception&)> OnListenException;
    std::function<void(const std::exception&)> OnException;

protected:
    // Called at the first activation (builds the command table of a derived server).
    virtual void InitializeCommandHandlers() {}
    // Makes the thread of one accepted connection. It takes the socket over (Release); a socket
    // still held when it returns or raises is closed by the caller.
    virtual std::unique_ptr<TPeerThread> CreatePeerThread(FileDescriptor& socket) = 0;
    // Writes a refusal to a connection beyond MaxConnections before it is closed.
    virtual void RefuseConnection(int /*socket*/) {}

    // Deactivates; a derived server calls it in its own destructor so that no connection
    // thread runs while the derived part is gone.
    void Shutdown() noexcept;

private:
    friend class TPeerThread;
    friend class ConnectionWorker;

    // What the listener does after an accept step.
    enum class AcceptOutcome { More, Pause, Stopped };

    void Activate();
    void Deactivate();
    // Stops accepting: later connections are refused, and once this returns no accept step runs.
    void StopListener();
    // The listener's accept step: every connection that is waiting is accepted and its thread
    // started. Pause after a failure for want of resources, Stopped once the listener is.
    AcceptOutcome AcceptAvailable();
    void RemoveConnectionThread(TPeerThread* thread);
    void ReportConnectionException(const std::exception& error);

    bool active_ = false;
    bool commandTableBuilt_ = false;
    std::uint16_t boundPort_ = 0;
    // The binding's socket handle. Shut down when the listener stops, closed once the listener's
    // thread has ended.
    FileDescriptor listenSocket_;
    bool listening_ = false;
    // Held by an accept step from its accept to its entry in the connection-thread list.
    std::mutex acceptLock_;
    std::atomic<bool> listenerStopped_{false};

    std::mutex connectionsLock_;
    std::vector<TPeerThread*> connectionThreads_;
    std::unique_ptr<TThreadMgrDefault> threadMgr_;
};

} // namespace quillet
