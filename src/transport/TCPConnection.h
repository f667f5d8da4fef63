// A TCP connection that exchanges text lines and numbered replies in the manner of SMTP.
// Lines are written with CR LF and read up to LF (a CR before it is dropped); a reply is one or
// more lines beginning with a three-digit code. The client form TTCPClient connects to a host;
// the server adopts the socket of an accepted connection with Adopt() or the fd constructor.
//
// Every wait happens on the calling thread. When that thread has installed the user-interface
// hook (TAntiFreeze), waits are cut into slices and the hook is called between them and after
// every send; on other threads a wait is one blocking call.
//
// Writes leave at once, one send per Write or WriteLn, unless gathering is switched on: then the
// bytes are collected and sent in large pieces, and always before any reply is awaited, so the
// bytes on the wire are the same either way.
//
// Every wait (for bytes to read, for room to write, for a TLS handshake step) obeys the wait
// limit set by the owner and watches the stop signal given to the connection: a wait that runs
// out of time or sees the stop closes the connection and raises ETimeLimitExceeded or EStopped.
// Once TLS is started (StartTls), the same reading, writing and waiting go through it.
#pragma once

#include "transport/LineWriter.h"
#include "transport/LookBeforeSleep.h"
#include "transport/RFCReply.h"
#include "transport/TlsSession.h"

#include "project/FileDescriptor.h"

#include <cstddef>
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <netinet/in.h>
#include <sys/socket.h>

namespace quillet {

class StopSignal;

enum class TMaxLineAction { maException, maSplit };

class TTCPConnection : public LineWriter {
public:
    static constexpr int DefaultMaxLineLength = 16384;
    static constexpr int DefaultRecvBufferSize = 32768;
    // Consumed bytes at the front of the input buffer are dropped once this many have gathered.
    static constexpr size_t CompactThreshold = 32768;
    // The most lines one reply may have; a longer one raises "Reply too long.".
    static constexpr size_t MaxReplyLines = 1000;
    // While gathering, bytes are sent once this many are waiting.
    static constexpr size_t GatherLimit = 65536;

    TTCPConnection() = default;
    // Takes over an already connected socket (an accepted connection); it is closed with the object.
    explicit TTCPConnection(int socketFd);
    ~TTCPConnection() override;
    TTCPConnection(const TTCPConnection&) = delete;
    TTCPConnection& operator=(const TTCPConnection&) = delete;

    int ReadTimeout = 0;                        // milliseconds; 0 waits without limit
    int RecvBufferSize = DefaultRecvBufferSize; // the most bytes asked for in one receive
    int MaxLineLength = DefaultMaxLineLength;
    TMaxLineAction MaxLineAction = TMaxLineAction::maException;
    // How long (microseconds) a read keeps looking for bytes without waiting, giving the
    // processor to other threads between looks, before it sleeps until bytes arrive (through TLS
    // too; off the user-interface thread only). 0, the default, sleeps at once. A thread that has
    // not slept needs no wake-up: on a busy machine the sleep and the wake-up cost both sides
    // more than the looks. Once bytes took much longer than the looks to come (a server far
    // away), reads sleep at once until a reply comes quickly again.
    int ReadSpinMicroseconds = 0;

    // Takes over an already connected socket: empties the input buffer and clears the
    // closed-gracefully flag. Raises "Already connected." while a socket is held.
    void Adopt(int socketFd);
    // True while a socket is held; a close by the peer noticed earlier closes it first.
    bool Connected();
    // Shuts the socket down for sending and closes it. Harmless when not connected.
    virtual void Disconnect();

    void Write(std::string_view bytes) override;
    void WriteLn(std::string_view line) override;
    // The next line without its terminator (LF by default; one CR before an LF is dropped too).
    std::string ReadLn(std::string_view terminator = {}, int maxLength = -1);
    // The next line already received, by the rules of ReadLn, without waiting; nothing when no
    // whole line has arrived yet. An overlong line raises as in ReadLn. The line is seen in the
    // input buffer, without a copy: it stays valid until the next read or receive.
    std::optional<std::string_view> ReadLnBuffered(std::string_view terminator = {}, int maxLength = -1);
    // One receive of what has arrived, without waiting. False when nothing had arrived; true
    // when bytes were added to the input buffer or the peer closed (ClosedGracefully() is then
    // set and the socket closed).
    bool ReceiveAvailable();
    // Reads one reply into LastCmdResult() and returns its code; a code outside a non-empty
    // allowed list raises EProtocolReplyError with the reply's text.
    int GetResponse(const std::vector<int>& allowed = {});
    // WriteLn of the command, then GetResponse.
    int SendCmd(std::string_view command, const std::vector<int>& allowed = {});

