// An SMTP peer for the benchmarks that does as little as possible: it accepts one connection on
// 127.0.0.1, answers every command with a success code and throws the message text away as it
// arrives, so a client's own sending speed can be measured without a peer's parsing.
//
// Given a server TLS context it also offers STARTTLS (RFC 3207) and, once asked, goes on through
// TLS with OpenSSL; a client that does not ask gets the plain dialogue from the same peer.
#pragma once

#include "transport/TlsSession.h"

#include <openssl/ssl.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace quillet::bench {

class DiscardingSmtpPeer {
public:
    explicit DiscardingSmtpPeer(std::shared_ptr<TlsContext> tls = nullptr) : tls_(std::move(tls))
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
    // The connection's bytes, in clear or through TLS once it is started.
    struct Channel {
        int fd;
        std::unique_ptr<ssl_st, SslFree> ssl;
        ssize_t Receive(char* data, size_t size)
        {
            return ssl ? SSL_read(ssl.get(), data, static_cast<int>(size)) : ::recv(fd, data, size, 0);
        }
        void Reply(std::string_view text)
        {
            if (ssl)
                SSL_write(ssl.get(), text.data(), static_cast<int>(text.size()));
            else
                ::send(fd, text.data(), text.size(), MSG_NOSIGNAL);
        }
    };

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
        Channel channel{fd, nullptr};
        channel.Reply("220 discard\r\n");
        for (;;) {
            const ssize_t n = channel.Receive(buffer.data(), buffer.size());
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
                    channel.Reply("250 discarded\r\n");
                    continue;
                }
                const size_t lf = pending.find('\n');
                if (lf == std::string::npos)
                    break;
                const std::string line = pending.substr(0, lf);
                pending.erase(0, lf + 1);
                if (line.rfind("QUIT", 0) == 0) {
                    channel.Reply("221 bye\r\n");
                    return;
                }
                if (tls_ && !channel.ssl && line.rfind("EHLO", 0) == 0) {
                    channel.Reply("250-discard\r\n250 STARTTLS\r\n");
                    continue;
                }
                if (tls_ && !channel.ssl && line.rfind("STARTTLS", 0) == 0) {
                    channel.Reply("220 go ahead\r\n");
                    // As servers do: the replies are whole, so Nagle's algorithm only delays them.
                    const int noDelay = 1;
                    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &noDelay, sizeof noDelay);
                    channel.ssl.reset(SSL_new(tls_->Get()));
                    SSL_set_fd(channel.ssl.get(), fd);
                    // Whole blocks per read, as with recv above: the socket is read up to 256 KB at
                    // a time and the records are taken from there, not one read per 16 KB record.
                    SSL_set_read_ahead(channel.ssl.get(), 1);
                    SSL_set_default_read_buffer_len(channel.ssl.get(), kTlsReadAhead);
                    if (SSL_accept(channel.ssl.get()) != 1)
                        return;
                    pending.clear();
                    continue;
                }
                if (line.rfind("DATA", 0) == 0) {
                    channel.Reply("354 go\r\n");
                    inData = true;
                    pending.insert(0, "\r\n"); // the end mark may follow at once
                    continue;
                }
                channel.Reply("250 ok\r\n");
            }
        }
    }

    static constexpr size_t kTlsReadAhead = 256 * 1024;

    std::shared_ptr<TlsContext> tls_;
    int listener_ = -1;
    uint16_t port_ = 0;
    std::thread thread_;
};

} // namespace quillet::bench
