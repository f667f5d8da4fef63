// The client side of SMTP through which a mailing run hands each personalised message to a mail
// server: Connect (greeting, EHLO or HELO, the announced authentication mechanisms), Send (one
// mail transaction: RSET, AUTH LOGIN once per connection when asked for and offered, MAIL FROM,
// RCPT TO for every recipient, DATA, the message text, ".") and Disconnect (QUIT, then close).
//
// Command lines leave at once, one send each. The message text after DATA is gathered into
// large sends that all leave before the reply to "." is awaited.
//
// Security (see ConnectionSecurity.h): with TLS from the first byte the handshake comes before
// the greeting; with STARTTLS the client upgrades right after the first EHLO reply announces it,
// then greets again and takes the authentication mechanisms from the second reply (RFC 3207). A
// server that announces no STARTTLS gets the plain dialogue above, byte for byte. The server's
// certificate is checked (TlsTrust) before anything else is sent through TLS.
//
// Size (RFC 1870), when the EHLO reply announces SIZE: MAIL carries SIZE= with the message's
// size in bytes as it goes after DATA, and a message above the announced limit is refused here,
// before RSET, without sending any of it.
//
// Authentication: AUTH LOGIN when the server offers it, else AUTH PLAIN; a server that announces
// AUTH with neither is refused before the transaction (one that announces no AUTH at all gets
// none, as before). Without TLS the password goes only to a server on this machine (a loopback
// address), unless AllowPlainAuth says otherwise: any other is refused right after the greeting,
// before AUTH. Every wait has its limit from TimeLimits.
//
// Pipelining (RFC 2920), when the EHLO reply announces PIPELINING: RSET, MAIL, every RCPT and
// DATA leave in one write and their replies are read in order. The message text follows only
// when DATA was answered 354 and at least one RCPT was accepted; DATA answered 354 with no
// recipient accepted gets a lone "." instead. The first refusal is raised as the same error as
// without pipelining, after every reply of the group was read. With authentication still to do,
// RSET and AUTH go one by one first. A server that does not announce PIPELINING gets the dialogue
// above, byte for byte. Through STARTTLS only the EHLO reply after the handshake counts.
#pragma once

#include "transport/ConnectionSecurity.h"
#include "transport/TCPConnection.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace quillet {

class TMailMessage;

enum class TAuthenticationType { atNone, atLogin };

class TSMTPClient : public TTCPClient {
public:
    static constexpr uint16_t DefaultPort = 25;
    static constexpr int DefaultRecvBufferSize = 8192;
    // The longest host name used as the greeting name.
    static constexpr size_t MaxHostNameLength = 250;
    // How long the reply to the final dot is still awaited after a stop: short enough for a stop
    // to end the run within a second, long enough for a server that has taken the message to say so.
    static constexpr int kStopGraceAfterData = 700;
    // How long a reply is looked for before its wait sleeps (see ReadSpinMicroseconds): a server
    // on the same machine mostly answers a command or a pipelined group within it, which saves
    // both sides a wake-up per reply; one far away costs each wait this much processor time.
    static constexpr int ReplySpinMicroseconds = 50;

    TSMTPClient();

    std::string Username;
    std::string Password;
    // The name given with EHLO or HELO; empty means the local computer's host name.
    std::string HeloName;
    // The X-Mailer header's value; empty means no X-Mailer header.
    std::string MailAgent;
    // Called by Send once the message text is written and before the final "." leaves: from
    // then on the server may take the message even if its reply never arrives. An exception
    // from it ends Send before the dot is sent.
    std::function<void()> OnDataEnding;
    // Called once when no greeting has come NoGreetingNoticeMs after the connect (without TLS
    // from the first byte: a server that expects it stays silent); the wait goes on.
    std::function<void()> OnNoGreetingYet;
    int NoGreetingNoticeMs = 10'000;
    ConnectionSecurity Security = ConnectionSecurity::Auto;
    TlsTrust Trust;
    SmtpTimeLimits TimeLimits;
    // Whether the password may go to a server over a connection without TLS when the server is
    // not on this machine. Off by default: such a login is refused before AUTH.
    bool AllowPlainAuth = false;
    // Whether the connected peer is on this machine, where a password in clear never leaves it;
    // the loopback addresses by default.
    std::function<bool(const SocketAddress&)> PeerOnThisMachine = TTCPClient::IsLoopbackAddress;

