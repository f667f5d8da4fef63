#include "transport/TlsSession.h"

#include "transport/MessageTexts.h"
#include "transport/TransportError.h"

#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <arpa/inet.h>

#include <dirent.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace quillet {

void SslContextFree::operator()(ssl_ctx_st* context) const noexcept
{
    SSL_CTX_free(context);
}

void SslFree::operator()(ssl_st* ssl) const noexcept
{
    SSL_free(ssl);
}

void X509StoreFree::operator()(x509_store_st* store) const noexcept
{
    X509_STORE_free(store);
}

namespace {

// The reason of the library's most recent error (and the error queue emptied), or the system's
// for a failed system call.
std::string LibraryReason()
{
    const unsigned long code = ERR_get_error();
    ERR_clear_error();
    if (code == 0)
        return errno != 0 ? std::strerror(errno) : "the connection was closed";
    const char* reason = ERR_reason_error_string(code);
    return reason ? reason : "error " + std::to_string(code);
}

[[noreturn]] void RaiseTlsError(const std::string& what)
{
    throw ETlsError(what);
}

std::string Bare(const std::string& host)
{
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']')
        return host.substr(1, host.size() - 2);
    return host;
}

std::string LowerAscii(std::string text)
{
    for (char& c : text)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return text;
}

bool IsAddress(const std::string& host)
{
    unsigned char buffer[16];
    return ::inet_pton(AF_INET, host.c_str(), buffer) == 1 || ::inet_pton(AF_INET6, host.c_str(), buffer) == 1;
}

int HexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

std::string HexPairs(const unsigned char* bytes, unsigned count)
{
    static constexpr char digits[] = "0123456789ABCDEF";
    std::string text;
    for (unsigned i = 0; i < count; ++i) {
        if (i > 0)
            text.push_back(':');
        text.push_back(digits[bytes[i] >> 4]);
        text.push_back(digits[bytes[i] & 15]);
    }
    return text;
}

// The TLS 1.3 suites a client offers, in its order of preference: all three standard AEAD
// suites, AES-128-GCM first as mainstream clients have it (it is at least as fast as AES-256-GCM
// with the processor's AES instructions, and as safe for mail).
constexpr const char* kTls13Suites = "TLS_AES_128_GCM_SHA256:TLS_AES_256_GCM_SHA384:TLS_CHACHA20_POLY1305_SHA256";

} // namespace

bool IsHashedCertificateFolder(const std::string& folder)
{
    DIR* directory = ::opendir(folder.c_str());
    if (!directory)
        return false;
    bool hashed = false;
    while (const dirent* entry = ::readdir(directory)) {
        const std::string_view name = entry->d_name;
        auto digit = [](char c) { return c >= '0' && c <= '9'; };
        auto hex = [&](char c) { return digit(c) || (c >= 'a' && c <= 'f'); };
        if (name.size() > 9 && name[8] == '.' && std::all_of(name.begin(), name.begin() + 8, hex) &&
            std::all_of(name.begin() + 9, name.end(), digit)) {
            hashed = true;
            break;
        }
    }
    ::closedir(directory);
    return hashed;
}

void LoadSystemTrust(x509_store_st* store)
{
    const bool placesNamed =
        std::getenv(X509_get_default_cert_file_env()) || std::getenv(X509_get_default_cert_dir_env());
    const std::string folder = X509_get_default_cert_dir();
    if (!placesNamed && IsHashedCertificateFolder(folder) && X509_STORE_load_path(store, folder.c_str()) == 1)
        return;
    ERR_clear_error();
    X509_STORE_set_default_paths(store);
    ERR_clear_error();
}

TlsContext::TlsContext(ssl_ctx_st* context, bool client, std::string caFile)
    : context_(context), client_(client), caFile_(std::move(caFile))
{
}

