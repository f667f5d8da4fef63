// One SMTP session: the dialogue on one accepted connection, from the greeting to the close.
//
// States: 0 no hello yet; 1 hello given, no transaction; 2 sender accepted; 3 at least one
// recipient accepted; 4 message received. Nothing of a session outlives its connection.
// A line longer than the line limit, an address the parser rejects or a failure while reading
// the data ends the session without a reply; the data file is deleted in every case.
#pragma once

#include "TCPServer.h"

#include "TempDataFile.h"

#include "transport/EMailAddress.h"

#include <cstdint>
#include <optional>
#include <string>

namespace quillet {

class TSMTPServer;

class TSMTPServerThread : public TPeerThread {
public:
    TSMTPServerThread(TSMTPServer& server, TSocketHandle& socket);
    ~TSMTPServerThread() override;

    std::uint8_t State() const { return state_; }
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
    void Run(const std::string& line) override;
    void FreeConnection() override;

private:
    void WriteReply(int code, std::string_view text);
    void ResetTransaction();
    void RunCommand(const std::string& line);
    // One line of a message's data: kept in the temporary file, or the lone dot that ends it.
    void ReceiveDataLine(std::string_view line);
    // Hands the complete data file to the owner, deletes it and replies.
    void EndData();

    TSMTPServer& smtpServer_;
    // The data file while a message's data is being received.
    std::optional<TTempDataFile> dataFile_;
    bool dataTooBig_ = false;
    std::uint8_t state_ = 0;
    std::size_t messagesOnConnection_ = 0;
    bool helloGiven_ = false;
    TEMailAddressItem from_;
    TEMailAddressList rcpt_;
};

} // namespace quillet
