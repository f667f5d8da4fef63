// One SMTP session: the dialogue on one accepted connection, from the greeting to the close.
//
// The session moves through the states of SMTPSessionState. Nothing of a session outlives its
// connection.
// A line longer than the line limit, an address the parser rejects or a failure while reading
// the data ends the session without a reply; the data file is deleted in every case.
#pragma once

#include "TCPServer.h"

#include "TempDataFile.h"

#include "transport/EMailAddress.h"
#include "transport/SMTPReplyCodes.h"

#include <cstdint>
#include <optional>
#include <string>

namespace quillet {

class TSMTPServer;

// The states of a session, numbered as the session table numbers them.
enum class SMTPSessionState : std::uint8_t {
    NoHello = 0,           // no HELO yet
    HelloGiven = 1,        // hello given, no transaction
    SenderAccepted = 2,    // MAIL accepted
    RecipientAccepted = 3, // at least one RCPT accepted
    MessageReceived = 4,   // DATA completed
};

class TSMTPServerThread : public TPeerThread {
public:
    TSMTPServerThread(TSMTPServer& server, FileDescriptor& socket);
    // A session without a socket (TSMTPServer::ServeSessionFromMemory).
    explicit TSMTPServerThread(TSMTPServer& server);
    ~TSMTPServerThread() override;

    SMTPSessionState State() const { return state_; }
    bool HelloGiven() const { return helloGiven_; }
    // The sender of the current transaction (empty before MAIL).
    const TEMailAddressItem& From() const { return from_; }
    const TEMailAddressList& RCPT() const { return rcpt_; }

    // The command handlers of the server's command table.
    void CommandHELO(const std::string& params);
    void CommandEHLO(const std::string& params);
    void CommandMAIL(const std::string& params);
    void CommandRCPT(const std::string& params);
    void CommandDATA(const std::string& params);
    void CommandRSET(const std::string& params);
    void CommandNotSupported(const std::string& params);

protected:
    void BeforeRun() override;
    void Run(std::string_view line) override;
    void FreeConnection() override;
    void AfterReplies() override;

private:
    void WriteReply(SMTPReply::Code code, std::string_view text);
    void ResetTransaction();
    void RunCommand(std::string_view line);
    // One line of a message's data: kept in the temporary file, or the lone dot that ends it.
    void ReceiveDataLine(std::string_view line);
    // Hands the complete data file to the owner, deletes it and replies.
    void EndData();

    TSMTPServer& smtpServer_;
    // The data file while a message's data is being received.
    std::optional<TempDataFile> dataFile_;
    // The last message's data file, deleted already and closed once its reply has left: closing
    // frees the file's storage, which the client need not wait for.
    FileDescriptor deletedFile_;
    bool dataTooBig_ = false;
    SMTPSessionState state_ = SMTPSessionState::NoHello;
    std::size_t messagesOnConnection_ = 0;
    bool helloGiven_ = false;
    TEMailAddressItem from_;
    TEMailAddressList rcpt_;
    std::string replyLine_; // the reply being written
};

} // namespace quillet