std::shared_ptr<TlsContext> TlsContext::Client(const std::string& caFile)
{
    SSL_CTX* raw = SSL_CTX_new(TLS_client_method());
    if (!raw)
        RaiseTlsError(FormatText(kTlsErrorFormat, {"-", LibraryReason()}));
    std::shared_ptr<TlsContext> context(new TlsContext(raw, true, caFile));
    SSL_CTX_set_min_proto_version(raw, TLS1_2_VERSION);
    SSL_CTX_set_ciphersuites(raw, kTls13Suites);
    // A write hands over a whole gathered block: OpenSSL cuts it into full records and sends them
    // in one call, and a write the socket cannot take whole is repeated with the rest (the same
    // bytes, wherever they are held).
    SSL_CTX_set_mode(raw, SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
    // Verification runs in every handshake, but its result is judged afterwards (see
    // CheckServerCertificate), so that a pin can stand in for the chain and a refusal can name
    // the reason and the fingerprint.
    SSL_CTX_set_verify(raw, SSL_VERIFY_NONE, nullptr);
    if (!caFile.empty() && SSL_CTX_load_verify_locations(raw, caFile.c_str(), nullptr) != 1)
        throw ETlsError(FormatText(kCannotReadCaFileFormat, {caFile, LibraryReason()}));
    return context;
}

x509_store_st* TlsContext::FullTrust() const
{
    std::call_once(fullTrustOnce_, [this] {
        fullTrust_.reset(X509_STORE_new());
        if (!fullTrust_)
            return;
        LoadSystemTrust(fullTrust_.get());
        // The file was read once already for the context; a failure here leaves its certificates out.
        if (!caFile_.empty())
            X509_STORE_load_file(fullTrust_.get(), caFile_.c_str());
        ERR_clear_error();
    });
    return fullTrust_.get();
}

std::shared_ptr<TlsContext> TlsContext::Server(const std::string& certificateFile, const std::string& keyFile)
{
    SSL_CTX* raw = SSL_CTX_new(TLS_server_method());
    if (!raw)
        RaiseTlsError(FormatText(kTlsErrorFormat, {"-", LibraryReason()}));
    std::shared_ptr<TlsContext> context(new TlsContext(raw, false, {}));
    SSL_CTX_set_mode(raw, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
    if (SSL_CTX_use_certificate_chain_file(raw, certificateFile.c_str()) != 1 ||
        SSL_CTX_use_PrivateKey_file(raw, keyFile.c_str(), SSL_FILETYPE_PEM) != 1)
        throw ETlsError(FormatText(kCannotReadCaFileFormat, {certificateFile, LibraryReason()}));
    return context;
}

// Room the outbox fills before it tries the socket: a few dozen records.
constexpr std::size_t kTlsSendChunk = 256 * 1024;

// The session's writing end for OpenSSL: records are appended to the session's outbox, which
// is sent to the socket as it reaches kTlsSendChunk and after every step of the session.
struct TlsOutbox {
    static int Write(BIO* bio, const char* data, std::size_t size, std::size_t* written)
    {
        auto* session = static_cast<TlsSession*>(BIO_get_data(bio));
        BIO_clear_retry_flags(bio);
        session->outbox_.append(data, size);
        *written = size;
        // A failed send (errno tells why) fails OpenSSL's step, which reports it.
        if (session->outbox_.size() - session->outboxSent_ >= kTlsSendChunk && session->SendOutbox() < 0)
            return 0;
        return 1;
    }
    static long Control(BIO*, int command, long, void*)
    {
        // A flush (after a handshake flight) is the session's to do after the step.
        return command == BIO_CTRL_FLUSH || command == BIO_CTRL_DUP ? 1 : 0;
    }
    static int Create(BIO* bio)
    {
        BIO_set_init(bio, 1);
        return 1;
    }
    static const BIO_METHOD* Method()
    {
        static const BIO_METHOD* const method = [] {
            BIO_METHOD* made = BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "quillet outbox");
            if (made) {
                BIO_meth_set_write_ex(made, Write);
                BIO_meth_set_ctrl(made, Control);
                BIO_meth_set_create(made, Create);
            }
            return made;
        }();
        return method;
    }
};

TlsSession::TlsSession(std::shared_ptr<TlsContext> context, int socketFd, const std::string& host)
    : context_(std::move(context)), socket_(socketFd), ssl_(SSL_new(context_->Get()))
{
    BIO* reading = ssl_ ? BIO_new_socket(socketFd, BIO_NOCLOSE) : nullptr;
    BIO* writing = reading && TlsOutbox::Method() ? BIO_new(TlsOutbox::Method()) : nullptr;
    if (!writing) {
        BIO_free(reading);
        RaiseTlsError(FormatText(kTlsErrorFormat, {host, LibraryReason()}));
    }
    BIO_set_data(writing, this);
    SSL_set_bio(ssl_.get(), reading, writing);
    if (!context_->ForClient()) {
        SSL_set_accept_state(ssl_.get());
        return;
    }
    SSL_set_connect_state(ssl_.get());
    const std::string name = Bare(host);
    if (IsAddress(name)) {
        X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(ssl_.get()), name.c_str());
    } else {
        SSL_set_tlsext_host_name(ssl_.get(), name.c_str());
        SSL_set1_host(ssl_.get(), name.c_str());
    }
}

