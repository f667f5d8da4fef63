// How the SMTP client protects a connection, and the limits of its network waits. Both are one
// setting for the default server and every account.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace quillet {

enum class ConnectionSecurity {
    Auto,     // TLS from the first byte on port 465; else STARTTLS when the server announces it
    StartTls, // STARTTLS is required: a server that does not announce it is refused
    Tls,      // TLS from the first byte, on any port
    None,     // never TLS
};

// The setting's text: "auto", "starttls", "tls", "none".
std::string_view SecurityName(ConnectionSecurity security);
// The setting read from its text (letter case ignored); nothing for any other text.
std::optional<ConnectionSecurity> ParseSecurity(std::string_view text);
// True when the connection starts with TLS (before the greeting).
bool UsesImplicitTls(ConnectionSecurity security, std::uint16_t port);

// The port of SMTP submission over TLS from the first byte (RFC 8314).
inline constexpr std::uint16_t kImplicitTlsPort = 465;

// The time limits of the SMTP client's waits, in milliseconds; 0 waits without limit. The
// defaults are the least a client should wait by RFC 5321 section 4.5.3.2 (the connect and the
// commands that section does not name are ours): a busy server may take that long, and a client
// that gives up earlier loses mail that would have gone through.
struct SmtpTimeLimits {
    // A server that does not accept the connection in this time is unreachable for practical use.
    int connect = 30'000;
    // 4.5.3.2.1: the greeting may be delayed by the server's own checks.
    int greeting = 300'000;
    // EHLO, STARTTLS with its TLS handshake, AUTH, RSET: as long as MAIL.
    int command = 300'000;
    // 4.5.3.2.2: MAIL.
    int mail = 300'000;
    // 4.5.3.2.3: RCPT (the recipient may be looked up).
    int rcpt = 300'000;
    // 4.5.3.2.4: the 354 reply to DATA.
    int data = 120'000;
    // 4.5.3.2.5: each block of the message text the server must take.
    int dataBlock = 180'000;
    // 4.5.3.2.6: the reply after the final dot (the server may deliver before it answers).
    int dataEnd = 600'000;
};

} // namespace quillet
