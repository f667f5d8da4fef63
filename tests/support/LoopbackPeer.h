// Scripted peers for the network tests: a listener on 127.0.0.1 with an ephemeral port whose
// one accepted connection is served by a script on its own thread. Every wait is bounded.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <thread>

namespace quillet::test {

constexpr int kPeerWaitMs = 10000;

// The accepted side of a connection, as seen by a script.
class PeerSocket {
public:
    explicit PeerSocket(int fd) : fd_(fd) {}
    ~PeerSocket() { Close(); }
    PeerSocket(const PeerSocket&) = delete;
    PeerSocket& operator=(const PeerSocket&) = delete;

    void Send(std::string_view bytes)
    {
        while (!bytes.empty()) {
            const ssize_t n = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
            if (n <= 0)
                return;
            bytes.remove_prefix(static_cast<size_t>(n));
        }
    }
    // The next line without CR LF, or nothing when the client closed or nothing came in time.
    std::optional<std::string> ReadLine()
    {
        for (;;) {
            const size_t lf = pending_.find('\n');
            if (lf != std::string::npos) {
                std::string line = pending_.substr(0, lf);
                pending_.erase(0, lf + 1);
                if (!line.empty() && line.back() == '\r')
                    line.pop_back();
                return line;
            }
            if (!Receive())
                return std::nullopt;
        }
    }
    // Everything until the client closes (or the wait ends).
    std::string ReadToEnd()
    {
        while (Receive()) {
        }
        std::string rest;
        rest.swap(pending_);
        return rest;
    }
    void Close()
    {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = -1;
    }
    // Ends a wait in ReadLine or ReadToEnd from another thread, as if the client had closed.
    void Shutdown() const { ::shutdown(fd_, SHUT_RDWR); }
    // Every byte received so far.
    const std::string& Received() const { return received_; }

private:
    bool Receive()
    {
        if (fd_ < 0)
            return false;
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, kPeerWaitMs) <= 0)
            return false;
        char buffer[65536];
        const ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
        if (n <= 0)
            return false;
        pending_.append(buffer, static_cast<size_t>(n));
        received_.append(buffer, static_cast<size_t>(n));
        return true;
    }

    int fd_;
    std::string pending_;
    std::string received_;
};

// A listening socket on 127.0.0.1 and an ephemeral port.
class LoopbackListener {
public:
    explicit LoopbackListener(int backlog = 8)
    {
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (fd_ < 0 || ::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) < 0 ||
            ::listen(fd_, backlog) < 0)
            throw std::runtime_error("cannot listen on 127.0.0.1");
        socklen_t length = sizeof address;
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
    }
    ~LoopbackListener() { Close(); }
    LoopbackListener(const LoopbackListener&) = delete;
    LoopbackListener& operator=(const LoopbackListener&) = delete;

    uint16_t Port() const { return port_; }
    int Fd() const { return fd_; }
    // The next connection, or -1 when none came in time.
    int Accept(int waitMs = kPeerWaitMs)
    {
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, waitMs) <= 0)
            return -1;
        return ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
    }
    void Close()
    {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = -1;
    }

private:
    int fd_ = -1;
    uint16_t port_ = 0;
};

// Serves one connection with a script on a thread of its own; the transcript of what the client
// sent is kept. The destructor waits for the script.
class ScriptedPeer {
public:
    explicit ScriptedPeer(std::function<void(PeerSocket&)> script)
    {
        thread_ = std::thread([this, script = std::move(script)] {
            const int fd = listener_.Accept();
            if (fd < 0)
                return;
            PeerSocket socket(fd);
            script(socket);
            std::lock_guard lock(mutex_);
            received_ = socket.Received();
        });
    }
    ~ScriptedPeer() { Join(); }
    ScriptedPeer(const ScriptedPeer&) = delete;
    ScriptedPeer& operator=(const ScriptedPeer&) = delete;

    uint16_t Port() const { return listener_.Port(); }
    void Join()
    {
        if (thread_.joinable())
            thread_.join();
    }
    // What the client sent; call after Join().
    std::string Received()
    {
        std::lock_guard lock(mutex_);
        return received_;
    }

private:
    LoopbackListener listener_;
    std::mutex mutex_;
    std::string received_;
    std::thread thread_;
};

// A port on 127.0.0.1 where nothing listens (bound once, then released).
inline uint16_t ClosedLoopbackPort()
{
    LoopbackListener listener;
    return listener.Port();
}

} // namespace quillet::test