int TlsSession::SendOutbox() noexcept
{
    while (outboxSent_ < outbox_.size()) {
        const ssize_t sent =
            ::send(socket_, outbox_.data() + outboxSent_, outbox_.size() - outboxSent_, MSG_DONTWAIT | MSG_NOSIGNAL);
        if (sent > 0) {
            outboxSent_ += static_cast<std::size_t>(sent);
            continue;
        }
        if (sent < 0 && errno == EINTR)
            continue;
        if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return 0;
        if (sent == 0)
            errno = EPIPE;
        return -1;
    }
    DropOutbox();
    return 1;
}

void TlsSession::DropOutbox() noexcept
{
    outbox_.clear();
    outboxSent_ = 0;
}

bool TlsSession::FlushOutbox()
{
    const int state = SendOutbox();
    if (state < 0)
        throw ETlsError(LibraryReason());
    return state > 0;
}

TlsWant TlsSession::Handshake()
{
    ERR_clear_error();
    errno = 0;
    if (!FlushOutbox())
        return TlsWant::Write;
    const int result = SSL_do_handshake(ssl_.get());
    if (!FlushOutbox())
        return TlsWant::Write;
    if (result == 1)
        return TlsWant::Nothing;
    switch (SSL_get_error(ssl_.get(), result)) {
    case SSL_ERROR_WANT_READ: return TlsWant::Read;
    case SSL_ERROR_WANT_WRITE: return TlsWant::Write;
    default: throw ETlsError(LibraryReason());
    }
}

TlsSession::Transfer TlsSession::Read(char* data, std::size_t size)
{
    ERR_clear_error();
    errno = 0;
    const int waiting = SendOutbox();
    if (waiting == 0)
        return {0, TlsWant::Write, false};
    if (waiting < 0 && errno != EPIPE && errno != ECONNRESET)
        throw ETlsError(LibraryReason());
    if (waiting < 0) // the peer has gone: what it did send before is still read, and then the close
        DropOutbox();
    std::size_t done = 0;
    const int result = SSL_read_ex(ssl_.get(), data, size, &done);
    // Reading may answer the peer (a key update): that goes out before anything waits.
    const bool flushed = SendOutbox() != 0;
    if (result == 1)
        return {done, flushed ? TlsWant::Nothing : TlsWant::Write, false};
    switch (SSL_get_error(ssl_.get(), result)) {
    case SSL_ERROR_WANT_READ: return {0, TlsWant::Read, false};
    case SSL_ERROR_WANT_WRITE: return {0, TlsWant::Write, false};
    case SSL_ERROR_ZERO_RETURN: return {0, TlsWant::Nothing, true};
    case SSL_ERROR_SYSCALL:
        // The connection ended without the closing alert: a close as far as reading goes.
        if (ERR_peek_error() == 0 && (errno == 0 || errno == ECONNRESET))
            return {0, TlsWant::Nothing, true};
        [[fallthrough]];
    default: throw ETlsError(LibraryReason());
    }
}

TlsSession::Transfer TlsSession::Write(const char* data, std::size_t size)
{
    ERR_clear_error();
    errno = 0;
    if (!FlushOutbox())
        return {0, TlsWant::Write, false};
    std::size_t done = 0;
    const int result = SSL_write_ex(ssl_.get(), data, size, &done);
    if (result == 1)
        return {done, FlushOutbox() ? TlsWant::Nothing : TlsWant::Write, false};
    switch (SSL_get_error(ssl_.get(), result)) {
    case SSL_ERROR_WANT_READ: return {0, TlsWant::Read, false};
    case SSL_ERROR_WANT_WRITE: return {0, TlsWant::Write, false};
    case SSL_ERROR_ZERO_RETURN: return {0, TlsWant::Nothing, true};
    default: throw ETlsError(LibraryReason());
    }
}

bool TlsSession::Pending() const
{
    return SSL_pending(ssl_.get()) > 0;
}

void TlsSession::Shutdown() noexcept
{
    ERR_clear_error();
    // What is left of earlier steps goes first, then the alert, as far as the socket takes them
    // without waiting: the connection is going away.
    if (SSL_is_init_finished(ssl_.get()) && SendOutbox() > 0) {
        SSL_shutdown(ssl_.get());
        SendOutbox();
    }
    ERR_clear_error();
}

