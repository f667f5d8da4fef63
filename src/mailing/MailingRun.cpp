#include "MailingRun.h"

#include "MacroSubstitution.h"
#include "MailingTexts.h"
#include "SmtpAccountUse.h"

#include "project/FileDescriptor.h"
#include "server/SMTPServer.h"
#include "transport/MailMessage.h"
#include "transport/SMTPClient.h"
#include "transport/StringLineWriter.h"
#include "transport/TransportError.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace quillet {

namespace {

std::string dryRunFileName(std::size_t number)
{
    char name[32];
    std::snprintf(name, sizeof name, "%06zu.eml", number);
    return name;
}

// The highest number of an NNNNNN.eml file already in the folder (0 for none).
std::size_t highestMessageNumber(const std::filesystem::path& folder)
{
    std::size_t highest = 0;
    std::error_code error;
    for (std::filesystem::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        const std::string name = it->path().filename().string();
        if (name.size() != 10 || name.compare(6, 4, ".eml") != 0)
            continue;
        std::size_t number = 0;
        bool digits = true;
        for (std::size_t i = 0; i < 6; ++i) {
            digits = digits && name[i] >= '0' && name[i] <= '9';
            number = number * 10 + std::size_t(name[i] - '0');
        }
        if (digits)
            highest = std::max(highest, number);
    }
    return highest;
}

// Creates the file new (an existing file is never overwritten) with the bytes.
void writeNewFile(const std::filesystem::path& path, const std::string& bytes)
{
    auto fail = [&path](int error) {
        return EMailingError(formatMessage(kCannotCreateFile, {path.string(), std::strerror(error)}));
    };
    FileDescriptor file(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644));
    if (!file.valid())
        throw fail(errno);
    if (const int error = writeAllBytes(file.get(), bytes))
        throw fail(error);
    if (file.close() != 0)
        throw fail(errno);
}

} // namespace

TMailingRun::TMailingRun(TSMTPClient& client, TMailMessage& message, TSMTPServer* builtinServer)
    : client_(client), message_(message), builtinServer_(builtinServer)
{
}

void TMailingRun::ResetAccountIndex()
{
    accountIndex_ = kDefaultServerIndex;
}

std::size_t TMailingRun::Run(const MailingRunRequest& request, const MailingRunHooks& hooks)
{
    if (!request.project || !request.draft)
        throw std::invalid_argument("mailing run without project or message");
    // Events are processed during a run, so a second run could be started from inside the
    // first; it is refused instead of sharing the client and the message.
    if (running_)
        throw EMailingError(std::string(kRunInProgress));
    running_ = true;
    struct RunningFlag {
        bool& flag;
        ~RunningFlag() { flag = false; }
    } runningFlag{running_};
    report_ = {};
    underWay_.clear();
    const bool dryRun = request.dryRunFolder.has_value();
    if (dryRun) {
        std::error_code error;
        std::filesystem::create_directories(*request.dryRunFolder, error);
        if (error)
            throw EMailingError(formatMessage(kCannotCreateFile, {request.dryRunFolder->string(), error.message()}));
        dryRunNumber_ = highestMessageNumber(*request.dryRunFolder);
    }
    const std::size_t total = request.recipients.size();
    std::size_t sent = 0;
    try {
        // Step 2: prepare the route (the built-in server is switched on here).
        if (!dryRun)
            PrepareRoute(request);
        // Step 3: the status shows 0 of the total.
        report_.started = true;
        report_.total = total;
        if (hooks.started)
            hooks.started(total);
        // Step 4: open the run's connection.
        if (!dryRun) {
            if (request.route == TSendRoute::Builtin) {
                client_.Connect();
            } else if (request.route == TSendRoute::Default) {
                ApplyDefaultServer(request.defaultServer);
                client_.Connect();
            }
        }
        // Step 5: one message per recipient, in the list's order.
        for (const std::size_t recordIndex : request.recipients) {
            SendToRecipient(request, recordIndex);
            report_.sent = ++sent;
            if (hooks.messageSent)
                hooks.messageSent(sent, total);
            if (hooks.stopRequested && hooks.stopRequested()) {
                report_.stopped = sent < total;
                break;
            }
        }
        // Step 6: close the run's connection.
        if (!dryRun && request.route != TSendRoute::Rotating)
            client_.Disconnect();
    } catch (const EFileOpenError&) {
        NoteFailure(request, false); // an attachment: not the server's doing
        CleanUpAfterFailure(request);
        throw;
    } catch (const ETransportError&) {
        NoteFailure(request, !dryRun);
        CleanUpAfterFailure(request);
        throw;
    } catch (...) {
        NoteFailure(request, false);
        CleanUpAfterFailure(request);
        throw;
    }
    // Step 7: the run is complete; step 8: the built-in server goes off whatever the route.
    try {
        if (hooks.completed)
            hooks.completed(sent);
    } catch (...) {
        CleanUpAfterFailure(request);
        throw;
    }
    if (!dryRun)
        DeactivateBuiltinServer();
    return sent;
}

void TMailingRun::NoteFailure(const MailingRunRequest& request, bool atTheServer)
{
    report_.failed = true;
    report_.failedRecipient = underWay_;
    if (!atTheServer)
        return;
    RunServerPlace place;
    place.host = client_.Host;
    place.port = client_.Port;
    if (request.route == TSendRoute::Builtin) {
        place.kind = RunServerPlace::Kind::Builtin;
    } else if (request.route == TSendRoute::Rotating && accountIndex_ != kDefaultServerIndex &&
               accountIndex_ < static_cast<int>(request.project->accounts.size())) {
        place.kind = RunServerPlace::Kind::Account;
        place.accountRow = accountIndex_;
        place.accountUser = request.project->accounts[static_cast<std::size_t>(accountIndex_)].user;
    } else {
        place.rotating = request.route == TSendRoute::Rotating;
    }
    report_.server = place;
}

