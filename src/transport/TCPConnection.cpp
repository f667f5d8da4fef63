// Line reading, reply reading and writing over a connected socket.
#include "transport/TCPConnection.h"

#include "transport/AntiFreeze.h"
#include "transport/MessageTexts.h"
#include "transport/SocketError.h"
#include "transport/StopSignal.h"
#include "transport/TransportError.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <utility>

#include <fcntl.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace quillet {

TTCPConnection::TTCPConnection(int socketFd)
{
    AttachSocket(socketFd);
}

TTCPConnection::~TTCPConnection() = default;

void TTCPConnection::Adopt(int socketFd)
{
    if (IsOpen())
        throw EAlreadyConnected();
    AttachSocket(socketFd);
}

void TTCPConnection::AttachSocket(int socketFd)
{
    tls_.reset();
    tlsWant_ = TlsWant::Nothing;
    socket_.reset(socketFd);
    inMemory_ = false;
    begin_ = end_ = 0;
    output_.clear();
    gathering_ = false;
    closedGracefully_ = false;
    look_.Reset();
}

void TTCPConnection::OpenInMemory()
{
    if (IsOpen())
        throw EAlreadyConnected();
    AttachSocket(-1);
    inMemory_ = true;
    written_.clear();
}

void TTCPConnection::Feed(std::string_view bytes)
{
    if (begin_ == end_)
        begin_ = end_ = 0;
    if (input_.size() < end_ + bytes.size())
        input_.resize(end_ + bytes.size());
    if (!bytes.empty())
        std::memcpy(input_.data() + end_, bytes.data(), bytes.size());
    end_ += bytes.size();
}

std::string TTCPConnection::TakeWritten()
{
    return std::exchange(written_, {});
}

void TTCPConnection::CloseSocket()
{
    if (!IsOpen())
        return;
    tls_.reset();
    tlsWant_ = TlsWant::Nothing;
    socket_.reset();
    inMemory_ = false;
    output_.clear();
    gathering_ = false;
}

void TTCPConnection::CheckForDisconnect(bool raise)
{
    if (closedGracefully_ && IsOpen())
        CloseSocket();
    if (raise && closedGracefully_)
        throw EConnClosedGracefully();
}

bool TTCPConnection::Connected()
{
    CheckForDisconnect(false);
    return IsOpen();
}

void TTCPConnection::Disconnect()
{
    if (socket_.valid()) {
        if (tls_)
            tls_->Shutdown();
        ::shutdown(socket_.get(), SHUT_WR);
    }
    CloseSocket();
    closedGracefully_ = true;
}

// --- Waits, stop and TLS ---

void TTCPConnection::SetWaitLimit(int limitMs, std::string_view what, std::string_view whatFormat)
{
    waitLimitMs_ = std::max(limitMs, 0);
    waitingFor_.assign(what); // in the memory of the texts before
    waitingForFormat_ = whatFormat;
}

void TTCPConnection::SetWaitNotice(int afterMs, std::function<void()> notice)
{
    waitNotice_ = std::move(notice);
    waitNoticeAt_ = std::chrono::steady_clock::now() + std::chrono::milliseconds(std::max(afterMs, 0));
}

namespace {

// Whole seconds without decimals, else tenths ("0.3").
std::string SecondsText(int limitMs)
{
    char text[32];
    if (limitMs % 1000 == 0)
        std::snprintf(text, sizeof text, "%d", limitMs / 1000);
    else
        std::snprintf(text, sizeof text, "%.1f", limitMs / 1000.0);
    return text;
}

} // namespace

std::string TTCPConnection::TimeLimitText(const std::string& what, int limitMs) const
{
    return FormatText(kTimeLimitFormat, {SecondsText(limitMs), what, "-", "-"});
}

std::string TTCPClient::TimeLimitText(const std::string& what, int limitMs) const
{
    return FormatText(kTimeLimitFormat, {SecondsText(limitMs), what, Host, std::to_string(Port)});
}

void TTCPConnection::CheckStop()
{
    if (stopSignal_ && stopSignal_->Requested()) {
        CloseSocket();
        throw EStopped();
    }
}

short TTCPConnection::TlsEvents(short otherwise) const
{
    if (tls_ && tlsWant_ == TlsWant::Read)
        return POLLIN;
    if (tls_ && tlsWant_ == TlsWant::Write)
        return POLLOUT;
    return otherwise;
}

