// The client side of SMTP through which a mailing run hands each personalised message to a mail
// server: Connect (greeting, EHLO or HELO, the announced authentication mechanisms), Send (one
// mail transaction: RSET, AUTH LOGIN once per connection when asked for and offered, MAIL FROM,
// RCPT TO for every recipient, DATA, the message text, ".") and Disconnect (QUIT, then close).
//
// Command lines leave at once, one send each. The message text after DATA is gathered into
// large sends that all leave before the reply to "." is awaited.
#pragma once

#include "transport/TCPConnection.h"

#include <functional>
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

    // Opens the connection to Host and Port and completes the greeting. On failure the
    // connection is closed (after "QUIT" when still open) and the error passes on.
    void Connect(int timeoutMs = -1);
    // One mail transaction on the open connection. Errors leave the connection as it is.
    void Send(TMailMessage& message);
    // "QUIT" (its reply is not read), then close; an error writing "QUIT" is raised after closing.
    void Disconnect() override;

    // The local computer's host name as the system reports it (at most 250 characters).
    static std::string LocalHostName();
    // Adds the mechanisms of AUTH lines of an EHLO reply's text to the list.
    static void AddAuthSchemes(const std::vector<std::string>& replyText, std::vector<std::string>& schemes);

private:
    void AuthLogin();
    int Command(const std::string& command, const std::vector<int>& allowed);

    TAuthenticationType authenticationType_ = TAuthenticationType::atNone;
    bool useEhlo_ = true;
    std::vector<std::string> authSchemes_;
    bool authenticated_ = false;
};

} // namespace quillet
