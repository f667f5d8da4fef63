// The scripted SMTP server of the client and mailing tests, on 127.0.0.1 and an ephemeral port.
// It serves connections one after another on a thread of its own and records, per connection,
// every line the client sent (a message text as the two entries "<text>" and "."), every byte
// received, and every message text (the bytes between the 354 reply and the "." line, as sent).
//
// Replies: the greeting, then for each line the reply function's text (with its CR LF). An empty
// reply closes the connection, and so does a reply ending in kCloseAfter once the text before it
// is sent; kNoReply answers nothing. After "AUTH LOGIN" answered with 334 the peer asks for the
// password itself and accepts acceptedPassword (any when empty). After a 354 reply it reads the
// message text and answers with the reply to ".". QUIT is answered "221 Bye", and the connection
// ends when the client closes. Every wait is bounded, so a test cannot hang on it.
#pragma once

#include "support/LoopbackPeer.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace quillet::test {

class ScriptedSmtpPeer {
public:
    static constexpr std::string_view kCloseAfter = "<close>";
    static constexpr std::string_view kNoReply = "<none>";
    using ReplyFunction = std::function<std::string(const std::string& command)>;

    struct Connection {
        std::vector<std::string> commands;
        std::string received;
        bool closed = false;
    };

    // Options of the standard replies (greeting "220 scripted ready"); set them before start().
    // offerAuth announces AUTH LOGIN; the DATA of message number failDataOf (1-based, over all
    // connections) is refused with 554, that of number silentAtDataOf gets no reply at all.
    bool offerAuth = false;
    int failDataOf = 0;
    int silentAtDataOf = 0;
    std::string acceptedPassword;

    // The standard replies, serving every connection from start() until the peer is destroyed.
    ScriptedSmtpPeer()
        : greeting_("220 scripted ready\r\n"), reply_([this](const std::string& c) { return standard(c); })
    {
    }
    // The given greeting and replies for one connection, served at once; the records wait for it
    // to end. The password accepted is "pass".
    ScriptedSmtpPeer(std::string greeting, ReplyFunction reply)
        : acceptedPassword("cGFzcw=="), greeting_(std::move(greeting)), reply_(std::move(reply)), only_(1)
    {
        start();
    }
    ~ScriptedSmtpPeer()
    {
        stop_ = true;
        {
            std::lock_guard lock(mutex_);
            if (active_)
                active_->Shutdown();
        }
        join();
    }
    ScriptedSmtpPeer(const ScriptedSmtpPeer&) = delete;
    ScriptedSmtpPeer& operator=(const ScriptedSmtpPeer&) = delete;

    void start()
    {
        thread_ = std::thread([this] { serve(); });
    }
    uint16_t port() const { return listener_.Port(); }
    void join()
    {
        if (thread_.joinable())
            thread_.join();
    }

    std::vector<Connection> connections()
    {
        awaitOnly();
        std::lock_guard lock(mutex_);
        return connections_;
    }
    std::vector<std::string> messages()
    {
        awaitOnly();
        std::lock_guard lock(mutex_);
        return messages_;
    }
    // Every line of every connection, in order.
    std::vector<std::string> allCommands()
    {
        std::vector<std::string> all;
        for (const auto& c : connections())
            all.insert(all.end(), c.commands.begin(), c.commands.end());
        return all;
    }
    // Every byte received on every connection.
    std::string received()
    {
        std::string all;
        for (const auto& c : connections())
            all += c.received;
        return all;
    }
    // Waits (at most 5 s) until n connections have closed.
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