void TTCPConnection::StartTls(std::shared_ptr<TlsContext> context, const std::string& host)
{
    CheckWritable();
    FlushWriteBuffer();
    begin_ = end_ = 0;
    const int flags = ::fcntl(socket_.get(), F_GETFL);
    ::fcntl(socket_.get(), F_SETFL, flags | O_NONBLOCK);
    // TLS writes its records in several small sends (the handshake's last flight, then the
    // first command): with Nagle's algorithm the second waits for the peer's delayed
    // acknowledgement of the first, some 40 ms each time. Every write here is a whole record or
    // a gathered block already.
    const int noDelay = 1;
    ::setsockopt(socket_.get(), IPPROTO_TCP, TCP_NODELAY, &noDelay, sizeof noDelay);
    try {
        tls_ = std::make_unique<TlsSession>(std::move(context), socket_.get(), host);
        for (;;) {
            tlsWant_ = tls_->Handshake();
            if (tlsWant_ == TlsWant::Nothing)
                break;
            if (!WaitSocket(TlsEvents(POLLIN), false))
                throw EClosedSocket();
        }
    } catch (const ETlsError& e) {
        CloseSocket();
        throw ETlsError(FormatText(kTlsErrorFormat, {host, e.what()}));
    } catch (...) {
        CloseSocket();
        throw;
    }
}

// --- Writing ---

void TTCPConnection::CheckWritable()
{
    CheckForDisconnect(true);
    if (!IsOpen())
        throw ENotConnected();
}

// One send of the bytes; the count sent, or 0 when the socket would have to wait (only with
// MSG_DONTWAIT among the flags).
size_t TTCPConnection::SendOnce(const char* data, size_t size, int flags)
{
    if (inMemory_) {
        written_.append(data, size);
        return size;
    }
    if (tls_)
        return SendOnceTls(data, size);
    for (;;) {
        const ssize_t sent = ::send(socket_.get(), data, size, flags | MSG_NOSIGNAL);
        if (sent > 0)
            return static_cast<size_t>(sent);
        if (sent == 0) {
            closedGracefully_ = true;
            CheckForDisconnect(true);
        }
        if (errno == EINTR)
            continue;
        if ((flags & MSG_DONTWAIT) && (errno == EAGAIN || errno == EWOULDBLOCK))
            return 0;
        const int code = SocketErrorFromErrno(errno);
        if (code == WSAECONNABORTED || code == WSAECONNRESET || code == WSAESHUTDOWN)
            CloseSocket();
        RaiseSocketError(code);
    }
}

// One write through TLS; 0 when TLS has to wait (tlsWant_ tells for what).
size_t TTCPConnection::SendOnceTls(const char* data, size_t size)
{
    TlsSession::Transfer result;
    try {
        result = tls_->Write(data, size);
    } catch (const ETlsError&) {
        CloseSocket();
        throw;
    }
    tlsWant_ = result.want;
    if (result.closed) {
        closedGracefully_ = true;
        CheckForDisconnect(true);
    }
    return result.bytes;
}

void TTCPConnection::SendAll(const char* data, size_t size)
{
    CheckWritable();
    while (size > 0) {
        if (!IsOpen()) // the hook closed the connection between two sends
            throw EClosedSocket();
        const size_t sent = SendOnce(data, size, MSG_DONTWAIT);
        if (sent == 0) {
            if (!WaitSocket(TlsEvents(POLLOUT), false))
                throw EClosedSocket();
            continue;
        }
        data += sent;
        size -= sent;
        TAntiFreeze::DoProcess();
    }
}

void TTCPConnection::Write(std::string_view bytes)
{
    if (bytes.empty())
        return;
    if (gathering_) {
        CheckWritable();
        if (bytes.size() >= GatherLimit) {
            // A large block (an attachment's lines) goes out as it is, after what is waiting.
            FlushWriteBuffer();
            SendAll(bytes.data(), bytes.size());
            return;
        }
        output_.append(bytes);
        if (output_.size() >= GatherLimit)
            FlushWriteBuffer();
        return;
    }
    SendAll(bytes.data(), bytes.size());
}