    const TRFCReply& LastCmdResult() const { return lastReply_; }
    bool ClosedGracefully() const { return closedGracefully_; }
    // The socket handle, or -1.
    int Socket() const { return socket_.get(); }
    // Bytes received and not yet consumed by a read.
    size_t InputBufferSize() const { return end_ - begin_; }

    // A connection without a socket, for serving or reading a dialogue from memory (fuzzing,
    // tests): Feed hands it the peer's bytes, TakeWritten returns the bytes sent so far. It is
    // connected until Disconnect, or until a read finds every fed byte consumed: the peer has
    // then closed. Raises "Already connected." while a socket is held.
    void OpenInMemory();
    void Feed(std::string_view bytes);
    std::string TakeWritten();

    // Gathering of written bytes (see the file comment). Ending it sends what is waiting.
    void BeginGathering() { gathering_ = true; }
    void EndGathering();
    // Sends the gathered bytes now.
    void FlushWriteBuffer();
    // Sends as much of the gathered bytes as the socket takes without waiting; true when none
    // is left waiting.
    bool SendAvailable();
    size_t WriteBufferSize() const { return output_.size(); }

    // The limit of every wait from now on, in milliseconds, and what those waits are for, as the
    // time-limit error names it: `what`, or `what` put into `whatFormat` (a text constant with one
    // %s, which must outlive its use) when one is given; the text is made only for the error.
    // 0 leaves reads to ReadTimeout and lets writes wait without limit.
    void SetWaitLimit(int limitMs, std::string_view what, std::string_view whatFormat = {});
    int WaitLimit() const { return waitLimitMs_; }
    // The stop signal every wait watches; nullptr for none. The signal must outlive its use.
    void SetStopSignal(const StopSignal* signal) { stopSignal_ = signal; }
    const StopSignal* GetStopSignal() const { return stopSignal_; }
    // How long after the stop request waits still go on before they give up (0: not at all), for
    // work under way that a server answering at once completes (a message, the reply that
    // decides whether it counts). The time counts from the request, over all waits together.
    void SetStopGrace(int graceMs) { stopGraceMs_ = std::max(graceMs, 0); }
    int StopGrace() const { return stopGraceMs_; }
    // Calls `notice` once when waits have gone on for afterMs from now without the connection
    // being ready, and the waits go on (a word to the user that a server is slow); an empty
    // notice clears it.
    void SetWaitNotice(int afterMs, std::function<void()> notice);

    // Starts TLS on the connected socket (the client or the server side, as the context is made)
    // and completes the handshake within the wait limit. Bytes received in clear and not yet read
    // are dropped first: nothing sent before TLS is ever read as if it came through it. A failure
    // closes the connection and raises ETlsError naming `host`.
    void StartTls(std::shared_ptr<TlsContext> context, const std::string& host);
    const TlsSession* Tls() const { return tls_.get(); }

protected:
    // Takes a connected socket into use (for the client's connect).
    void AttachSocket(int socketFd);
    // Closes the socket without the status steps of Disconnect.
    void CloseSocket();
    // A close by the peer noticed earlier closes the socket; with raise set, raises
    // "Connection Closed Gracefully." when one happened.
    void CheckForDisconnect(bool raise);

    // The time-limit error's text for a wait for `what` that took longer than limitMs.
    virtual std::string TimeLimitText(const std::string& what, int limitMs) const;
    // Raises EStopped (after closing the connection) once the stop signal is set.
    void CheckStop();

    // A socket is held, or the connection is open in memory.
    bool IsOpen() const { return socket_.valid() || inMemory_; }

