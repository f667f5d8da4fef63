// A small SMTP server for tests, on 127.0.0.1 and an ephemeral port. It serves connections one
// after another on its own thread and records what the client said: every command line per
// connection and every message text received after DATA (dot-unstuffed, CR LF kept).
//
// Behaviour: greeting 220; EHLO 250 (announcing AUTH LOGIN when offerAuth); HELO 250; RSET 250;
// AUTH LOGIN 334, 334, 235; MAIL 250; RCPT 250; DATA 354, text, 250; QUIT 221 and close. The
// reply to the DATA of message number failDataOf (1-based, counted over all connections) is
// 554 instead of 354; the DATA of message number silentAtDataOf gets no reply at all. Every wait
// is bounded, so a test cannot hang on it.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace quillet::test {

class ScriptedSmtpPeer {
public:
    struct Connection {
        std::vector<std::string> commands;
        bool closed = false;
    };

    bool offerAuth = false;
    int failDataOf = 0;
    int silentAtDataOf = 0;

    ScriptedSmtpPeer()
    {
        listen_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        addr.sin_port = 0;
        if (listen_ < 0 || ::bind(listen_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
            ::listen(listen_, 8) != 0)
            throw std::runtime_error("scripted peer cannot listen");
        socklen_t len = sizeof addr;
        ::getsockname(listen_, reinterpret_cast<sockaddr*>(&addr), &len);
        port_ = ntohs(addr.sin_port);
    }
    ~ScriptedSmtpPeer()
    {
        stop_ = true;
        if (thread_.joinable())
            thread_.join();
        ::close(listen_);
    }
    ScriptedSmtpPeer(const ScriptedSmtpPeer&) = delete;
    ScriptedSmtpPeer& operator=(const ScriptedSmtpPeer&) = delete;

    // Starts serving; set the options first.
    void start() { thread_ = std::thread([this] { serve(); }); }
    unsigned short port() const { return port_; }

    std::vector<Connection> connections()
    {
        std::lock_guard lock(mutex_);
        return connections_;
    }
    std::vector<std::string> messages()
    {
        std::lock_guard lock(mutex_);
        return messages_;
    }
    // Waits (at most 5 s) until the number of closed connections reaches n.
    bool waitClosed(std::size_t n)
    {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, std::chrono::seconds(5), [&] {
            std::size_t closed = 0;
            for (const auto& c : connections_)
                closed += c.closed;
            return closed >= n;
        });
    }
    // Every command of every connection, in order.
    std::vector<std::string> allCommands()
    {
        std::vector<std::string> all;
        for (const auto& c : connections())
            all.insert(all.end(), c.commands.begin(), c.commands.end());
        return all;
    }

private:
    bool waitReadable(int fd)
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!stop_ && std::chrono::steady_clock::now() < deadline) {
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, 50) > 0)
                return true;
        }
        return false;
    }
    // One line without its CR LF; false when the client closed or went silent.
    bool readLine(int fd, std::string& buffer, std::string& line)
    {
        for (;;) {
            const auto at = buffer.find("\r\n");
            if (at != std::string::npos) {
                line = buffer.substr(0, at);
                buffer.erase(0, at + 2);
                return true;
            }
            if (!waitReadable(fd))
                return false;
            char chunk[4096];
            const ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
            if (n <= 0)
                return false;
            buffer.append(chunk, static_cast<std::size_t>(n));
        }
    }
    static void reply(int fd, const std::string& text)
    {
        const std::string line = text + "\r\n";
        (void)::send(fd, line.data(), line.size(), MSG_NOSIGNAL);
    }
    static std::string upper(std::string s)
    {
        for (char& c : s)
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        return s;
    }

    void serve()
    {
        while (!stop_) {
            pollfd p{listen_, POLLIN, 0};
            if (::poll(&p, 1, 50) <= 0)
                continue;
            const int fd = ::accept4(listen_, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd < 0)
                continue;
            std::size_t index;
            {
                std::lock_guard lock(mutex_);
                connections_.emplace_back();
                index = connections_.size() - 1;
            }
            session(fd, index);
            ::close(fd);
            {
                std::lock_guard lock(mutex_);
                connections_[index].closed = true;
            }
            changed_.notify_all();
        }
    }

    void session(int fd, std::size_t index)
    {
        reply(fd, "220 scripted ready");
        std::string buffer, line;
        int authStep = 0;
        while (readLine(fd, buffer, line)) {
            {
                std::lock_guard lock(mutex_);
                connections_[index].commands.push_back(line);
            }
            const std::string command = upper(line);
            if (authStep == 1 || authStep == 2) {
                reply(fd, authStep == 1 ? "334 UGFzc3dvcmQ6" : "235 ok");
                authStep = authStep == 1 ? 2 : 0;
            } else if (command.rfind("EHLO", 0) == 0) {
                reply(fd, offerAuth ? "250-scripted\r\n250 AUTH LOGIN" : "250 scripted");
            } else if (command.rfind("AUTH LOGIN", 0) == 0) {
                reply(fd, "334 VXNlcm5hbWU6");
                authStep = 1;
            } else if (command == "DATA") {
                if (++dataCount_ == failDataOf) {
                    reply(fd, "554 no thanks");
                    continue;
                }
                if (dataCount_ == silentAtDataOf)
                    continue;
                reply(fd, "354 go on");
                std::string text;
                while (readLine(fd, buffer, line) && line != ".")
                    text += (line.rfind(".", 0) == 0 ? line.substr(1) : line) + "\r\n";
                {
                    std::lock_guard lock(mutex_);
                    messages_.push_back(text);
                }
                reply(fd, "250 queued");
            } else if (command == "QUIT") {
                reply(fd, "221 bye");
                return;
            } else {
                reply(fd, "250 ok");
            }
        }
    }

    int listen_ = -1;
    unsigned short port_ = 0;
    std::atomic<bool> stop_{false};
    std::thread thread_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<Connection> connections_;
    std::vector<std::string> messages_;
    int dataCount_ = 0;
};

} // namespace quillet::test
