#include "transport/SMTPClient.h"

#include "transport/Base64.h"
#include "transport/MailMessage.h"
#include "transport/SMTPReplyCodes.h"
#include "transport/MessageTexts.h"
#include "transport/TransportError.h"

#include <algorithm>
#include <exception>

#include <unistd.h>

namespace quillet {

namespace {

constexpr const char* kMechanismLogin = "LOGIN";
constexpr const char* kMechanismPlain = "PLAIN";
constexpr const char* kStartTls = "STARTTLS";
constexpr const char* kPipelining = "PIPELINING";
constexpr const char* kXMailer = "X-Mailer";

// Command arguments come from data (addresses, names); a CR or LF in them would end the command
// line early and let the rest pass as a command of its own, so each becomes a space.
std::string OneLine(std::string text)
{
    std::replace(text.begin(), text.end(), '\r', ' ');
    std::replace(text.begin(), text.end(), '\n', ' ');
    return text;
}

std::string UpperAscii(std::string text)
{
    for (char& c : text)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return text;
}

// True when a line of an EHLO reply's text is the keyword, alone or followed by its parameters.
bool AnnouncesKeyword(const std::vector<std::string>& replyText, std::string_view keyword)
{
    for (const auto& text : replyText) {
        const std::string line = UpperAscii(text);
        if (line.compare(0, keyword.size(), keyword) == 0 &&
            (line.size() == keyword.size() || line[keyword.size()] == ' '))
            return true;
    }
    return false;
}

} // namespace

TSMTPClient::TSMTPClient()
{
    Port = DefaultPort;
    RecvBufferSize = DefaultRecvBufferSize;
    ReadTimeout = 0;
    MaxLineLength = DefaultMaxLineLength;
    MaxLineAction = TMaxLineAction::maException;
    ReadSpinMicroseconds = ReplySpinMicroseconds;
}

void TSMTPClient::SetAuthenticationType(TAuthenticationType type)
{
    authenticationType_ = type;
    if (type == TAuthenticationType::atLogin)
        useEhlo_ = true;
}

void TSMTPClient::SetUseEhlo(bool use)
{
    useEhlo_ = use;
    if (!use)
        authenticationType_ = TAuthenticationType::atNone;
}

std::string TSMTPClient::LocalHostName()
{
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) != 0)
        return {};
    std::string result(name);
    if (result.size() > MaxHostNameLength)
        result.resize(MaxHostNameLength);
    return result;
}

void TSMTPClient::AddAuthSchemes(const std::vector<std::string>& replyText, std::vector<std::string>& schemes)
{
    for (const auto& text : replyText) {
        const std::string line = UpperAscii(text);
        if (line.compare(0, 5, "AUTH ") != 0 && line.compare(0, 5, "AUTH=") != 0)
            continue;
        std::string rest = line.substr(5);
        std::replace(rest.begin(), rest.end(), '=', ' ');
        size_t start = 0;
        while (start < rest.size()) {
            const size_t space = rest.find(' ', start);
            const size_t end = space == std::string::npos ? rest.size() : space;
            if (end > start) {
                std::string word = rest.substr(start, end - start);
                if (std::find(schemes.begin(), schemes.end(), word) == schemes.end())
                    schemes.push_back(std::move(word));
            }
            start = end + 1;
        }
    }
}

bool TSMTPClient::AnnouncesStartTls(const std::vector<std::string>& replyText)
{
    return AnnouncesKeyword(replyText, kStartTls);
}

bool TSMTPClient::AnnouncesPipelining(const std::vector<std::string>& replyText)
{
    return AnnouncesKeyword(replyText, kPipelining);
}

int TSMTPClient::Command(const std::string& command, const std::vector<int>& allowed, int limitMs,
                         std::string_view name)
{
    SetWaitLimit(limitMs, name, kWaitReplyFormat);
    if (command.find_first_of("\r\n") == std::string::npos) // the usual command: no copy
        return SendCmd(command, allowed);
    return SendCmd(OneLine(command), allowed);
}

std::shared_ptr<TlsContext> TSMTPClient::ClientContext()
{
    if (!tlsContext_ || tlsContext_->CaFile() != Trust.caFile)
        tlsContext_ = TlsContext::Client(Trust.caFile);
    return tlsContext_;
}

// The TLS handshake and the check of the server's certificate; a refused certificate closes the
// connection before anything is sent through it.
void TSMTPClient::StartTlsChecked()
{
    SetWaitLimit(TimeLimits.command, kWaitTlsHandshake);
    StartTls(ClientContext(), Host);
    try {
        CheckServerCertificate(*Tls(), Host, Port, Trust.pins);
    } catch (...) {
        CloseSocket();
        throw;
    }
}

