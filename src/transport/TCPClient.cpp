// The client side of the line connection: host resolution and connect. With the user-interface
// hook installed on the calling thread the connect is made by a short-lived connect thread while
// the calling thread waits in short slices, calling the hook, for a limited time.
#include "transport/TCPConnection.h"

#include "project/FileDescriptor.h"
#include "transport/AntiFreeze.h"
#include "transport/SocketError.h"
#include "transport/StopSignal.h"
#include "transport/TransportError.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <exception>
#include <fcntl.h>
#include <mutex>
#include <netdb.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <utility>

namespace quillet {

namespace {

constexpr const char* kLoopbackName = "localhost";

bool SameLettersCaseless(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z')
            x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z')
            y = static_cast<char>(y - 'A' + 'a');
        if (x != y)
            return false;
    }
    return true;
}

// Connects the socket and waits until the connect completes or fails (the result is 0 or the
// errno), until cancelFd (when not -1) becomes readable (result ECANCELED), or until limitMs
// have passed (limitMs -1: no limit; timedOut is set). The socket is blocking again afterwards.
int ConnectWaiting(int fd, const SocketAddress& address, int cancelFd, int limitMs, bool& timedOut)
{
    timedOut = false;
    const int flags = ::fcntl(fd, F_GETFL);
    ::fcntl(fd, F_SETFL, flags | O_NONBLOCK);
    int result = 0;
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address.storage), address.length) < 0) {
        result = errno;
        if (result == EINPROGRESS || result == EINTR) {
            pollfd waits[2] = {{fd, POLLOUT, 0}, {cancelFd, POLLIN, 0}};
            const nfds_t count = cancelFd >= 0 ? 2 : 1;
            using Clock = std::chrono::steady_clock;
            const auto deadline = Clock::now() + std::chrono::milliseconds(limitMs);
            for (;;) {
                int wait = -1;
                if (limitMs >= 0) {
                    const auto left =
                        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
                    if (left <= 0) {
                        timedOut = true;
                        result = ETIMEDOUT;
                        break;
                    }
                    wait = static_cast<int>(left);
                }
                const int ready = ::poll(waits, count, wait);
                if (ready < 0) {
                    if (errno == EINTR)
                        continue;
                    result = errno;
                    break;
                }
                if (ready == 0)
                    continue;
                if (count == 2 && (waits[1].revents & POLLIN)) {
                    result = ECANCELED;
                    break;
                }
                int error = 0;
                socklen_t length = sizeof error;
                if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) < 0)
                    error = errno;
                result = error;
                break;
            }
        }
    }
    ::fcntl(fd, F_SETFL, flags);
    return result;
}

// The connect thread and the state it shares with the waiting thread.
class ConnectThread {
public:
    ConnectThread(int fd, const SocketAddress& address) : cancel_(::eventfd(0, EFD_CLOEXEC))
    {
        if (cancel_.get() < 0)
            RaiseSocketError(SocketErrorFromErrno(errno));
        thread_ = std::thread([this, fd, address] {
            bool timedOut = false;
            const int result = ConnectWaiting(fd, address, cancel_.get(), -1, timedOut);
            std::lock_guard lock(mutex_);
            result_ = result;
            done_ = true;
            finished_.notify_all();
        });
    }
    ~ConnectThread() { Stop(); }
    ConnectThread(const ConnectThread&) = delete;
    ConnectThread& operator=(const ConnectThread&) = delete;

    // Waits at most the time given; true when the connect thread has finished.
    bool WaitFor(std::chrono::milliseconds time)
    {
        std::unique_lock lock(mutex_);
        return finished_.wait_for(lock, time, [this] { return done_; });
    }
    // Cancels a connect still in progress and awaits the thread.
    void Stop()
    {
        if (!thread_.joinable())
            return;
        const uint64_t one = 1;
        [[maybe_unused]] const ssize_t written = ::write(cancel_.get(), &one, sizeof one);
        thread_.join();
    }
    int Result()
    {
        std::lock_guard lock(mutex_);
        return result_;
    }

private:
    FileDescriptor cancel_;
    std::mutex mutex_;
    std::condition_variable finished_;
    bool done_ = false;
    int result_ = 0;
    std::thread thread_;
};

} // namespace

