// The fixed texts of message composition, addresses and connections: error messages the user
// sees and the constant strings written into every message.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

namespace quillet {

inline constexpr const char* kOutsideAddressText = "@ Outside address";
// First placeholder: the file's path; second: the system's reason.
inline constexpr const char* kCannotOpenFileFormat = "Cannot open file \"%s\". %s";
// First placeholder: the file's path; second: the system's reason.
inline constexpr const char* kCannotReadFileFormat = "Cannot read file \"%s\". %s";
// The body shown for a received message whose data file cannot be read; the system's reason.
inline constexpr std::string_view kReceivedMessageUnreadable = "(The received message could not be read: %s)";
// Message signing (DKIM). Placeholders: the key file's path, then the reason or the figure.
inline constexpr const char* kDkimKeyUnreadableFormat = "Cannot read the signing key \"%s\": %s";
inline constexpr const char* kDkimKeyKindFormat = "The signing key \"%s\" is neither an RSA nor an Ed25519 key.";
inline constexpr const char* kDkimKeyTooShortFormat =
    "The RSA signing key \"%s\" has %s bits; receivers ignore signatures of keys below 1024 bits.";
inline constexpr const char* kDkimKeygenFailedFormat = "Cannot create the signing key: %s";
inline constexpr const char* kDkimSigningFailedFormat = "Cannot sign the message: %s";
inline constexpr const char* kDkimNoDomainText =
    "Cannot sign the message: it has no From address to take the signing domain from, and no domain is set.";
inline constexpr const char* kDkimNoSelectorText = "Messages cannot be signed: the signing key has no selector.";
inline constexpr const char* kDkimCannotWriteFormat = "Cannot write \"%s\": %s";
inline constexpr const char* kDkimFileExistsFormat = "File \"%s\" already exists";
inline constexpr const char* kDkimNoRecordFormat = "No DKIM record found in DNS for %s.";
inline constexpr const char* kTimeZoneFailureText = "Failed attempting to retrieve time zone information.";

inline constexpr const char* kMessageBoundary = "=_NextPart_Quillet_7f3a9c2e5b1d40";
// The boundary of the multipart/alternative part (plain and HTML); no prefix of the other.
inline constexpr const char* kAlternativeBoundary = "=_Alternative_Quillet_3e81d5a0c96b27";
inline constexpr const char* kMultipartPreamble = "This is a multi-part message in MIME format";
inline constexpr const char* kLibraryName = "Orv Quillet Mail 1.0";

// Connections to mail servers. Placeholders: the server's host, its port, and so on in order.
inline constexpr const char* kTimeLimitFormat = "Time limit: waited %s s for %s (server %s, port %s).";
inline constexpr const char* kWaitConnect = "the connection";
inline constexpr const char* kWaitGreeting = "the greeting";
inline constexpr const char* kWaitTlsHandshake = "the TLS handshake";
// The reply to a command: the command's name fills in.
inline constexpr const char* kWaitReplyFormat = "the reply to %s";
inline constexpr const char* kWaitDataBlock = "the server to take more of the message";
inline constexpr const char* kWaitFinalReply = "the reply to the end of the message";
inline constexpr const char* kStoppedText = "Stopped.";
inline constexpr const char* kTlsErrorFormat = "TLS error with the server %s: %s";
inline constexpr const char* kCertificateRejectedFormat =
    "The certificate of the server %s (port %s) is not trusted: %s.\r\nSHA-256 fingerprint: %s";
inline constexpr const char* kNoTlsOfferedFormat =
    "The server %s offers no TLS; the connection security setting requires it.";
// A login that would send the password without TLS to a server not on this machine.
inline constexpr const char* kPlainAuthNoTlsFormat = "The server %s offers no TLS; the password is not sent in clear "
                                                     "(use --security starttls or tls, or --allow-plain-auth)";
inline constexpr const char* kPlainAuthTlsOffFormat = "The server %s offers TLS, but the connection security is "
                                                      "none; the password is not sent in clear "
                                                      "(use --security starttls or tls, or --allow-plain-auth)";
// The message's size and the most the server takes, in bytes.
inline constexpr const char* kMessageTooLargeFormat =
    "The message (%s bytes) is larger than the server %s takes (at most %s bytes); it was not sent.";
// A login asked for where the server offers it only after STARTTLS, and the security is none.
inline constexpr const char* kLoginNeedsTlsFormat =
    "The server %s takes the login only through TLS, and the connection security is none "
    "(use --security starttls or auto)";
inline constexpr const char* kNoAuthMethodFormat =
    "The server %s offers no supported authentication method (offers: %s).";
inline constexpr const char* kNoAuthMethodNone = "none";
inline constexpr const char* kCannotReadCaFileFormat = "Cannot use the trusted certificates file \"%s\": %s";
// Reasons a certificate is not trusted.
inline constexpr const char* kCertificateExpired = "the certificate has expired";
inline constexpr const char* kCertificateNotYetValid = "the certificate is not valid yet";
inline constexpr const char* kCertificateSelfSigned = "the certificate is self-signed";
inline constexpr const char* kCertificateNameMismatch = "the certificate is for another host name";
inline constexpr const char* kCertificateUnknownIssuer = "the certificate's issuer is unknown";
inline constexpr const char* kCertificateMissing = "the server sent no certificate";
// The fingerprint pinned for the server, and the one its certificate has.
inline constexpr const char* kCertificatePinMismatchFormat =
    "its fingerprint is not the one pinned for this server (pinned %s, seen %s)";

// The text with each "%s" filled in by the next value, in order (the values are not scanned
// for "%s"); placeholders beyond the values stay as they are.
inline std::string FormatText(std::string_view format, std::initializer_list<std::string_view> values)
{
    std::string text;
    auto value = values.begin();
    for (std::size_t i = 0; i < format.size(); ++i) {
        if (format[i] == '%' && i + 1 < format.size() && format[i + 1] == 's' && value != values.end()) {
            text.append(*value++);
            ++i;
        } else {
            text.push_back(format[i]);
        }
    }
    return text;
}

inline std::string FormatText(std::string_view format, std::string_view first, std::string_view second)
{
    return FormatText(format, {first, second});
}

} // namespace quillet
