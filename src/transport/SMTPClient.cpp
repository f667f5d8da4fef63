#include "transport/SMTPClient.h"

#include "transport/Base64.h"
#include "transport/MailMessage.h"
#include "transport/SMTPReplyCodes.h"
#include "transport/MessageTexts.h"
#include "transport/TransportError.h"

#include <algorithm>
#include <cstdint>
#include <exception>

#include <cstring>

#include <netdb.h>
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

namespace {

// The machine's full name (FQDN) where the system knows one: the host name, or the canonical
// name it resolves to when the host name alone has no domain.
std::string FullHostName()
{
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) != 0)
        return {};
    std::string result(name);
    if (result.find('.') == std::string::npos) {
        addrinfo hints{};
        hints.ai_family = AF_UNSPEC;
        hints.ai_flags = AI_CANONNAME;
        addrinfo* found = nullptr;
        if (::getaddrinfo(name, nullptr, &hints, &found) == 0 && found) {
            if (found->ai_canonname && std::strchr(found->ai_canonname, '.'))
                result = found->ai_canonname;
            ::freeaddrinfo(found);
        }
    }
    return result;
}

} // namespace

std::string TSMTPClient::LocalHostName()
{
    // Looked up once: the name does not change while the program runs, and a lookup may be slow.
    static const std::string name = FullHostName();
    return name.size() > MaxHostNameLength ? name.substr(0, MaxHostNameLength) : name;
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

std::optional<uint64_t> TSMTPClient::AnnouncedSize(const std::vector<std::string>& replyText)
{
    for (const auto& text : replyText) {
        const std::string line = UpperAscii(text);
        if (line.compare(0, 4, "SIZE") != 0 || (line.size() > 4 && line[4] != ' '))
            continue;
        uint64_t limit = 0;
        for (size_t i = 5; i < line.size() && line[i] >= '0' && line[i] <= '9'; ++i)
            limit = limit >= UINT64_MAX / 10 ? UINT64_MAX : limit * 10 + static_cast<uint64_t>(line[i] - '0');
        return limit;
    }
    return std::nullopt;
}

bool TSMTPClient::AnnouncesPipelining(const std::vector<std::string>& replyText)
{
    return AnnouncesKeyword(replyText, kPipelining);
}

int TSMTPClient::Command(const std::string& command, const std::vector<int>& allowed, int limitMs,
                         std::string_view name)
{
    SetWaitLimit(limitMs, name, kWaitReplyFormat);
    try {
        if (command.find_first_of("\r\n") == std::string::npos) // the usual command: no copy
            WriteLn(command);
        else
            WriteLn(OneLine(command));
    } catch (const ETransportError&) {
        // A server that said why it closed (421, while the connection was idle) gets its say.
        RaiseClosingReplyReceived();
        throw;
    }
    return Reply(allowed);
}

int TSMTPClient::Reply(const std::vector<int>& allowed)
{
    const int code = GetResponse(allowed);
    // The server is closing the connection (RFC 5321 section 3.8), whatever the command was.
    if (code == SMTPReply::ServiceNotAvailable)
        throw EProtocolReplyError(code, LastCmdResult().FormattedText());
    return code;
}

void TSMTPClient::RaiseClosingReplyReceived()
{
    if (InputBufferSize() == 0)
        return;
    try {
        GetResponse({});
    } catch (const ETransportError&) {
        return; // no whole reply was there
    }
    if (LastCmdResult().NumericCode == SMTPReply::ServiceNotAvailable)
        throw EProtocolReplyError(SMTPReply::ServiceNotAvailable, LastCmdResult().FormattedText());
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
    sizeOffered_.reset();
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
    if (OnNoGreetingYet && !Tls())
        SetWaitNotice(NoGreetingNoticeMs, OnNoGreetingYet);
    {
        struct NoticeEnd {
            TSMTPClient& client;
            ~NoticeEnd() { client.SetWaitNotice(0, nullptr); }
        } noticeEnd{*this};
        GetResponse({SMTPReply::ServiceReady});
    }
    authSchemes_.clear();
    const std::string name = HeloName.empty() ? LocalHostName() : HeloName;
    if (useEhlo_ && Command("EHLO " + name, {}, TimeLimits.command, "EHLO") == SMTPReply::Ok) {
        AddAuthSchemes(LastCmdResult().Text, authSchemes_);
        startTlsOffered_ = AnnouncesStartTls(LastCmdResult().Text);
        pipeliningOffered_ = AnnouncesPipelining(LastCmdResult().Text);
        sizeOffered_ = AnnouncedSize(LastCmdResult().Text);
        if (startTlsOffered_ && !Tls() && Security != ConnectionSecurity::None) {
            // Nothing else goes out in clear once the server has offered TLS; what it announced
            // before TLS is forgotten, and the mechanisms come from the greeting through TLS.
            Command(kStartTls, {SMTPReply::ServiceReady}, TimeLimits.command, kStartTls);
            StartTlsChecked();
            authSchemes_.clear();
            Command("EHLO " + name, {SMTPReply::Ok}, TimeLimits.command, "EHLO");
            AddAuthSchemes(LastCmdResult().Text, authSchemes_);
            pipeliningOffered_ = AnnouncesPipelining(LastCmdResult().Text);
            sizeOffered_ = AnnouncedSize(LastCmdResult().Text);
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
    // A server that names no mechanism before TLS but offers TLS wants the login through it.
    if (authenticationType_ == TAuthenticationType::atLogin && authSchemes_.empty() && !Tls() && startTlsOffered_)
        throw EServerCapabilityMissing(FormatText(kLoginNeedsTlsFormat, {Host}));
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

namespace {

// Counts the bytes written, keeping none.
class CountingLineWriter : public LineWriter {
public:
    void Write(std::string_view bytes) override { count += bytes.size(); }
    void WriteLn(std::string_view line) override { count += line.size() + 2; }
    uint64_t count = 0;
};

} // namespace

std::string TSMTPClient::MailCommand(TMailMessage& message)
{
    std::string command = "MAIL FROM:<" + message.From.Address + ">";
    if (!sizeOffered_)
        return command;
    message.ExtraHeaders.SetValue(kXMailer, MailAgent);
    CountingLineWriter counter;
    WriteMessage(message, counter);
    if (*sizeOffered_ > 0 && counter.count > *sizeOffered_)
        throw EMessageTooLarge(
            FormatText(kMessageTooLargeFormat, {std::to_string(counter.count), Host, std::to_string(*sizeOffered_)}));
    return command + " SIZE=" + std::to_string(counter.count);
}

void TSMTPClient::Send(TMailMessage& message)
{
    const std::string mailCommand = MailCommand(message);
    const size_t recipients = message.Recipients.size() + message.CCList.size() + message.BccList.size();
    if (UsePipelining && pipeliningOffered_ && recipients <= MaxPipelinedRecipients) {
        const bool authenticate = NeedsAuthentication();
        if (authenticate) {
            Command("RSET", {}, TimeLimits.command, "RSET");
            Authenticate();
        }
        SendEnvelopePipelined(message, mailCommand, !authenticate);
        return;
    }
    Command("RSET", {}, TimeLimits.command, "RSET");
    if (NeedsAuthentication())
        Authenticate();
    Command(mailCommand, {SMTPReply::Ok}, TimeLimits.mail, "MAIL FROM");
    for (const TEMailAddressList* list : {&message.Recipients, &message.CCList, &message.BccList})
        for (const auto& item : *list)
            Command("RCPT TO:<" + item.Address + ">", {SMTPReply::Ok, SMTPReply::UserNotLocal}, TimeLimits.rcpt,
                    "RCPT TO");
    Command("DATA", {SMTPReply::StartMailInput}, TimeLimits.data, "DATA");
    SendText(message);
}

void TSMTPClient::SendEnvelopePipelined(TMailMessage& message, const std::string& mailCommand, bool withReset)
{
    // One write: [RSET,] MAIL, every RCPT, DATA.
    SetWaitLimit(TimeLimits.command, "MAIL FROM", kWaitReplyFormat);
    WriteGathered([&] {
        if (withReset)
            WriteLn("RSET");
        WriteLn(OneLine(mailCommand));
        for (const TEMailAddressList* list : {&message.Recipients, &message.CCList, &message.BccList})
            for (const auto& item : *list)
                WriteLn(OneLine("RCPT TO:<" + item.Address + ">"));
        WriteLn("DATA");
    });

    // Every reply of the group, in order, each within its own limit; the first refusal is kept
    // for after the last one.
    std::exception_ptr refusal;
    bool closing = false; // a 421 came: the connection ends after it
    auto expect = [&](const std::vector<int>& allowed, int limitMs, std::string_view name) {
        SetWaitLimit(limitMs, name, kWaitReplyFormat);
        try {
            Reply(allowed);
            return true;
        } catch (const EProtocolReplyError& e) {
            if (!refusal)
                refusal = std::current_exception();
            closing = closing || e.code() == SMTPReply::ServiceNotAvailable;
            return false;
        }
    };
    size_t accepted = 0;
    bool dataAccepted = false;
    try {
        if (withReset) {
            SetWaitLimit(TimeLimits.command, "RSET", kWaitReplyFormat);
            Reply({});
        }
        expect({SMTPReply::Ok}, TimeLimits.mail, "MAIL FROM");
        for (const TEMailAddressList* list : {&message.Recipients, &message.CCList, &message.BccList})
            for (size_t i = 0; i < list->size(); ++i)
                accepted += expect({SMTPReply::Ok, SMTPReply::UserNotLocal}, TimeLimits.rcpt, "RCPT TO") ? 1 : 0;
        dataAccepted = expect({SMTPReply::StartMailInput}, TimeLimits.data, "DATA");
    } catch (const ETransportError&) {
        // The replies the closing server never sent are not the reason: its 421 is.
        if (closing)
            std::rethrow_exception(refusal);
        throw;
    }

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
