// One worker thread of the server's thread manager: it waits for the sockets of the connections
// it serves all at once (epoll) and runs the steps of each connection that is ready.
//
// The first worker is also the server's listener thread: it waits for the listening socket in the
// same wait (cut into slices of ListenerPollInterval only while accepting is paused), and accepts
// every connection that is waiting when the socket is ready, so a new connection costs no change
// of thread. Connections may also be
// handed over from another thread; everything else about them happens on the worker's own thread,
// which also frees them once they have ended.
#pragma once

#include "TCPServer.h"
#include "transport/LookBeforeSleep.h"

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <vector>

#include <sys/epoll.h>

namespace quillet {

class ConnectionWorker {
public:
    // Starts the thread; with a server, the worker listens on that server's listening socket.
    // Raises when the system refuses the waiting objects or the thread.
    explicit ConnectionWorker(TTCPServer* listenerOf = nullptr);
    // Stops and waits (see Stop).
    ~ConnectionWorker();
    ConnectionWorker(const ConnectionWorker&) = delete;
    ConnectionWorker& operator=(const ConnectionWorker&) = delete;

    // Takes the connection thread over; the worker starts it with its greeting. Any thread.
    void Add(std::unique_ptr<TPeerThread> thread);
    // Takes the connection thread over and starts it now; only on the worker's own thread.
    void StartHere(std::unique_ptr<TPeerThread> thread);
    bool OnOwnThread() const { return std::this_thread::get_id() == thread_.get_id(); }
    // No longer waits for the listening socket. Any thread; the caller holds the server's accept lock.
    void StopListening();
    // Asks the thread to end as soon as every connection it serves has ended; Join waits for it.
    void Stop();
    void Join();

private:
    void Loop();
    // Waits for the worker's descriptors: first looks for up to WorkerLookBeforeSleep when the
    // last wait was that short, then sleeps (for the slice of a paused listener at most).
    int WaitForEvents(epoll_event* events);
    void Wake();
    void TakeNewConnections();
    void SendReplies();
    // Accepts what is waiting on the listening socket; pauses listening after a failure.
    void AcceptConnections();
    void ResumeListeningWhenDue();
    // Updates what the worker waits for on the connection, or frees it when it has ended.
    void Follow(TPeerThread* thread, TPeerThread::WaitFor next);

    FileDescriptor epoll_;
    FileDescriptor wake_; // an eventfd: new connections or a stop request
    TTCPServer* listenerOf_;
    bool listenPaused_ = false;
    // Looks while the last wait for the connections ended within WorkerLookBeforeSleep.
    LookBeforeSleep look_{WorkerLookBeforeSleep, WorkerLookBeforeSleep};
    std::chrono::steady_clock::time_point listenResumeAt_;
    std::mutex lock_;
    std::vector<std::unique_ptr<TPeerThread>> incoming_;
    std::atomic<bool> stopping_{false};
    // The connections served, owned by the worker's thread only.
    std::unordered_map<TPeerThread*, std::unique_ptr<TPeerThread>> threads_;
    // Connections served in the current batch whose replies wait to be sent.
    std::vector<TPeerThread*> replying_;
    std::thread thread_;
};

} // namespace quillet
