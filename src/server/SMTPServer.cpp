#include "SMTPServer.h"

#include "SMTPServerThread.h"
#include "ServerTexts.h"

#include <sys/socket.h>

#include <cctype>

namespace quillet {

namespace {

bool EqualIgnoringCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::toupper(static_cast<unsigned char>(a[i])) != std::toupper(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

} // namespace

TSMTPServer::TSMTPServer() = default;

TSMTPServer::~TSMTPServer()
{
    // The connection threads use this object's table and hooks: they end before it goes.
    Shutdown();
}

// The table in the order in which a line is tried against it.
void TSMTPServer::InitializeCommandHandlers()
{
    using namespace SMTPServerTexts;
    using T = TSMTPServerThread;
    commandHandlers_ = {
        {"AUTH", &T::CommandNotSupported},
        {"HELP", &T::CommandNotSupported},
        {"SOML", &T::CommandNotSupported},
        {"SEND", &T::CommandNotSupported},
        {"SAML", &T::CommandNotSupported},
        {"VRFY", &T::CommandNotSupported},
        {"EXPN", &T::CommandNotSupported},
        {"TURN", &T::CommandNotSupported},
        {"RSET", &T::CommandRSET, SMTPReply::Ok, NoopReply},
        {"DATA", &T::CommandDATA},
        {"HELO", &T::CommandHELO},
        {"EHLO", &T::CommandEHLO},
        {"MAIL", &T::CommandMAIL},
        {"NOOP", nullptr, SMTPReply::Ok, NoopReply},
        {"QUIT", nullptr, SMTPReply::ServiceClosing, QuitReply, true},
        {"RCPT", &T::CommandRCPT},
    };
}

// A line matches a command word when it is that word, or that word and one space followed by the
// parameter text, ignoring letter case. Nothing is trimmed first.
const TSMTPServer::CommandHandler* TSMTPServer::MatchCommand(std::string_view line, std::string& params) const
{
    for (const CommandHandler& entry : commandHandlers_) {
        const std::size_t length = entry.Command.size();
        if (EqualIgnoringCase(line, entry.Command)) {
            params.clear();
            return &entry;
        }
        if (line.size() > length && line[length] == ' ' && EqualIgnoringCase(line.substr(0, length), entry.Command)) {
            params.assign(line.substr(length + 1));
            return &entry;
        }
    }
    return nullptr;
}

std::string TSMTPServer::ServeSessionFromMemory(std::string_view received)
{
    if (commandHandlers_.empty())
        InitializeCommandHandlers();
    TSMTPServerThread session(*this);
    return session.ServeFromMemory(received);
}

std::unique_ptr<TPeerThread> TSMTPServer::CreatePeerThread(FileDescriptor& socket)
{
    return std::make_unique<TSMTPServerThread>(*this, socket);
}

void TSMTPServer::RefuseConnection(int socket)
{
    const std::string reply = std::to_string(SMTPReply::ServiceNotAvailable) + " " +
                              std::string(SMTPServerTexts::TooManyConnectionsReply) + "\r\n";
    ::send(socket, reply.data(), reply.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
}

} // namespace quillet