    FileDescriptor socket_;
    bool closedGracefully_ = false;

private:
    size_t SendOnce(const char* data, size_t size, int flags);
    size_t SendOnceTls(const char* data, size_t size);
    void SendAll(const char* data, size_t size);
    void CheckWritable();
    // Receives at least one byte into the input buffer, or returns with the connection closed.
    void ReadFromStack();
    // The looks of ReadSpinMicroseconds (none once a stop is asked for); true when bytes arrived
    // or the peer closed.
    bool ReceiveBeforeWaiting();
    bool ReceiveOnce(int flags);
    bool ReceiveOnceTls(size_t chunk);
    // Waits until the socket is ready for `events`; false when the hook closed the connection.
    // reading: the wait is for data to read (ReadTimeout applies when no wait limit is set).
    bool WaitSocket(short events, bool reading);
    // The poll events the next TLS step needs (POLLIN or POLLOUT), or `otherwise`.
    short TlsEvents(short otherwise) const;
    // The line rules applied to the bytes received so far: true when a line is there, with its
    // length (without the terminator) and the count of bytes it takes from the buffer.
    bool FindBufferedLine(std::string_view terminator, int maxLength, size_t& searched, size_t& length, size_t& taken);
    std::optional<std::string> TakeBufferedLine(std::string_view terminator, int maxLength, size_t& searched);
    void Consume(size_t count);
    // Moves the unconsumed bytes to the front of the buffer.
    void Compact();
    [[noreturn]] void RaiseMaxLineLength();

    std::vector<char> input_;
    size_t begin_ = 0; // first unconsumed byte
    size_t end_ = 0;   // end of the received bytes
    std::string output_;
    // The memory of the block last sent, kept for the next one (empty while a block is sent).
    std::string spareOutput_;
    bool gathering_ = false;
    LookBeforeSleep look_{{}, {}}; // spans from ReadSpinMicroseconds
    bool inMemory_ = false;
    std::string written_; // what an in-memory connection has sent
    TRFCReply lastReply_;
    std::vector<std::string> replyLines_; // the lines of the reply being read
    std::unique_ptr<TlsSession> tls_;
    TlsWant tlsWant_ = TlsWant::Nothing;
    int waitLimitMs_ = 0;
    std::string waitingFor_;
    std::string_view waitingForFormat_;
    const StopSignal* stopSignal_ = nullptr;
    int stopGraceMs_ = 0;
    std::function<void()> waitNotice_;
    std::chrono::steady_clock::time_point waitNoticeAt_;
};

// A socket address of either family, as the connect takes it.
struct SocketAddress {
    sockaddr_storage storage{};
    socklen_t length = 0;
    int Family() const { return storage.ss_family; }
};

class TTCPClient : public TTCPConnection {
public:
    // How long a connect through the connect thread may take when -1 is passed.
    static constexpr int DefaultConnectTimeout = 120000;

    std::string Host;
    uint16_t Port = 0;

    // Resolves Host and connects to Port, trying each of its addresses in order until one
    // connects (the last one's error is raised when none does). timeoutMs -1 selects the default:
    // with the user-interface hook a connect thread limited to 120 s, without it a connect without
    // limit. A positive value limits the connect to that many milliseconds in all either way.
    // The stop signal ends the connect at once with EStopped.
    void Connect(int timeoutMs = -1);

    // The address a host text stands for without a name lookup: the loopback name in any letter
    // case, or four full-stop-separated decimal numbers of 0 to 255.
    static std::optional<in_addr> LiteralHostAddress(std::string_view host);
    // True for an address of this machine's loopback: 127.0.0.0/8, ::1, and 127.x.x.x mapped into
    // IPv6. Nothing sent to such an address leaves the machine.
    static bool IsLoopbackAddress(const SocketAddress& address);
    // The address of the peer of the connected socket; an empty one (family 0) when there is none.
    SocketAddress PeerAddress() const;

    // The addresses of the host in the order to try them: a literal IPv4 address (as above) or
    // IPv6 address (also in brackets, "[::1]") stands for itself; any other name is looked up for
    // both families. A failed lookup raises its socket error ("Host not found.").
    static std::vector<SocketAddress> ResolveAddresses(const std::string& host, uint16_t port);

protected:
    std::string TimeLimitText(const std::string& what, int limitMs) const override;
};

} // namespace quillet
