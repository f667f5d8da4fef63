// An SMTP peer for the benchmarks that does as little as possible: it accepts one connection on
// 127.0.0.1, answers every command with a success code and throws the message text away as it
// arrives, so a client's own sending speed can be measured without a peer's parsing.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace quillet::bench {

class DiscardingSmtpPeer {
public:
    DiscardingSmtpPeer()
    {
        listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address);
        ::listen(listener_, 4);
        socklen_t length = sizeof address;
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
        thread_ = std::thread([this] { Serve(); });
    }
    ~DiscardingSmtpPeer()
    {
        ::shutdown(listener_, SHUT_RDWR);
        thread_.join();
        ::close(listener_);
    }
    DiscardingSmtpPeer(const DiscardingSmtpPeer&) = delete;
    DiscardingSmtpPeer& operator=(const DiscardingSmtpPeer&) = delete;

    uint16_t Port() const { return port_; }

private:
    static void Reply(int fd, std::string_view text) { ::send(fd, text.data(), text.size(), MSG_NOSIGNAL); }

    void Serve()
    {
        for (;;) {
            const int fd = ::accept(listener_, nullptr, nullptr);
            if (fd < 0)
                return;
            Session(fd);
            ::close(fd);
        }
    }

    void Session(int fd)
    {
        static constexpr std::string_view kEnd = "\r\n.\r\n";
        std::vector<char> buffer(1 << 20);
        std::string pending;
        bool inData = false;
        Reply(fd, "220 discard\r\n");
        for (;;) {
            const ssize_t n = ::recv(fd, buffer.data(), buffer.size(), 0);
            if (n <= 0)
                return;
            pending.append(buffer.data(), static_cast<size_t>(n));
            for (;;) {
                if (inData) {
                    const size_t end = pending.find(kEnd);
                    if (end == std::string::npos) {
                        // Keep only what could begin the end mark.
                        if (pending.size() > kEnd.size())
                            pending.erase(0, pending.size() - kEnd.size());
                        break;
                    }
                    pending.erase(0, end + kEnd.size());
                    inData = false;
                    Reply(fd, "250 discarded\r\n");
                    continue;
                }
                const size_t lf = pending.find('\n');
                if (lf == std::string::npos)
                    break;
                const std::string line = pending.substr(0, lf);
                pending.erase(0, lf + 1);
                if (line.rfind("QUIT", 0) == 0) {
                    Reply(fd, "221 bye\r\n");
                    return;
                }
                if (line.rfind("DATA", 0) == 0) {
                    Reply(fd, "354 go\r\n");
                    inData = true;
                    pending.insert(0, "\r\n"); // the end mark may follow at once
                    continue;
                }
                Reply(fd, "250 ok\r\n");
            }
        }
    }

    int listener_ = -1;
    uint16_t port_ = 0;
    std::thread thread_;
};

} // namespace quillet::bench
