#include "transport/SMTPClient.h"

#include "transport/Base64.h"
#include "transport/MailMessage.h"
#include "transport/SMTPReplyCodes.h"

#include <algorithm>
#include <exception>

#include <unistd.h>

namespace quillet {

namespace {

constexpr const char* kMechanismLogin = "LOGIN";
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

} // namespace

TSMTPClient::TSMTPClient()
{
    Port = DefaultPort;
    RecvBufferSize = DefaultRecvBufferSize;
    ReadTimeout = 0;
    MaxLineLength = DefaultMaxLineLength;
    MaxLineAction = TMaxLineAction::maException;
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

int TSMTPClient::Command(const std::string& command, const std::vector<int>& allowed)
{
    return SendCmd(OneLine(command), allowed);
}

void TSMTPClient::Connect(int timeoutMs)
{
    // A connection the peer has closed is not held any more; a new one starts unauthenticated.
    CheckForDisconnect(false);
    if (!Connected())
        authenticated_ = false;
    TTCPClient::Connect(timeoutMs);
    try {
        GetResponse({SMTPReply::ServiceReady});
        authSchemes_.clear();
        const std::string name = HeloName.empty() ? LocalHostName() : HeloName;
        if (useEhlo_ && Command("EHLO " + name, {}) == SMTPReply::Ok) {
            AddAuthSchemes(LastCmdResult().Text, authSchemes_);
            return;
        }
        Command("HELO " + name, {SMTPReply::Ok});
    } catch (...) {
        try {
            Disconnect();
        } catch (const ETransportError&) {
            // The greeting's error is the one to report; QUIT could not be written.
        }
        throw;
    }
}

void TSMTPClient::AuthLogin()
{
    Command("AUTH LOGIN", {SMTPReply::AuthContinue});
    Command(TEncoderMIME::Encode(Username), {SMTPReply::AuthContinue});
    Command(TEncoderMIME::Encode(Password), {SMTPReply::AuthSucceeded});
    authenticated_ = true;
}

void TSMTPClient::Send(TMailMessage& message)
{
    Command("RSET", {});
    if (authenticationType_ == TAuthenticationType::atLogin && !authenticated_ &&
        std::find(authSchemes_.begin(), authSchemes_.end(), kMechanismLogin) != authSchemes_.end())
        AuthLogin();
    Command("MAIL FROM:<" + message.From.Address + ">", {SMTPReply::Ok});
    for (const TEMailAddressList* list : {&message.Recipients, &message.CCList, &message.BccList})
        for (const auto& item : *list)
            Command("RCPT TO:<" + item.Address + ">", {SMTPReply::Ok, SMTPReply::UserNotLocal});
    Command("DATA", {SMTPReply::StartMailInput});
    message.ExtraHeaders.SetValue(kXMailer, MailAgent);

    BeginGathering();
    try {
        WriteMessage(message, *this);
        if (OnDataEnding)
            OnDataEnding();
        WriteLn(".");
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
    GetResponse({SMTPReply::Ok});
}

void TSMTPClient::Disconnect()
{
    std::exception_ptr quitError;
    if (Connected()) {
        try {
            WriteLn("QUIT");
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