void TTCPConnection::WriteLn(std::string_view line)
{
    if (gathering_) {
        CheckWritable();
        output_.append(line);
        output_.append("\r\n", 2);
        if (output_.size() >= GatherLimit)
            FlushWriteBuffer();
        return;
    }
    // A command line goes out in one send.
    constexpr size_t kShortLine = 512;
    if (line.size() + 2 <= kShortLine) {
        char bytes[kShortLine];
        std::memcpy(bytes, line.data(), line.size());
        std::memcpy(bytes + line.size(), "\r\n", 2);
        SendAll(bytes, line.size() + 2);
        return;
    }
    std::string bytes;
    bytes.reserve(line.size() + 2);
    bytes.append(line);
    bytes.append("\r\n", 2);
    SendAll(bytes.data(), bytes.size());
}

void TTCPConnection::FlushWriteBuffer()
{
    if (output_.empty())
        return;
    // The block leaves from a buffer of its own, so whatever is written meanwhile (from events
    // processed during a wait) gathers afresh; the memory of small blocks serves the next ones.
    std::string pending = std::move(spareOutput_);
    pending.clear();
    pending.swap(output_);
    SendAll(pending.data(), pending.size());
    // A large block's memory is not held on to: a connection that sent one may sit idle.
    constexpr size_t kSpareOutputLimit = 16 * 1024;
    pending.clear();
    if (pending.capacity() <= kSpareOutputLimit)
        spareOutput_ = std::move(pending);
}

void TTCPConnection::EndGathering()
{
    gathering_ = false;
    FlushWriteBuffer();
}

bool TTCPConnection::SendAvailable()
{
    if (output_.empty())
        return true;
    CheckWritable();
    size_t done = 0;
    while (done < output_.size()) {
        const size_t sent = SendOnce(output_.data() + done, output_.size() - done, MSG_DONTWAIT);
        if (sent == 0)
            break;
        done += sent;
    }
    output_.erase(0, done);
    return output_.empty();
}

// --- Receiving ---

bool TTCPConnection::WaitSocket(short events, bool reading)
{
    if (inMemory_)
        return true;
    const bool sliced = TAntiFreeze::Applies();
    const int limit = waitLimitMs_ > 0 ? waitLimitMs_ : reading ? ReadTimeout : 0;
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(limit);
    std::optional<Clock::time_point> graceEnd; // set once the stop is seen, with a grace
    auto stopSeen = [&] {
        if (!stopSignal_ || !stopSignal_->Requested())
            return false;
        if (stopGraceMs_ > 0 && !graceEnd)
            graceEnd = stopSignal_->RequestedAt() + std::chrono::milliseconds(stopGraceMs_);
        return !graceEnd || Clock::now() >= *graceEnd;
    };
    for (;;) {
        if (stopSeen())
            CheckStop();
        int wait = -1;
        if (limit > 0) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
            if (left <= 0) {
                if (waitLimitMs_ <= 0)
                    throw EReadTimeout();
                CloseSocket();
                throw ETimeLimitExceeded(TimeLimitText(waitingForFormat_.empty()
                                                           ? waitingFor_
                                                           : FormatText(waitingForFormat_, {waitingFor_}),
                                                       waitLimitMs_));
            }
            wait = static_cast<int>(left);
        }
        if (graceEnd) {
            const auto left = std::max<long long>(
                std::chrono::duration_cast<std::chrono::milliseconds>(*graceEnd - Clock::now()).count(), 0);
            wait = wait < 0 ? static_cast<int>(left) : std::min(wait, static_cast<int>(left));
        }
        if (waitNotice_) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(waitNoticeAt_ - Clock::now()).count();
            if (left <= 0) {
                std::exchange(waitNotice_, nullptr)();
                continue;
            }
            wait = wait < 0 ? static_cast<int>(left) : std::min(wait, static_cast<int>(left));
        }
        if (sliced)
            wait = wait < 0 ? TAntiFreeze::IdleTimeOut : std::min(wait, TAntiFreeze::IdleTimeOut);
        // During the grace the stop signal is not watched any more (it stays readable).
        const bool watchStop = stopSignal_ && !graceEnd;
        pollfd p[2] = {{socket_.get(), events, 0}, {watchStop ? stopSignal_->Fd() : -1, POLLIN, 0}};
        const int ready = ::poll(p, watchStop ? 2 : 1, wait);
        if (ready < 0 && errno != EINTR)
            RaiseSocketError(SocketErrorFromErrno(errno));
        if (sliced) {
            TAntiFreeze::DoProcess();
            if (!IsOpen())
                return false;
        }
        if (ready > 0 && p[0].revents != 0)
            return true;
        if (stopSeen())
            CheckStop();
    }
}

