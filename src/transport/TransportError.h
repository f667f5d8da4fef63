// The errors of the transport: every failure of the line connection, the SMTP client and the
// message writer is raised as one of these, and what() is the text the user is shown.
#pragma once

#include <stdexcept>
#include <string>

namespace quillet {

class ETransportError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Errors that end a connection quietly (the peer closed it).
class ESilentTransportError : public ETransportError {
public:
    using ETransportError::ETransportError;
};

class EStackInitializationFailed : public ETransportError {
public:
    EStackInitializationFailed() : ETransportError("Winsock Initialization Error.") {}
};

class EAlreadyConnected : public ETransportError {
public:
    EAlreadyConnected() : ETransportError("Already connected.") {}
};

class EInvalidSocket : public ETransportError {
public:
    EInvalidSocket() : ETransportError("Cannot allocate socket.") {}
};

class ECouldNotBindSocket : public ETransportError {
public:
    ECouldNotBindSocket() : ETransportError("Could not bind socket. Address and port are already in use.") {}
};

// A socket error: "Socket Error # <code>\r\n<text>" with the Windows Sockets error number.
class ESocketError : public ETransportError {
public:
    ESocketError(int code, const std::string& message) : ETransportError(message), code_(code) {}
    int code() const { return code_; }

private:
    int code_;
};

// A connect through the connect thread failed; the message is that thread's error text.
class EConnectException : public ETransportError {
public:
    using ETransportError::ETransportError;
};

class EConnectTimeout : public ETransportError {
public:
    EConnectTimeout() : ETransportError("Connect timed out.") {}
};

class EConnClosedGracefully : public ESilentTransportError {
public:
    EConnClosedGracefully() : ESilentTransportError("Connection Closed Gracefully.") {}
};

class ENotConnected : public ETransportError {
public:
    ENotConnected() : ETransportError("Not Connected") {}
};

class EClosedSocket : public ETransportError {
public:
    EClosedSocket() : ETransportError("Disconnected.") {}
};

class EReadTimeout : public ETransportError {
public:
    EReadTimeout() : ETransportError("Read Timeout") {}
};

class EReadLnMaxLineLengthExceeded : public ETransportError {
public:
    EReadLnMaxLineLengthExceeded() : ETransportError("Max line length exceeded.") {}
};

// A reply whose code was not among the allowed ones: the message is the reply's text lines,
// each followed by CR LF.
class EProtocolReplyError : public ETransportError {
public:
    EProtocolReplyError(int code, const std::string& message) : ETransportError(message), code_(code) {}
    int code() const { return code_; }

private:
    int code_;
};

// The server refused the login (the reply to AUTH or to one of its steps): the credentials or
// the account are at fault, not the message, so no other message gets through this server either.
class EAuthenticationFailed : public EProtocolReplyError {
public:
    using EProtocolReplyError::EProtocolReplyError;
};

// A reply that goes on for more lines than any reply may have (a peer that never ends it).
class EReplyTooLong : public ETransportError {
public:
    EReplyTooLong() : ETransportError("Reply too long.") {}
};

// A wait for the server took longer than its time limit; the message names the server, the
// port and what was awaited. The connection is closed.
class ETimeLimitExceeded : public ETransportError {
public:
    using ETransportError::ETransportError;
};

// A stop was requested (StopSignal) while the connection waited; the connection is closed.
class EStopped : public ETransportError {
public:
    EStopped();
};

// TLS could not be set up or broke down (the reason from the TLS library).
class ETlsError : public ETransportError {
public:
    using ETransportError::ETransportError;
};

// The server's certificate is not trusted. The message names the host, the reason and the
// certificate's fingerprint; the parts are kept for an offer to trust it from now on.
class ECertificateRejected : public ETlsError {
public:
    ECertificateRejected(std::string host, unsigned port, std::string reason, std::string fingerprint);
    const std::string& host() const { return host_; }
    unsigned port() const { return port_; }
    const std::string& reason() const { return reason_; }
    const std::string& fingerprint() const { return fingerprint_; }

private:
    std::string host_;
    unsigned port_;
    std::string reason_;
    std::string fingerprint_;
};

// The server does not offer what the connection's settings require (TLS, a supported
// authentication method); nothing has been sent to it.
class EServerCapabilityMissing : public ETransportError {
public:
    using ETransportError::ETransportError;
};

// The message is larger than the server announced it takes (SIZE): it was not sent. The message
// names both sizes.
class EMessageTooLarge : public ETransportError {
public:
    using ETransportError::ETransportError;
};

// A file the message writer needs cannot be opened: "Cannot open file "%s". %s".
class EFileOpenError : public ETransportError {
public:
    using ETransportError::ETransportError;
};

} // namespace quillet