long TlsSession::VerifyResult() const
{
    if (!verifyResult_) {
        verifyResult_ = SSL_get_verify_result(ssl_.get());
        if (*verifyResult_ != X509_V_OK && context_->ForClient() && context_->FullTrust())
            verifyResult_ = VerifyAgainst(context_->FullTrust());
    }
    return *verifyResult_;
}

// The check the handshake makes, with another store: the server's chain as it sent it, for a TLS
// server, with the session's host name or address and security level.
long TlsSession::VerifyAgainst(x509_store_st* store) const
{
    X509* certificate = SSL_get0_peer_certificate(ssl_.get());
    std::unique_ptr<X509_STORE_CTX, decltype(&X509_STORE_CTX_free)> check(X509_STORE_CTX_new(), X509_STORE_CTX_free);
    if (!certificate || !check ||
        X509_STORE_CTX_init(check.get(), store, certificate, SSL_get_peer_cert_chain(ssl_.get())) != 1) {
        ERR_clear_error();
        return X509_V_ERR_UNSPECIFIED;
    }
    X509_STORE_CTX_set_default(check.get(), "ssl_server");
    X509_VERIFY_PARAM* parameters = X509_STORE_CTX_get0_param(check.get());
    X509_VERIFY_PARAM_set1(parameters, SSL_get0_param(ssl_.get()));
    X509_VERIFY_PARAM_set_auth_level(parameters, SSL_get_security_level(ssl_.get()));
    const long result = X509_verify_cert(check.get()) == 1 ? X509_V_OK : X509_STORE_CTX_get_error(check.get());
    ERR_clear_error();
    return result;
}

std::string TlsSession::VerifyReason() const
{
    switch (VerifyResult()) {
    case X509_V_ERR_CERT_HAS_EXPIRED: return kCertificateExpired;
    case X509_V_ERR_CERT_NOT_YET_VALID: return kCertificateNotYetValid;
    case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
    case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN: return kCertificateSelfSigned;
    case X509_V_ERR_HOSTNAME_MISMATCH:
    case X509_V_ERR_IP_ADDRESS_MISMATCH: return kCertificateNameMismatch;
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
    case X509_V_ERR_UNABLE_TO_VERIFY_LEAF_SIGNATURE: return kCertificateUnknownIssuer;
    default: return X509_verify_cert_error_string(VerifyResult());
    }
}

std::string TlsSession::PeerFingerprint() const
{
    X509* certificate = SSL_get0_peer_certificate(ssl_.get());
    if (!certificate)
        return {};
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned length = 0;
    if (X509_digest(certificate, EVP_sha256(), digest, &length) != 1)
        return {};
    return HexPairs(digest, length);
}

std::string TlsSession::Protocol() const
{
    return SSL_get_version(ssl_.get());
}

std::string NormalizeFingerprint(std::string_view text)
{
    std::string digits;
    for (char c : text) {
        if (c == ':' || c == ' ')
            continue;
        if (HexValue(c) < 0)
            return {};
        digits.push_back(c);
    }
    if (digits.size() != 64)
        return {};
    unsigned char bytes[32];
    for (std::size_t i = 0; i < 32; ++i)
        bytes[i] = static_cast<unsigned char>(HexValue(digits[2 * i]) * 16 + HexValue(digits[2 * i + 1]));
    return HexPairs(bytes, 32);
}

void CheckServerCertificate(const TlsSession& session, const std::string& host, std::uint16_t port,
                            const std::vector<CertificatePin>& pins)
{
    const std::string fingerprint = session.PeerFingerprint();
    if (fingerprint.empty())
        throw ECertificateRejected(host, port, kCertificateMissing, {});
    // A pin is looked at first: it stands for the chain, so the chain need not be checked.
    // Host names are compared without regard to letter case, as DNS compares them.
    const std::string* expected = nullptr;
    for (const CertificatePin& pin : pins) {
        const bool forThisServer =
            pin.host.empty() || (LowerAscii(Bare(pin.host)) == LowerAscii(Bare(host)) && pin.port == port);
        if (forThisServer && pin.fingerprint == fingerprint)
            return;
        if (forThisServer && !expected)
            expected = &pin.fingerprint;
    }
    if (session.VerifyResult() == X509_V_OK)
        return;
    // A pinned server whose certificate changed: the pin is the reason, not the chain.
    const std::string reason =
        expected ? FormatText(kCertificatePinMismatchFormat, {*expected, fingerprint}) : session.VerifyReason();
    throw ECertificateRejected(host, port, reason, fingerprint);
}

} // namespace quillet