std::optional<in_addr> TTCPClient::LiteralHostAddress(std::string_view host)
{
    in_addr address{};
    if (SameLettersCaseless(host, kLoopbackName)) {
        address.s_addr = htonl(INADDR_LOOPBACK);
        return address;
    }
    uint32_t value = 0;
    int parts = 0;
    size_t i = 0;
    while (parts < 4) {
        size_t digits = 0;
        unsigned part = 0;
        while (i < host.size() && host[i] >= '0' && host[i] <= '9' && digits < 4) {
            part = part * 10 + static_cast<unsigned>(host[i] - '0');
            ++i;
            ++digits;
        }
        if (digits == 0 || digits > 3 || part > 255)
            return std::nullopt;
        value = (value << 8) | part;
        ++parts;
        if (parts < 4) {
            if (i >= host.size() || host[i] != '.')
                return std::nullopt;
            ++i;
        }
    }
    if (i != host.size())
        return std::nullopt;
    address.s_addr = htonl(value);
    return address;
}

bool TTCPClient::IsLoopbackAddress(const SocketAddress& address)
{
    if (address.Family() == AF_INET) {
        const auto& ipv4 = reinterpret_cast<const sockaddr_in&>(address.storage);
        return (ntohl(ipv4.sin_addr.s_addr) >> 24) == 127;
    }
    if (address.Family() == AF_INET6) {
        const in6_addr& ipv6 = reinterpret_cast<const sockaddr_in6&>(address.storage).sin6_addr;
        if (IN6_IS_ADDR_LOOPBACK(&ipv6))
            return true;
        return IN6_IS_ADDR_V4MAPPED(&ipv6) && ipv6.s6_addr[12] == 127;
    }
    return false;
}

SocketAddress TTCPClient::PeerAddress() const
{
    SocketAddress address;
    address.length = sizeof address.storage;
    if (!socket_.valid() ||
        ::getpeername(socket_.get(), reinterpret_cast<sockaddr*>(&address.storage), &address.length) != 0)
        return {};
    return address;
}

std::vector<SocketAddress> TTCPClient::ResolveAddresses(const std::string& host, uint16_t port)
{
    std::string name = host;
    if (name.size() >= 2 && name.front() == '[' && name.back() == ']')
        name = name.substr(1, name.size() - 2);
    SocketAddress literal;
    if (const std::optional<in_addr> address = LiteralHostAddress(name)) {
        auto& ipv4 = reinterpret_cast<sockaddr_in&>(literal.storage);
        ipv4.sin_family = AF_INET;
        ipv4.sin_addr = *address;
        ipv4.sin_port = htons(port);
        literal.length = sizeof ipv4;
        return {literal};
    }
    if (auto& ipv6 = reinterpret_cast<sockaddr_in6&>(literal.storage);
        ::inet_pton(AF_INET6, name.c_str(), &ipv6.sin6_addr) == 1) {
        ipv6.sin6_family = AF_INET6;
        ipv6.sin6_port = htons(port);
        literal.length = sizeof ipv6;
        return {literal};
    }
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const int result = ::getaddrinfo(name.c_str(), nullptr, &hints, &found);
    if (result != 0 || found == nullptr) {
        const int err = errno;
        if (found)
            ::freeaddrinfo(found);
        RaiseSocketError(SocketErrorFromLookup(result == 0 ? EAI_NONAME : result, err));
    }
    std::vector<SocketAddress> addresses;
    for (const addrinfo* entry = found; entry; entry = entry->ai_next) {
        if ((entry->ai_family != AF_INET && entry->ai_family != AF_INET6) || entry->ai_addrlen > sizeof literal.storage)
            continue;
        SocketAddress address;
        std::memcpy(&address.storage, entry->ai_addr, entry->ai_addrlen);
        address.length = entry->ai_addrlen;
        if (address.Family() == AF_INET)
            reinterpret_cast<sockaddr_in&>(address.storage).sin_port = htons(port);
        else
            reinterpret_cast<sockaddr_in6&>(address.storage).sin6_port = htons(port);
        const bool seen = std::any_of(addresses.begin(), addresses.end(), [&](const SocketAddress& other) {
            return other.length == address.length && std::memcmp(&other.storage, &address.storage, address.length) == 0;
        });
        if (!seen)
            addresses.push_back(address);
    }
    ::freeaddrinfo(found);
    if (addresses.empty())
        RaiseSocketError(SocketErrorFromLookup(EAI_NONAME, 0));
    return addresses;
}

