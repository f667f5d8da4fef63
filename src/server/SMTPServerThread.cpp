#include "SMTPServerThread.h"

#include "SMTPServer.h"
#include "ServerLimits.h"
#include "ServerTexts.h"
#include "TempDataFile.h"

#include "transport/EncodedWords.h"

#include <cctype>
#include <thread>

namespace quillet {

using namespace SMTPServerTexts;

namespace {

// Removes control characters and spaces at both ends.
std::string Trim(std::string_view text)
{
    std::size_t first = 0;
    std::size_t last = text.size();
    while (first < last && static_cast<unsigned char>(text[first]) <= ' ')
        ++first;
    while (last > first && static_cast<unsigned char>(text[last - 1]) <= ' ')
        --last;
    return std::string(text.substr(first, last - first));
}

std::string UpperCase(std::string_view text)
{
    std::string result(text);
    for (char& c : result)
        c = char(std::toupper(static_cast<unsigned char>(c)));
    return result;
}

// The reply text with the argument in place of its placeholder. The argument echoes the client's
// text, whose CR and LF become spaces: a reply is one line.
std::string WithArgument(std::string_view pattern, std::string_view argument)
{
    std::string text(pattern);
    const std::size_t at = text.find("%s");
    if (at != std::string::npos)
        text.replace(at, 2, SingleLineValue(argument));
    return text;
}

} // namespace

TSMTPServerThread::TSMTPServerThread(TSMTPServer& server, FileDescriptor& socket)
    : TPeerThread(server, socket), smtpServer_(server)
{
    Connection().MaxLineLength = int(MaxCommandLineLength);
}

TSMTPServerThread::TSMTPServerThread(TSMTPServer& server) : TPeerThread(server), smtpServer_(server)
{
    Connection().MaxLineLength = int(MaxCommandLineLength);
}

TSMTPServerThread::~TSMTPServerThread() = default;

void TSMTPServerThread::BeforeRun()
{
    if (!smtpServer_.Faults.noGreeting)
        WriteReply(SMTPReply::ServiceReady, Greeting);
}

// A data file still open (the connection ended in the middle of the data) is deleted with the
// connection.
void TSMTPServerThread::FreeConnection()
{
    dataFile_.reset();
    deletedFile_.reset();
    TPeerThread::FreeConnection();
}

void TSMTPServerThread::AfterReplies()
{
    deletedFile_.reset();
}

void TSMTPServerThread::Run(std::string_view line)
{
    if (dataFile_)
        ReceiveDataLine(line);
    else
        RunCommand(line);
}

// One command: find its entry, run the handler, then the entry's fixed reply and close. An empty
// line is passed over without a reply.
void TSMTPServerThread::RunCommand(std::string_view line)
{
    if (line.empty())
        return;
    std::string params;
    const TSMTPServer::CommandHandler* entry = smtpServer_.MatchCommand(line, params);
    if (!entry) {
        WriteReply(SMTPReply::CommandUnrecognized, ReplyUnknownCommand);
        return;
    }
    if (entry->Handler)
        (this->*entry->Handler)(params);
    if (entry->ReplyCode != TSMTPServer::CommandHandler::NoFixedReply)
        WriteReply(entry->ReplyCode, entry->ReplyText);
    if (entry->Disconnect) {
        Connection().SendAvailable();
        Connection().Disconnect();
    }
}

void TSMTPServerThread::WriteReply(SMTPReply::Code code, std::string_view text)
{
    if (smtpServer_.Faults.replyDelay.count() > 0)
        std::this_thread::sleep_for(smtpServer_.Faults.replyDelay);
    // Made in memory kept for the session's replies.
    replyLine_ = std::to_string(int(code));
    replyLine_ += ' ';
    replyLine_ += text;
    Connection().WriteLn(replyLine_);
}

void TSMTPServerThread::ResetTransaction()
{
    rcpt_.clear();
    from_ = {};
    state_ = helloGiven_ ? SMTPSessionState::HelloGiven : SMTPSessionState::NoHello;
}

void TSMTPServerThread::CommandHELO(const std::string& params)
{
    if (state_ != SMTPSessionState::NoHello)
        return WriteReply(SMTPReply::BadSequence, SequenceError);
    if (params.empty())
        return WriteReply(SMTPReply::ParameterSyntaxError, SyntaxParamError);
    WriteReply(SMTPReply::Ok, WithArgument(HelloReply, params));
    helloGiven_ = true;
    state_ = SMTPSessionState::HelloGiven;
}

void TSMTPServerThread::CommandEHLO(const std::string&)
{
    WriteReply(SMTPReply::CommandUnrecognized, EHLONotSupported);
}

void TSMTPServerThread::CommandMAIL(const std::string& params)
{
    if (!helloGiven_)
        return WriteReply(SMTPReply::ParameterSyntaxError, NoHello);
    ResetTransaction();
    if (UpperCase(std::string_view(params).substr(0, 5)) != "FROM:")
        return WriteReply(SMTPReply::ParameterSyntaxError, MailParamError);
    if (smtpServer_.Faults.refuseMail) {
        if (const std::string refusal = smtpServer_.Faults.refuseMail(); !refusal.empty()) {
            Connection().WriteLn(refusal);
            Connection().SendAvailable();
            Connection().Disconnect();
            return;
        }
    }

    TEMailAddressItem address;
    address.SetText(Trim(std::string_view(params).substr(5)));
    bool accept = !smtpServer_.OnCommandMAIL;
    if (smtpServer_.OnCommandMAIL)
        smtpServer_.OnCommandMAIL(*this, accept, address);
    if (!accept)
        return WriteReply(SMTPReply::MailboxUnavailable, WithArgument(AddressRejectedReply, address.Text()));
    WriteReply(SMTPReply::Ok, WithArgument(AddressOkReply, address.Text()));
    from_ = std::move(address);
    state_ = SMTPSessionState::SenderAccepted;
}

void TSMTPServerThread::CommandRCPT(const std::string& params)
{
    if (state_ != SMTPSessionState::SenderAccepted && state_ != SMTPSessionState::RecipientAccepted)
        return WriteReply(SMTPReply::BadSequence, SequenceError);
    if (UpperCase(std::string_view(params).substr(0, 3)) != "TO:")
        return WriteReply(SMTPReply::ParameterSyntaxError, RcptParamError);

    TEMailAddressItem address;
    address.SetText(Trim(std::string_view(params).substr(3)));
    if (rcpt_.size() >= MaxRecipientsPerMessage)
        return WriteReply(SMTPReply::InsufficientStorage, TooManyRecipientsReply);
    bool accept = !smtpServer_.OnCommandRCPT;
    bool toForward = false;
    std::string customError;
    if (smtpServer_.OnCommandRCPT)
        smtpServer_.OnCommandRCPT(*this, accept, toForward, address, customError);
    if (!customError.empty())
        return Connection().WriteLn(customError);
    if (!accept)
        return WriteReply(SMTPReply::MailboxUnavailable, WithArgument(AddressRejectedReply, address.Text()));
    if (toForward)
        WriteReply(SMTPReply::UserNotLocal, WithArgument(AddressForwardReply, address.Text()));
    else
        WriteReply(SMTPReply::Ok, WithArgument(AddressOkReply, address.Text()));
    rcpt_.Add(std::move(address));
    state_ = SMTPSessionState::RecipientAccepted;
}

void TSMTPServerThread::CommandDATA(const std::string&)
{
    if (state_ != SMTPSessionState::RecipientAccepted)
        return WriteReply(SMTPReply::BadSequence, SequenceError);
    WriteReply(SMTPReply::StartMailInput, StartDataReply);
    // The client starts on the data while the file is made.
    Connection().SendAvailable();
    dataTooBig_ = false;
    dataFile_.emplace();
}

void TSMTPServerThread::CommandRSET(const std::string&)
{
    ResetTransaction();
}

void TSMTPServerThread::CommandNotSupported(const std::string& params)
{
    WriteReply(SMTPReply::CommandUnrecognized, WithArgument(ErrorReply, params));
}

// Lines up to the one that is exactly "."; a line beginning with two dots loses the first. Past
// the size limit the lines are read on and dropped.
void TSMTPServerThread::ReceiveDataLine(std::string_view line)
{
    if (line == ".")
        return EndData();
    if (dataTooBig_)
        return;
    if (line.size() >= 2 && line[0] == '.' && line[1] == '.')
        line.remove_prefix(1);
    if (dataFile_->Size() + line.size() + 2 > smtpServer_.MaxMessageSize) {
        dataTooBig_ = true;
        return;
    }
    dataFile_->Write(line);
    dataFile_->Write("\r\n");
}

// The file is deleted before the reply, also when the owner's hook raises; its descriptor is
// closed after the reply has left (AfterReplies).
void TSMTPServerThread::EndData()
{
    std::string customError;
    {
        struct DeleteFile {
            std::optional<TempDataFile>& file;
            FileDescriptor& deleted;
            ~DeleteFile()
            {
                if (file)
                    deleted = file->RemoveName();
                file.reset();
            }
        } deleteFile{dataFile_, deletedFile_};
        if (!dataTooBig_) {
            dataFile_->Flush();
            if (smtpServer_.OnReceiveRaw)
                smtpServer_.OnReceiveRaw(*this, ReceivedData{dataFile_->Path(), dataFile_->Size()}, rcpt_, customError);
        }
    }
    if (dataTooBig_) {
        ResetTransaction();
        return WriteReply(SMTPReply::ExceededStorage, MessageTooBigReply);
    }
    if (!customError.empty())
        return Connection().WriteLn(customError);
    WriteReply(SMTPReply::Ok, EndDataReply);
    state_ = SMTPSessionState::MessageReceived;
    const std::size_t limit = smtpServer_.Faults.disconnectAfter;
    if (limit > 0 && ++messagesOnConnection_ >= limit) {
        Connection().SendAvailable();
        Connection().Disconnect();
    }
}

} // namespace quillet