void TSMTPClient::Connect(int timeoutMs)
{
    // A connection the peer has closed is not held any more; a new one starts unauthenticated.
    CheckForDisconnect(false);
    if (!Connected())
        authenticated_ = false;
    startTlsOffered_ = false;
    pipeliningOffered_ = false;
    const bool limited = timeoutMs == -1 && TimeLimits.connect > 0;
    try {
        TTCPClient::Connect(limited ? TimeLimits.connect : timeoutMs);
    } catch (const EConnectTimeout&) {
        if (!limited)
            throw;
        throw ETimeLimitExceeded(TimeLimitText(kWaitConnect, TimeLimits.connect));
    }
    try {
        Greet();
    } catch (...) {
        try {
            Disconnect();
        } catch (const ETransportError&) {
            // The greeting's error is the one to report; QUIT could not be written.
        }
        throw;
    }
}

void TSMTPClient::Greet()
{
    if (UsesImplicitTls(Security, Port))
        StartTlsChecked();
    SetWaitLimit(TimeLimits.greeting, kWaitGreeting);
    GetResponse({SMTPReply::ServiceReady});
    authSchemes_.clear();
    const std::string name = HeloName.empty() ? LocalHostName() : HeloName;
    if (useEhlo_ && Command("EHLO " + name, {}, TimeLimits.command, "EHLO") == SMTPReply::Ok) {
        AddAuthSchemes(LastCmdResult().Text, authSchemes_);
        startTlsOffered_ = AnnouncesStartTls(LastCmdResult().Text);
        pipeliningOffered_ = AnnouncesPipelining(LastCmdResult().Text);
        if (startTlsOffered_ && !Tls() && Security != ConnectionSecurity::None) {
            // Nothing else goes out in clear once the server has offered TLS; what it announced
            // before TLS is forgotten, and the mechanisms come from the greeting through TLS.
            Command(kStartTls, {SMTPReply::ServiceReady}, TimeLimits.command, kStartTls);
            StartTlsChecked();
            authSchemes_.clear();
            Command("EHLO " + name, {SMTPReply::Ok}, TimeLimits.command, "EHLO");
            AddAuthSchemes(LastCmdResult().Text, authSchemes_);
            pipeliningOffered_ = AnnouncesPipelining(LastCmdResult().Text);
        }
    } else {
        Command("HELO " + name, {SMTPReply::Ok}, TimeLimits.command, "HELO");
    }
    if (Security == ConnectionSecurity::StartTls && !Tls())
        throw EServerCapabilityMissing(FormatText(kNoTlsOfferedFormat, {Host}));
    CheckPasswordProtected();
}

void TSMTPClient::CheckPasswordProtected() const
{
    if (!NeedsAuthentication() || Tls() || AllowPlainAuth || (PeerOnThisMachine && PeerOnThisMachine(PeerAddress())))
        return;
    throw EServerCapabilityMissing(
        FormatText(startTlsOffered_ ? kPlainAuthTlsOffFormat : kPlainAuthNoTlsFormat, {Host}));
}

void TSMTPClient::Authenticate()
{
    try {
        AuthenticateOnce();
    } catch (const EProtocolReplyError& e) {
        throw EAuthenticationFailed(e.code(), e.what());
    }
}

void TSMTPClient::AuthenticateOnce()
{
    auto offered = [this](const char* mechanism) {
        return std::find(authSchemes_.begin(), authSchemes_.end(), mechanism) != authSchemes_.end();
    };
    if (offered(kMechanismLogin)) {
        AuthLogin();
    } else if (offered(kMechanismPlain)) {
        AuthPlain();
    } else if (!authSchemes_.empty()) {
        std::string list;
        for (const std::string& scheme : authSchemes_)
            list += (list.empty() ? "" : " ") + scheme;
        throw EServerCapabilityMissing(FormatText(kNoAuthMethodFormat, {Host, list}));
    }
}

void TSMTPClient::AuthLogin()
{
    Command("AUTH LOGIN", {SMTPReply::AuthContinue}, TimeLimits.command, "AUTH");
    Command(TEncoderMIME::Encode(Username), {SMTPReply::AuthContinue}, TimeLimits.command, "AUTH");
    Command(TEncoderMIME::Encode(Password), {SMTPReply::AuthSucceeded}, TimeLimits.command, "AUTH");
    authenticated_ = true;
}

// RFC 4616: the authorization identity (empty), the user name and the password, each after a
// NUL, as the initial response.
void TSMTPClient::AuthPlain()
{
    std::string response;
    response.push_back('\0');
    response += Username;
    response.push_back('\0');
    response += Password;
    Command("AUTH PLAIN " + TEncoderMIME::Encode(response), {SMTPReply::AuthSucceeded}, TimeLimits.command, "AUTH");
    authenticated_ = true;
}

// Authentication is asked for, not done yet on this connection, and the server announced AUTH.
bool TSMTPClient::NeedsAuthentication() const
{
    return authenticationType_ == TAuthenticationType::atLogin && !authenticated_ && !authSchemes_.empty();
}

