// The built-in SMTP server: a TTCPServer whose connection threads speak the server side of SMTP.
//
// It greets every connection, answers the commands of its command table with fixed texts,
// accepts a message's data into a temporary file (prefix "oqm"), hands the file to the owner's
// OnReceiveRaw hook and deletes it again. The owner takes part through three hooks that run on
// the connection's thread (one at a time for a connection, on the worker that serves it; a hook
// that waits holds up the other connections of that worker, so hooks return promptly); set them
// before activation. Without a hook every sender and recipient is accepted and the data is
// discarded.
#pragma once

#include "ServerFaults.h"
#include "TCPServer.h"

#include "transport/EMailAddress.h"
#include "transport/SMTPReplyCodes.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace quillet {

class TSMTPServerThread;

// The received data as the owner's OnReceiveRaw hook sees it: a complete file that is deleted
// after the hook returns.
struct ReceivedData {
    const std::string& Path;
    std::uint64_t Size;
};

// Accept: false on entry; set it to take the sender.
using OnCommandMAILHook =
    std::function<void(TSMTPServerThread& ASender, bool& Accept, const TEMailAddressItem& EMailAddress)>;
// Accept and ToForward: false on entry; CustomError empty. A CustomError set by the hook is sent
// as the whole reply line (code and text) in place of the usual reply.
using OnCommandRCPTHook = std::function<void(TSMTPServerThread& ASender, bool& Accept, bool& ToForward,
                                             const TEMailAddressItem& EMailAddress, std::string& CustomError)>;
// CustomError empty on entry; when set, it is sent as the whole reply line in place of 250 Ok.
using OnReceiveRawHook = std::function<void(TSMTPServerThread& ASender, const ReceivedData& VStream,
                                            const TEMailAddressList& RCPT, std::string& CustomError)>;

class TSMTPServer : public TTCPServer {
public:
    TSMTPServer();
    ~TSMTPServer() override;

    // Most bytes of data kept for one message; a longer message is read to its end, discarded and
    // refused with 552.
    std::uint64_t MaxMessageSize = DefaultMaxMessageSize;

    OnCommandMAILHook OnCommandMAIL;
    OnCommandRCPTHook OnCommandRCPT;
    OnReceiveRawHook OnReceiveRaw;
    // For trying clients against failures; none by default. Set before activation.
    ServerFaults Faults;

    // One entry of the command table: the handler, then the fixed reply if any, then the close.
    struct CommandHandler {
        static constexpr SMTPReply::Code NoFixedReply{};
        using HandlerMethod = void (TSMTPServerThread::*)(const std::string& params);
        CommandHandler(std::string command, HandlerMethod handler, SMTPReply::Code replyCode = NoFixedReply,
                       std::string_view replyText = {}, bool disconnect = false)
            : Command(std::move(command)), Handler(handler), ReplyCode(replyCode), ReplyText(replyText),
              Disconnect(disconnect)
        {
        }
        std::string Command;
        HandlerMethod Handler;
        SMTPReply::Code ReplyCode;
        std::string ReplyText;
        bool Disconnect;
    };
    const std::vector<CommandHandler>& CommandHandlers() const { return commandHandlers_; }

    // Finds the entry a command line matches and its parameter text; nullptr when none does.
    const CommandHandler* MatchCommand(std::string_view line, std::string& params) const;

    // Serves one session from memory, without a socket: the greeting and the reply to every
    // whole line of `received` (CR LF or LF ends a line), then the peer's close, with the hooks
    // as on a connection. Returns the bytes the peer receives. For fuzzing and tests.
    std::string ServeSessionFromMemory(std::string_view received);

protected:
    void InitializeCommandHandlers() override;
    std::unique_ptr<TPeerThread> CreatePeerThread(FileDescriptor& socket) override;
    void RefuseConnection(int socket) override;

private:
    std::vector<CommandHandler> commandHandlers_;
};

} // namespace quillet