namespace {

using Clock = std::chrono::steady_clock;

// One attempt to connect to one address (steps 3 and 5 of the connect); the connected socket.
// deadline: when the whole connect must have ended (none when limited is false).
FileDescriptor ConnectTo(const SocketAddress& remote, bool limited, Clock::time_point deadline, const StopSignal* stop)
{
    // 3. The socket, bound to any local address and an ephemeral port.
    FileDescriptor socketFd(::socket(remote.Family(), SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!socketFd.valid())
        throw EInvalidSocket();
    SocketAddress local;
    local.storage.ss_family = static_cast<sa_family_t>(remote.Family());
    local.length = remote.Family() == AF_INET ? sizeof(sockaddr_in) : sizeof(sockaddr_in6);
    if (::bind(socketFd.get(), reinterpret_cast<const sockaddr*>(&local.storage), local.length) < 0) {
        if (errno == EADDRINUSE)
            throw ECouldNotBindSocket();
        RaiseSocketError(SocketErrorFromErrno(errno));
    }
    auto msLeft = [&] { return std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()); };

    // 5. The connect itself.
    if (TAntiFreeze::Applies()) {
        ConnectThread connecting(socketFd.get(), remote);
        for (;;) {
            const auto left = msLeft();
            if (left.count() <= 0) {
                connecting.Stop();
                throw EConnectTimeout();
            }
            const bool finished =
                connecting.WaitFor(std::min(left, std::chrono::milliseconds(TAntiFreeze::ConnectSlice)));
            TAntiFreeze::DoProcess();
            if (stop && stop->Requested()) {
                connecting.Stop();
                throw EStopped();
            }
            if (finished)
                break;
        }
        connecting.Stop();
        if (const int error = connecting.Result(); error != 0 && error != ECANCELED)
            throw EConnectException(SocketErrorMessage(SocketErrorFromErrno(error)));
    } else {
        bool timedOut = false;
        const int limit = limited ? static_cast<int>(std::max<long long>(msLeft().count(), 0)) : -1;
        const int error = ConnectWaiting(socketFd.get(), remote, stop ? stop->Fd() : -1, limit, timedOut);
        if (timedOut)
            throw EConnectTimeout();
        if (error == ECANCELED)
            throw EStopped();
        if (error != 0)
            RaiseSocketError(SocketErrorFromErrno(error));
    }

    // Lines and replies are written whole, so the small-packet delay only slows the dialogue.
    const int one = 1;
    ::setsockopt(socketFd.get(), IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    return socketFd;
}

} // namespace

void TTCPClient::Connect(int timeoutMs)
{
    // 1-2. Only one connection at a time; each connect starts afresh.
    if (IsOpen())
        throw EAlreadyConnected();
    AttachSocket(-1);
    CheckStop();

    // 4. The remote addresses, tried in order; the time limit covers them all.
    const std::vector<SocketAddress> addresses = ResolveAddresses(Host, Port);
    const int limit = timeoutMs > 0 ? timeoutMs : TAntiFreeze::Applies() ? DefaultConnectTimeout : -1;
    const auto deadline = Clock::now() + std::chrono::milliseconds(std::max(limit, 0));
    std::exception_ptr lastError;
    for (const SocketAddress& address : addresses) {
        try {
            FileDescriptor socketFd = ConnectTo(address, limit > 0, deadline, GetStopSignal());
            AttachSocket(socketFd.release());
            return;
        } catch (const EConnectTimeout&) {
            throw;
        } catch (const EStopped&) {
            throw;
        } catch (const ETransportError&) {
            lastError = std::current_exception();
        }
    }
    std::rethrow_exception(lastError);
}

} // namespace quillet