void TSMTPClient::Send(TMailMessage& message)
{
    const size_t recipients = message.Recipients.size() + message.CCList.size() + message.BccList.size();
    if (UsePipelining && pipeliningOffered_ && recipients <= MaxPipelinedRecipients) {
        const bool authenticate = NeedsAuthentication();
        if (authenticate) {
            Command("RSET", {}, TimeLimits.command, "RSET");
            Authenticate();
        }
        SendEnvelopePipelined(message, !authenticate);
        return;
    }
    Command("RSET", {}, TimeLimits.command, "RSET");
    if (NeedsAuthentication())
        Authenticate();
    Command("MAIL FROM:<" + message.From.Address + ">", {SMTPReply::Ok}, TimeLimits.mail, "MAIL FROM");
    for (const TEMailAddressList* list : {&message.Recipients, &message.CCList, &message.BccList})
        for (const auto& item : *list)
            Command("RCPT TO:<" + item.Address + ">", {SMTPReply::Ok, SMTPReply::UserNotLocal}, TimeLimits.rcpt,
                    "RCPT TO");
    Command("DATA", {SMTPReply::StartMailInput}, TimeLimits.data, "DATA");
    SendText(message);
}

void TSMTPClient::SendEnvelopePipelined(TMailMessage& message, bool withReset)
{
    // One write: [RSET,] MAIL, every RCPT, DATA.
    SetWaitLimit(TimeLimits.command, "MAIL FROM", kWaitReplyFormat);
    WriteGathered([&] {
        if (withReset)
            WriteLn("RSET");
        WriteLn(OneLine("MAIL FROM:<" + message.From.Address + ">"));
        for (const TEMailAddressList* list : {&message.Recipients, &message.CCList, &message.BccList})
            for (const auto& item : *list)
                WriteLn(OneLine("RCPT TO:<" + item.Address + ">"));
        WriteLn("DATA");
    });

    // Every reply of the group, in order, each within its own limit; the first refusal is kept
    // for after the last one.
    std::exception_ptr refusal;
    auto expect = [&](const std::vector<int>& allowed, int limitMs, std::string_view name) {
        SetWaitLimit(limitMs, name, kWaitReplyFormat);
        try {
            GetResponse(allowed);
            return true;
        } catch (const EProtocolReplyError&) {
            if (!refusal)
                refusal = std::current_exception();
            return false;
        }
    };
    if (withReset) {
        SetWaitLimit(TimeLimits.command, "RSET", kWaitReplyFormat);
        GetResponse({});
    }
    expect({SMTPReply::Ok}, TimeLimits.mail, "MAIL FROM");
    size_t accepted = 0;
    for (const TEMailAddressList* list : {&message.Recipients, &message.CCList, &message.BccList})
        for (size_t i = 0; i < list->size(); ++i)
            accepted += expect({SMTPReply::Ok, SMTPReply::UserNotLocal}, TimeLimits.rcpt, "RCPT TO") ? 1 : 0;
    const bool dataAccepted = expect({SMTPReply::StartMailInput}, TimeLimits.data, "DATA");

    if (dataAccepted && accepted == 0) {
        // The server waits for a message nobody would receive: it gets an empty one, refused.
        SetWaitLimit(TimeLimits.dataEnd, kWaitFinalReply);
        WriteLn(".");
        GetResponse({});
    } else if (dataAccepted) {
        SendText(message);
    }
    if (refusal)
        std::rethrow_exception(refusal);
}

void TSMTPClient::WriteGathered(const std::function<void()>& write)
{
    BeginGathering();
    try {
        write();
        EndGathering();
    } catch (...) {
        // What was written before the failure still goes out, as it would have line by line.
        try {
            EndGathering();
        } catch (const ETransportError&) {
            // The first error is the one to report.
        }
        throw;
    }
}

void TSMTPClient::SendText(TMailMessage& message)
{
    message.ExtraHeaders.SetValue(kXMailer, MailAgent);

    SetWaitLimit(TimeLimits.dataBlock, kWaitDataBlock);
    WriteGathered([&] {
        WriteMessage(message, *this);
        if (OnDataEnding)
            OnDataEnding();
        WriteLn(".");
    });
    // The message is with the server now: a stop waits a little for its verdict, so that a
    // message taken is counted as sent rather than left unknown.
    SetWaitLimit(TimeLimits.dataEnd, kWaitFinalReply);
    struct GraceEnd {
        TSMTPClient& client;
        int before;
        ~GraceEnd() { client.SetStopGrace(before); }
    } graceEnd{*this, StopGrace()};
    SetStopGrace(std::max(kStopGraceAfterData, graceEnd.before));
    GetResponse({SMTPReply::Ok});
}

void TSMTPClient::Disconnect()
{
    std::exception_ptr quitError;
    if (Connected()) {
        try {
            SetWaitLimit(TimeLimits.command, "QUIT", kWaitReplyFormat);
            WriteLn("QUIT");
        } catch (const EStopped&) {
            // Stopped while QUIT waited to leave: closing is all that is left to do.
        } catch (const ETransportError&) {
            quitError = std::current_exception();
        }
    }
    TTCPClient::Disconnect();
    authenticated_ = false;
    if (quitError)
        std::rethrow_exception(quitError);
}

} // namespace quillet