void TTCPConnection::ReadFromStack()
{
    // Bytes TLS has already decrypted are read before any wait.
    bool waited = tls_ && tls_->Pending();
    if (!waited && ReceiveBeforeWaiting())
        return;
    const bool timed = !waited && ReadSpinMicroseconds > 0;
    const auto sleepFrom = timed ? LookBeforeSleep::Clock::now() : LookBeforeSleep::Clock::time_point{};
    while (IsOpen()) {
        if (!waited && !WaitSocket(TlsEvents(POLLIN), true))
            throw EClosedSocket();
        waited = false;
        if (ReceiveOnce(tls_ ? MSG_DONTWAIT : 0)) {
            if (timed)
                look_.Slept(sleepFrom);
            return;
        }
    }
}

bool TTCPConnection::ReceiveBeforeWaiting()
{
    if (ReadSpinMicroseconds <= 0 || !socket_.valid() || TAntiFreeze::Applies())
        return false;
    // Bytes that came within a few times the looks would mostly have been found by them.
    const std::chrono::microseconds span(ReadSpinMicroseconds);
    look_.SetSpans(span, 4 * span);
    bool stopped = false;
    const bool found = look_.Look([&] {
        stopped = stopSignal_ && stopSignal_->Requested(); // the wait sees to the stop
        return stopped || ReceiveOnce(MSG_DONTWAIT);
    });
    return found && !stopped;
}

bool TTCPConnection::ReceiveAvailable()
{
    if (!IsOpen())
        throw ENotConnected();
    return ReceiveOnce(MSG_DONTWAIT);
}

// One receive into the input buffer. True when bytes arrived or the connection closed
// (ClosedGracefully); false when nothing had arrived (only with MSG_DONTWAIT among the flags).
bool TTCPConnection::ReceiveOnce(int flags)
{
    const size_t chunk = static_cast<size_t>(std::max(RecvBufferSize, 1));
    if (begin_ == end_)
        begin_ = end_ = 0;
    if (inMemory_) {
        // Everything the peer sends was fed before: it has closed.
        closedGracefully_ = true;
        CheckForDisconnect(false);
        return true;
    }
    if (input_.size() < end_ + chunk)
        input_.resize(end_ + chunk);
    if (tls_)
        return ReceiveOnceTls(chunk);
    for (;;) {
        const ssize_t received = ::recv(socket_.get(), input_.data() + end_, chunk, flags);
        if (received > 0) {
            end_ += static_cast<size_t>(received);
            return true;
        }
        if (received == 0) {
            closedGracefully_ = true;
            CheckForDisconnect(false);
            return true;
        }
        if (errno == EINTR)
            continue;
        if ((flags & MSG_DONTWAIT) && (errno == EAGAIN || errno == EWOULDBLOCK))
            return false;
        const int code = SocketErrorFromErrno(errno);
        if (code == WSAECONNABORTED || code == WSAESHUTDOWN) {
            CloseSocket();
            if (end_ > begin_) {
                closedGracefully_ = true;
                return true;
            }
        }
        RaiseSocketError(code);
    }
}

// One read through TLS into the input buffer, by the rules of ReceiveOnce; false when TLS has to
// wait (tlsWant_ tells for what).
bool TTCPConnection::ReceiveOnceTls(size_t chunk)
{
    TlsSession::Transfer result;
    try {
        result = tls_->Read(input_.data() + end_, chunk);
    } catch (const ETlsError&) {
        CloseSocket();
        throw;
    }
    tlsWant_ = result.want;
    if (result.bytes > 0) {
        end_ += result.bytes;
        return true;
    }
    if (result.closed) {
        closedGracefully_ = true;
        CheckForDisconnect(false);
        return true;
    }
    return false;
}

void TTCPConnection::Consume(size_t count)
{
    begin_ += count;
    if (begin_ == end_)
        begin_ = end_ = 0;
    else if (begin_ >= CompactThreshold)
        Compact();
}

void TTCPConnection::Compact()
{
    std::memmove(input_.data(), input_.data() + begin_, end_ - begin_);
    end_ -= begin_;
    begin_ = 0;
}

void TTCPConnection::RaiseMaxLineLength()
{
    throw EReadLnMaxLineLengthExceeded();
}