    // Replies for the client tests: EHLO with the given extra lines, 334 for AUTH LOGIN, 354 for
    // DATA, 250 for everything else.
    static ReplyFunction Accepting(std::vector<std::string> ehloLines = {})
    {
        return [ehloLines](const std::string& command) -> std::string {
            if (command.rfind("EHLO", 0) == 0) {
                std::string reply = "250-test.server greets you\r\n";
                for (size_t i = 0; i < ehloLines.size(); ++i)
                    reply += (i + 1 < ehloLines.size() ? "250-" : "250 ") + ehloLines[i] + "\r\n";
                return ehloLines.empty() ? "250 test.server\r\n" : reply;
            }
            if (command == "AUTH LOGIN")
                return "334 VXNlcm5hbWU6\r\n";
            if (command == "DATA")
                return "354 End data with <CR><LF>.<CR><LF>\r\n";
            return "250 OK\r\n";
        };
    }

private:
    std::string standard(const std::string& command)
    {
        if (command.rfind("EHLO", 0) == 0)
            return offerAuth ? "250-scripted\r\n250 AUTH LOGIN\r\n" : "250 scripted\r\n";
        if (command == "AUTH LOGIN")
            return "334 VXNlcm5hbWU6\r\n";
        if (command == "DATA") {
            ++dataCount_;
            return dataCount_ == failDataOf       ? "554 no thanks\r\n"
                   : dataCount_ == silentAtDataOf ? std::string(kNoReply)
                                                  : "354 go on\r\n";
        }
        return command == "." ? "250 queued\r\n" : "250 ok\r\n";
    }

    void awaitOnly()
    {
        if (only_ > 0)
            join();
    }

    void serve()
    {
        for (std::size_t served = 0; !stop_ && (only_ == 0 || served < only_);) {
            const int fd = listener_.Accept(only_ > 0 ? kPeerWaitMs : 50);
            if (fd < 0) {
                if (only_ > 0)
                    return;
                continue;
            }
            ++served;
            PeerSocket socket(fd);
            std::size_t index;
            {
                std::lock_guard lock(mutex_);
                connections_.emplace_back();
                index = connections_.size() - 1;
                active_ = &socket;
            }
            session(socket, index);
            {
                std::lock_guard lock(mutex_);
                active_ = nullptr;
                connections_[index].received = socket.Received();
                connections_[index].closed = true;
            }
            changed_.notify_all();
        }
    }

    void session(PeerSocket& socket, std::size_t index)
    {
        const auto record = [&](const std::string& line) {
            std::lock_guard lock(mutex_);
            connections_[index].commands.push_back(line);
        };
        socket.Send(greeting_);
        int authStep = 0; // 1: the user name is next, 2: the password is next
        while (const auto line = socket.ReadLine()) {
            record(*line);
            if (*line == "QUIT") {
                socket.Send("221 Bye\r\n");
                socket.ReadToEnd();
                return;
            }
            std::string answer;
            if (authStep == 1) {
                answer = "334 UGFzc3dvcmQ6\r\n";
                authStep = 2;
            } else if (authStep == 2) {
                const bool accepted = acceptedPassword.empty() || *line == acceptedPassword;
                answer = accepted ? "235 Authentication succeeded\r\n" : "535 Authentication failed\r\n";
                authStep = 0;
            } else {
                answer = reply_(*line);
                if (*line == "AUTH LOGIN" && answer.rfind("334", 0) == 0)
                    authStep = 1;
            }
            if (!send(socket, answer))
                return;
            if (answer.rfind("354", 0) != 0)
                continue;
            std::string text;
            for (auto dataLine = socket.ReadLine(); dataLine != ".";) {
                if (!dataLine)
                    return;
                text += *dataLine + "\r\n";
                dataLine = socket.ReadLine();
            }
            record("<text>");
            record(".");
            {
                std::lock_guard lock(mutex_);
                messages_.push_back(text);
            }
            if (!send(socket, reply_(".")))
                return;
        }
    }

    // Sends the answer; false when the connection is to be closed.
    static bool send(PeerSocket& socket, std::string answer)
    {
        if (answer.empty())
            return false;
        if (answer == kNoReply)
            return true;
        const bool close = answer.ends_with(kCloseAfter);
        if (close)
            answer.resize(answer.size() - kCloseAfter.size());
        socket.Send(answer);
        return !close;
    }

    LoopbackListener listener_;
    std::string greeting_;
    ReplyFunction reply_;
    std::size_t only_ = 0; // the number of connections to serve; 0: all until destroyed
    int dataCount_ = 0;
    std::atomic<bool> stop_{false};
    std::mutex mutex_;
    std::condition_variable changed_;
    PeerSocket* active_ = nullptr;
    std::vector<Connection> connections_;
    std::vector<std::string> messages_;
    std::thread thread_; // last: its thread starts once everything above exists
};

} // namespace quillet::test
