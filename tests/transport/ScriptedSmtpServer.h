// A scripted SMTP server for client tests: it greets, answers every command line with the reply
// the test's function gives, collects the message text after a 354 reply up to the "." line,
// answers QUIT with 221 and ends when the client closes. Everything is recorded.
#pragma once

#include "transport/LoopbackPeer.h"

#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace quillet::test {

class ScriptedSmtpServer {
public:
    // reply gets each command line (and "." after a message text) and returns the whole reply
    // with its CR LF; an empty reply closes the connection, and so does a reply ending in
    // kCloseAfter once the text before it is sent.
    static constexpr std::string_view kCloseAfter = "<close>";
    using ReplyFunction = std::function<std::string(const std::string& command)>;

    ScriptedSmtpServer(std::string greeting, ReplyFunction reply)
        : peer_([this, greeting = std::move(greeting), reply = std::move(reply)](PeerSocket& socket) {
              Serve(socket, greeting, reply);
          })
    {
    }

    uint16_t Port() const { return peer_.Port(); }
    void Join() { peer_.Join(); }
    // The command lines the client sent, in order; a message text appears as one entry "<text>".
    std::vector<std::string> Commands()
    {
        Join();
        std::lock_guard lock(mutex_);
        return commands_;
    }
    // The message texts (every byte between the 354 reply and the "." line).
    std::vector<std::string> Messages()
    {
        Join();
        std::lock_guard lock(mutex_);
        return messages_;
    }
    std::string Received()
    {
        Join();
        return peer_.Received();
    }

    // A typical reply function: EHLO with the given extra lines, 334/235 for AUTH LOGIN,
    // 354 for DATA, 250 for everything else.
    static ReplyFunction Accepting(std::vector<std::string> ehloLines = {})
    {
        return [ehloLines](const std::string& command) -> std::string {
            if (command.rfind("EHLO", 0) == 0) {
                std::string reply = "250-test.server greets you\r\n";
                for (size_t i = 0; i < ehloLines.size(); ++i)
                    reply += (i + 1 < ehloLines.size() ? "250-" : "250 ") + ehloLines[i] + "\r\n";
                if (ehloLines.empty())
                    reply = "250 test.server\r\n";
                return reply;
            }
            if (command == "AUTH LOGIN")
                return "334 VXNlcm5hbWU6\r\n";
            if (command == "DATA")
                return "354 End data with <CR><LF>.<CR><LF>\r\n";
            return "250 OK\r\n";
        };
    }

private:
    void Serve(PeerSocket& socket, const std::string& greeting, const ReplyFunction& reply)
    {
        socket.Send(greeting);
        int authStep = 0; // 1: the user name is next, 2: the password ("pass") is next
        for (;;) {
            auto line = socket.ReadLine();
            if (!line)
                return;
            Record(*line);
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
                answer = *line == "cGFzcw==" ? "235 Authentication succeeded\r\n" : "535 Authentication failed\r\n";
                authStep = 0;
            } else {
                answer = reply(*line);
                if (*line == "AUTH LOGIN" && answer.rfind("334", 0) == 0)
                    authStep = 1;
            }
            if (!Answer(socket, answer))
                return;
            if (answer.rfind("354", 0) == 0) {
                std::string text;
                for (;;) {
                    auto dataLine = socket.ReadLine();
                    if (!dataLine)
                        return;
                    if (*dataLine == ".")
                        break;
                    text += *dataLine + "\r\n";
                }
                Record("<text>");
                {
                    std::lock_guard lock(mutex_);
                    messages_.push_back(text);
                }
                Record(".");
                if (!Answer(socket, reply(".")))
                    return;
            }
        }
    }
    // Sends the answer; false when the connection is to be closed.
    static bool Answer(PeerSocket& socket, std::string answer)
    {
        if (answer.empty())
            return false;
        const bool close = answer.size() >= kCloseAfter.size() &&
                           answer.compare(answer.size() - kCloseAfter.size(), kCloseAfter.size(), kCloseAfter) == 0;
        if (close)
            answer.resize(answer.size() - kCloseAfter.size());
        socket.Send(answer);
        return !close;
    }
    void Record(const std::string& line)
    {
        std::lock_guard lock(mutex_);
        commands_.push_back(line);
    }

    std::mutex mutex_;
    std::vector<std::string> commands_;
    std::vector<std::string> messages_;
    ScriptedPeer peer_; // last: its thread starts once everything above exists
};

} // namespace quillet::test