std::string TTCPConnection::ReadLn(std::string_view terminator, int maxLength)
{
    FlushWriteBuffer();
    size_t searched = 0; // bytes after begin_ already searched
    for (;;) {
        if (std::optional<std::string> line = TakeBufferedLine(terminator, maxLength, searched))
            return std::move(*line);
        CheckForDisconnect(true);
        if (!IsOpen())
            throw ENotConnected();
        ReadFromStack();
    }
}

std::optional<std::string_view> TTCPConnection::ReadLnBuffered(std::string_view terminator, int maxLength)
{
    // The line handed out before is no longer needed, so the bytes may move now; the line taken
    // here stays where it is until the next call.
    if (begin_ >= CompactThreshold)
        Compact();
    size_t searched = 0;
    size_t length = 0;
    size_t taken = 0;
    if (!FindBufferedLine(terminator, maxLength, searched, length, taken))
        return std::nullopt;
    const std::string_view line(input_.data() + begin_, length);
    begin_ += taken;
    return line;
}

std::optional<std::string> TTCPConnection::TakeBufferedLine(std::string_view terminator, int maxLength,
                                                            size_t& searched)
{
    size_t length = 0;
    size_t taken = 0;
    if (!FindBufferedLine(terminator, maxLength, searched, length, taken))
        return std::nullopt;
    std::string line(input_.data() + begin_, length);
    Consume(taken);
    return line;
}

// `searched` carries over the bytes already searched between calls of one ReadLn, so a long line
// is not searched again.
bool TTCPConnection::FindBufferedLine(std::string_view terminator, int maxLength, size_t& searched, size_t& length,
                                      size_t& taken)
{
    if (terminator.empty())
        terminator = "\n";
    const size_t limit = static_cast<size_t>(maxLength < 0 ? MaxLineLength : maxLength);
    const char* start = input_.data() + begin_;
    const size_t available = end_ - begin_;
    const char* found = nullptr;
    if (available >= terminator.size()) {
        const char* from = start + searched;
        const char* stop = start + available;
        if (terminator.size() == 1) {
            found = static_cast<const char*>(std::memchr(from, terminator[0], static_cast<size_t>(stop - from)));
        } else {
            const char* hit = std::search(from, stop, terminator.begin(), terminator.end());
            found = hit == stop ? nullptr : hit;
        }
    }
    if (found) {
        length = static_cast<size_t>(found - start);
        if (length > limit) {
            if (MaxLineAction == TMaxLineAction::maException)
                RaiseMaxLineLength();
            length = taken = limit;
            return true;
        }
        taken = length + terminator.size();
        if (terminator == "\n" && length > 0 && start[length - 1] == '\r')
            --length;
        return true;
    }
    if (available > limit) {
        if (MaxLineAction == TMaxLineAction::maException)
            RaiseMaxLineLength();
        length = taken = limit;
        return true;
    }
    searched = available >= terminator.size() ? available - (terminator.size() - 1) : 0;
    return false;
}

// --- Replies ---

namespace {

// The next non-empty line, trimmed in its own memory.
std::string ReadReplyLine(TTCPConnection& connection)
{
    for (;;) {
        std::string line = connection.ReadLn();
        const std::string_view trimmed = TrimmedView(line);
        if (trimmed.empty())
            continue;
        line.erase(static_cast<size_t>(trimmed.data() - line.data()) + trimmed.size());
        line.erase(0, static_cast<size_t>(trimmed.data() - line.data()));
        return line;
    }
}

} // namespace

int TTCPConnection::GetResponse(const std::vector<int>& allowed)
{
    // The list's memory serves every reply of the connection.
    std::vector<std::string>& lines = replyLines_;
    lines.clear();
    lines.push_back(ReadReplyLine(*this));
    if (IsReplyContinued(lines.front())) {
        for (;;) {
            if (lines.size() >= MaxReplyLines)
                throw EReplyTooLong();
            lines.push_back(ReadReplyLine(*this));
            if (IsReplyLastLine(lines.front(), lines.back()))
                break;
        }
    }
    lastReply_.Parse(lines);
    const int code = lastReply_.NumericCode;
    if (!allowed.empty() && std::find(allowed.begin(), allowed.end(), code) == allowed.end())
        throw EProtocolReplyError(code, lastReply_.FormattedText());
    return code;
}

int TTCPConnection::SendCmd(std::string_view command, const std::vector<int>& allowed)
{
    WriteLn(command);
    return GetResponse(allowed);
}

} // namespace quillet
