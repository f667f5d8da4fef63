// TLS over a connected socket, with OpenSSL. A TlsContext holds what every connection of one
// kind shares (the trusted certificates of a client; the certificate and key of a server); a
// TlsSession is the TLS state of one connection. Both own their OpenSSL objects and free them
// with themselves.
//
// The socket is non-blocking while TLS runs: every step returns what it needs to go on (bytes
// to read or room to write) and the line connection does the waiting, so the time limits, the
// stop signal and the user-interface hook work the same over TLS as over plain TCP.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct ssl_st;
struct ssl_ctx_st;
struct x509_store_st;

namespace quillet {

struct SslContextFree {
    void operator()(ssl_ctx_st* context) const noexcept;
};
struct SslFree {
    void operator()(ssl_st* ssl) const noexcept;
};
struct X509StoreFree {
    void operator()(x509_store_st* store) const noexcept;
};

class TlsContext {
public:
    // A client's context: the system's trust store, and the certificates of the PEM file caFile
    // when it is not empty. Raises ETlsError when the file cannot be used. The handshake checks
    // the server's chain against the file's certificates alone; only a chain they do not vouch
    // for is checked again against the system's store with them (FullTrust), so the system's
    // store is not read at all for a server the file vouches for.
    static std::shared_ptr<TlsContext> Client(const std::string& caFile = {});
    // A server's context from a PEM certificate chain and its private key (the peers of tests
    // and benchmarks).
    static std::shared_ptr<TlsContext> Server(const std::string& certificateFile, const std::string& keyFile);

    ssl_ctx_st* Get() const { return context_.get(); }
    bool ForClient() const { return client_; }
    const std::string& CaFile() const { return caFile_; }
    // The system's trusted certificates and the file's together, read at the first call.
    x509_store_st* FullTrust() const;

private:
    TlsContext(ssl_ctx_st* context, bool client, std::string caFile);

    std::unique_ptr<ssl_ctx_st, SslContextFree> context_;
    bool client_;
    std::string caFile_;
    mutable std::once_flag fullTrustOnce_;
    mutable std::unique_ptr<x509_store_st, X509StoreFree> fullTrust_;
};

// Adds the system's trusted certificates to a store. Where the system keeps them in a
// hashed folder (as Debian's ca-certificates does, beside a bundle file of the same
// certificates), only the folder is named, so a certificate is read when a chain needs it; the
// bundle would be parsed whole, some 150 certificates and 20-30 ms, for every connection.
// Elsewhere, or when SSL_CERT_FILE or SSL_CERT_DIR names other places, OpenSSL's default places.
void LoadSystemTrust(x509_store_st* store);
// Whether the folder holds certificates under their subject-hash names ("1a2b3c4d.0"), as
// update-ca-certificates and "openssl rehash" make them.
bool IsHashedCertificateFolder(const std::string& folder);

// What a TLS step needs before it can go on.
enum class TlsWant { Nothing, Read, Write };

class TlsSession {
public:
    // A client session checks the certificate against `host` (a name or an IP address); the host
    // name also goes to the server (SNI).
    TlsSession(std::shared_ptr<TlsContext> context, int socketFd, const std::string& host);
    TlsSession(const TlsSession&) = delete;
    TlsSession& operator=(const TlsSession&) = delete;

    // One step of the handshake; Nothing once it is complete. Raises ETlsError on failure.
    TlsWant Handshake();

    struct Transfer {
        std::size_t bytes = 0;           // bytes read or written
        TlsWant want = TlsWant::Nothing; // with 0 bytes: what to wait for
        bool closed = false;             // the peer ended the session or the connection
    };
    // Each step first sends what earlier ones left in the outbox, and says Write while some of
    // it is still waiting for room in the socket, also after a write that took its bytes.
    Transfer Read(char* data, std::size_t size);
    Transfer Write(const char* data, std::size_t size);
    // Bytes already decrypted and waiting to be read.
    bool Pending() const;
    // Sends the closing alert without waiting for the peer's.
    void Shutdown() noexcept;

    // The chain check's result code (X509_V_OK when the chain and the host name are good): the
    // handshake's, or when that failed, the check against the context's FullTrust.
    long VerifyResult() const;
    // A reason for a failed check a user understands.
    std::string VerifyReason() const;
    // The server certificate's SHA-256 fingerprint, upper-case hex pairs joined by colons;
    // empty when the peer sent none.
    std::string PeerFingerprint() const;
    std::string Protocol() const;

private:
    long VerifyAgainst(x509_store_st* store) const;
    // Sends what the outbox holds without waiting: 1 when it is empty, 0 while some of it waits
    // for room, -1 when the socket failed (errno tells why).
    int SendOutbox() noexcept;
    // The same, raising ETlsError for a failed socket; false while some of it is left.
    bool FlushOutbox();
    // Empties the outbox, keeping its memory.
    void DropOutbox() noexcept;
    friend struct TlsOutbox;

    std::shared_ptr<TlsContext> context_;
    int socket_;
    // The records OpenSSL has made and the socket has not taken yet. They leave in sends of
    // kTlsSendChunk and more rather than one send per record of 16 KB, which costs each side
    // of the connection a system call and a pass through the TCP stack per record.
    std::string outbox_;
    std::size_t outboxSent_ = 0;
    std::unique_ptr<ssl_st, SslFree> ssl_;
    mutable std::optional<long> verifyResult_;
};

// A fingerprint as the user may write it (hex, colons or spaces optional, any case) in the form
// PeerFingerprint gives; empty when it is not 32 bytes of hex.
std::string NormalizeFingerprint(std::string_view text);

// A certificate trusted by its fingerprint: for one host and port, or for any server when the
// host is empty.
struct CertificatePin {
    std::string host;
    std::uint16_t port = 0;
    std::string fingerprint; // as NormalizeFingerprint gives it
};

// The trust a client adds to the system's store.
struct TlsTrust {
    std::string caFile;
    std::vector<CertificatePin> pins;
};

// Checks the certificate of a completed client handshake: accepted when the chain and the host
// name are good, or when a pin for this host and port (or for any server) has its fingerprint.
// Otherwise raises ECertificateRejected.
void CheckServerCertificate(const TlsSession& session, const std::string& host, std::uint16_t port,
                            const std::vector<CertificatePin>& pins);

} // namespace quillet