    TAuthenticationType AuthenticationType() const { return authenticationType_; }
    // atLogin also switches EHLO on.
    void SetAuthenticationType(TAuthenticationType type);
    bool UseEhlo() const { return useEhlo_; }
    // Switching EHLO off also switches authentication off.
    void SetUseEhlo(bool use);
    // Mechanisms announced in the last EHLO reply, upper-case, each once.
    const std::vector<std::string>& AuthSchemes() const { return authSchemes_; }
    // True once AUTH LOGIN has succeeded on the present connection.
    bool Authenticated() const { return authenticated_; }
    // True when the last EHLO reply announced STARTTLS.
    bool StartTlsOffered() const { return startTlsOffered_; }
    // Whether a server that announces PIPELINING gets pipelined transactions (on by default).
    bool UsePipelining = true;
    // True when the last EHLO reply announced PIPELINING.
    bool PipeliningOffered() const { return pipeliningOffered_; }
    // The most bytes a message may have by the last EHLO reply's SIZE line (RFC 1870): nothing
    // when it had none, 0 when it named no limit.
    std::optional<uint64_t> SizeOffered() const { return sizeOffered_; }
    // The SIZE line's limit of an EHLO reply's text, as SizeOffered gives it.
    static std::optional<uint64_t> AnnouncedSize(const std::vector<std::string>& replyText);
    // A message with more recipients than this goes command by command even where pipelining is
    // offered: the replies to one write must fit the socket's buffers while it is being sent.
    static constexpr size_t MaxPipelinedRecipients = 1000;

    // Opens the connection to Host and Port and completes the greeting. On failure the
    // connection is closed (after "QUIT" when still open) and the error passes on.
    void Connect(int timeoutMs = -1);
    // One mail transaction on the open connection. Errors leave the connection as it is.
    void Send(TMailMessage& message);
    // "QUIT" (its reply is not read), then close; an error writing "QUIT" is raised after closing.
    void Disconnect() override;

    // The local computer's full name (FQDN) where it has one, else its host name as the system
    // reports it (at most 250 characters).
    static std::string LocalHostName();
    // Adds the mechanisms of AUTH lines of an EHLO reply's text to the list.
    static void AddAuthSchemes(const std::vector<std::string>& replyText, std::vector<std::string>& schemes);
    // True when an EHLO reply's text announces STARTTLS.
    static bool AnnouncesStartTls(const std::vector<std::string>& replyText);
    // True when an EHLO reply's text has the keyword line PIPELINING.
    static bool AnnouncesPipelining(const std::vector<std::string>& replyText);

private:
    void Greet();
    void StartTlsChecked();
    // Refuses a login that would send the password in clear (see AllowPlainAuth).
    void CheckPasswordProtected() const;
    // Logs in with the first mechanism offered; a refusal raises EAuthenticationFailed.
    void Authenticate();
    void AuthenticateOnce();
    bool NeedsAuthentication() const;
    void SendEnvelopePipelined(TMailMessage& message, const std::string& mailCommand, bool withReset);
    void SendText(TMailMessage& message);
    // The MAIL command, with the message's size when the server announced SIZE (counted by
    // rendering it; a message over the server's limit raises EMessageTooLarge instead).
    std::string MailCommand(TMailMessage& message);
    // What `write` writes leaves in large sends (see TCPConnection.h), all of it also on an error.
    void WriteGathered(const std::function<void()>& write);
    void AuthLogin();
    void AuthPlain();
    // The command with its reply awaited for at most limitMs; `name` names it in a time-limit error.
    int Command(const std::string& command, const std::vector<int>& allowed, int limitMs, std::string_view name);
    // GetResponse, and a 421 (the server closes) raised whatever was allowed.
    int Reply(const std::vector<int>& allowed);
    // Raises the 421 reply a closing server left in the input before a write failed.
    void RaiseClosingReplyReceived();
    std::shared_ptr<TlsContext> ClientContext();

    TAuthenticationType authenticationType_ = TAuthenticationType::atNone;
    bool useEhlo_ = true;
    std::vector<std::string> authSchemes_;
    bool authenticated_ = false;
    bool startTlsOffered_ = false;
    bool pipeliningOffered_ = false;
    std::optional<uint64_t> sizeOffered_;
    std::shared_ptr<TlsContext> tlsContext_; // made on first use, again when Trust.caFile changes
};

} // namespace quillet