void TMailingRun::PrepareRoute(const MailingRunRequest& request)
{
    if (request.route == TSendRoute::Builtin) {
        if (!builtinServer_)
            throw EMailingError(std::string(kBuiltinServerMissing));
        const std::uint16_t port = PortFromText(request.builtinServer.port, kDefaultBuiltinPort);
        client_.Host = std::string(kBuiltinHost);
        client_.Port = port;
        builtinServer_->DefaultPort = port;
        builtinServer_->SetActive(true);
    } else if (request.defaultServer.host.empty()) {
        throw EMailingError(std::string(kSmtpServerError));
    }
}

void TMailingRun::ApplyDefaultServer(const DefaultServerSettings& settings)
{
    client_.Host = settings.host;
    client_.Port = PortFromText(settings.port, kDefaultSmtpPort);
    client_.Username = settings.userName;
    client_.Password = settings.password;
    message_.Sender.Address = settings.sendFrom;
    message_.Sender.Name.clear();
    client_.SetAuthenticationType(UsesLogin(client_.Username, client_.Password) ? TAuthenticationType::atLogin
                                                                                : TAuthenticationType::atNone);
}

void TMailingRun::SendToRecipient(const MailingRunRequest& request, std::size_t recordIndex)
{
    const Project& project = *request.project;
    const MailDraft& draft = *request.draft;
    if (recordIndex >= project.recipients.size())
        throw std::out_of_range("recipient row without a record");
    const RecipientRecord& record = project.recipients[recordIndex];
    underWay_ = record.EMail.str();

    // 1. The default route always uses the default server.
    if (request.route == TSendRoute::Default)
        accountIndex_ = kDefaultServerIndex;

    // 2. Server and sender.
    if (request.route == TSendRoute::Builtin) {
        message_.Sender.Address = request.builtinServer.sendFrom;
        message_.Sender.Name.clear();
    } else {
        if (accountIndex_ >= static_cast<int>(project.accounts.size()))
            accountIndex_ = kDefaultServerIndex; // accounts removed since the last run
        if (accountIndex_ == kDefaultServerIndex) {
            ApplyDefaultServer(request.defaultServer);
        } else {
            const SmtpAccount& account = project.accounts[static_cast<std::size_t>(accountIndex_)];
            client_.Host = account.host;
            client_.Port = PortFromText(account.port, kDefaultSmtpPort);
            client_.Username = account.user;
            client_.Password = account.password;
            message_.Sender.Address = account.fromAddress;
            message_.Sender.Name = account.fromName;
            client_.SetAuthenticationType(UsesLogin(account.user, account.password) ? TAuthenticationType::atLogin
                                                                                    : TAuthenticationType::atNone);
        }
    }

    // 3. Subject and body as written.
    message_.Subject = draft.subject;
    message_.Body = draft.body;

    // 4. The row's address, parsed as a list (one text may hold several addresses).
    message_.Recipients.SetAddressesText(record.EMail.view());

    // 5. Personalise; an error here leaves this recipient without a message.
    const MacroRecipient recipient = MacroRecipient::fromRecord(record);
    message_.Subject = SubstituteMacros(message_.Subject, recipient, project.properties);
    for (std::string& line : message_.Body)
        line = SubstituteMacros(line, recipient, project.properties);

    // 6. Attachments afresh from the draft's paths.
    message_.Attachments.clear();
    for (const std::string& path : draft.attachments)
        message_.Attachments.emplace_back(path);

    if (request.dryRunFolder) {
        WriteDryRunMessage(*request.dryRunFolder);
    } else if (request.route == TSendRoute::Rotating) {
        // 7 and 8: a connection of its own, closed also when sending fails.
        client_.Connect();
        try {
            client_.Send(message_);
        } catch (...) {
            try {
                client_.Disconnect();
            } catch (...) {
                // The send failure is the one reported; the connection is closed either way.
            }
            throw;
        }
        client_.Disconnect();
    } else {
        client_.Send(message_);
    }

    // 9. Advance the account index.
    accountIndex_ = NextAccountIndex(accountIndex_, project.accounts);
    underWay_.clear();
}

void TMailingRun::WriteDryRunMessage(const std::filesystem::path& folder)
{
    // What the client writes after DATA, including its X-Mailer line.
    message_.ExtraHeaders.SetValue("X-Mailer", client_.MailAgent);
    TStringLineWriter writer;
    WriteMessage(message_, writer);
    writeNewFile(folder / dryRunFileName(++dryRunNumber_), writer.text);
}

void TMailingRun::CleanUpAfterFailure(const MailingRunRequest& request) noexcept
{
    // The error that ended the run is the one reported; failures while closing are secondary.
    if (!request.dryRunFolder) {
        try {
            if (client_.Connected())
                client_.Disconnect();
        } catch (...) {
        }
    }
    try {
        if (builtinServer_)
            builtinServer_->SetActive(false);
    } catch (...) {
    }
}

void TMailingRun::DeactivateBuiltinServer()
{
    if (builtinServer_)
        builtinServer_->SetActive(false);
}

} // namespace quillet
