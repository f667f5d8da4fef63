// One worker thread of the server's thread manager: it waits for the sockets of the connections
// it serves all at once (epoll) and runs the steps of each connection that is ready.
//
// Connections are handed over from the listener's thread; everything else about them happens on
// the worker's own thread, which also frees them once they have ended.
#pragma once

#include "TCPServer.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <vector>

namespace quillet {

class TConnectionWorker {
public:
    // Starts the thread; raises when the system refuses the waiting objects or the thread.
    TConnectionWorker();
    // Stops and waits (see Stop).
    ~TConnectionWorker();
    TConnectionWorker(const TConnectionWorker&) = delete;
    TConnectionWorker& operator=(const TConnectionWorker&) = delete;

    // Takes the connection thread over; the worker starts it with its greeting. Any thread.
    void Add(std::unique_ptr<TPeerThread> thread);
    // Asks the thread to end as soon as every connection it serves has ended; Join waits for it.
    void Stop();
    void Join();

private:
    void Loop();
    void Wake();
    void TakeNewConnections();
    void SendReplies();
    // Updates what the worker waits for on the connection, or frees it when it has ended.
    void Follow(TPeerThread* thread, TPeerThread::TWaitFor next);

    TSocketHandle epoll_;
    TSocketHandle wake_; // an eventfd: new connections or a stop request
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
