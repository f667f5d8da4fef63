// The mailing run: one personalised message per chosen recipient, sent through one of three
// routes. The send window and the command line both drive it.
//
//   default   the default mail server, one connection for the whole run;
//   rotating  the default server and the project's enabled accounts in turn, one connection
//             per message (see SmtpAccountUse.h for the account index);
//   builtin   the built-in server, activated on its port for the run and reached at 127.0.0.1,
//             one connection for the whole run.
//
// Per message, in this order: (1) default route: account index -1; (2) client and Sender from
// the route; (3) subject and body from the draft; (4) the recipient's address as the message's
// recipient list; (5) macros substituted in the subject and every body line; (6) attachments
// rebuilt from the draft's paths; (7) rotating route: connect; (8) send (rotating route:
// disconnect, also after a failure); (9) advance the account index.
//
// Progress is reported after every message and the stop request checked after it, so a stop
// completes the message under way. Any error ends the run with that error; messages already
// sent stay sent. Whatever happens, the run's connection is closed and the built-in server
// deactivated before Run returns or raises, so the next run can connect again. What the run
// did (counts, and where an error happened) stays readable as LastReport() until the next run.
//
// The message object and the client are the caller's and are reused across runs: the message's
// From (set only by template insertion) is never touched here. The account index lives as long
// as this object (ResetAccountIndex when the send window is shown again).
#pragma once

#include "MailDraft.h"
#include "RunReport.h"

#include "project/Project.h"

#include <cstddef>
#include <filesystem>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace quillet {

class TMailMessage;
class TSMTPClient;
class TSMTPServer;

enum class TSendRoute { Default, Rotating, Builtin };

// A failure of the run itself (not of the transport), e.g. "SMTP Server error!".
class EMailingError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The default mail server as the settings in force hold it (texts as typed).
struct DefaultServerSettings {
    std::string host;
    std::string port = "25";
    std::string userName;
    std::string password;
    std::string sendFrom;
};

// The built-in server's port text and sender address.
struct BuiltinServerSettings {
    std::string port = "1026";
    std::string sendFrom;
};

struct MailingRunRequest {
    TSendRoute route = TSendRoute::Default;
    const Project* project = nullptr;
    // Record indices of the chosen recipient rows, in the list's order.
    std::vector<std::size_t> recipients;
    const MailDraft* draft = nullptr;
    DefaultServerSettings defaultServer;
    BuiltinServerSettings builtinServer;
    // When set, nothing is connected: every personalised message is written, exactly as it
    // would follow DATA, to <folder>/NNNNNN.eml. The folder is created when missing; numbers
    // go on after the highest one already there, and no existing file is overwritten.
    std::optional<std::filesystem::path> dryRunFolder;
};

struct MailingRunHooks {
    // The run is about to open its connection: the number of recipients.
    std::function<void(std::size_t total)> started;
    // After every message: the number sent so far and the total. The place to process events.
    std::function<void(std::size_t sent, std::size_t total)> messageSent;
    // Checked after every message; true ends the run normally.
    std::function<bool()> stopRequested;
    // The run has ended normally and disconnected (before the built-in server is switched off).
    std::function<void(std::size_t sent)> completed;
};

class TMailingRun {
public:
    // The built-in server may be null when the caller has none; the builtin route then fails.
    TMailingRun(TSMTPClient& client, TMailMessage& message, TSMTPServer* builtinServer);

    // -1 again: the next rotating message goes through the default server.
    void ResetAccountIndex();
    int AccountIndex() const { return accountIndex_; }

    // Runs the mailing and returns the number of messages sent; raises the error that ended it.
    // A call from inside a running run (through a hook) is refused with EMailingError.
    std::size_t Run(const MailingRunRequest& request, const MailingRunHooks& hooks = {});

    // What the last run did; complete once Run has returned or raised (the counts are already
    // final when the completed hook is called).
    const MailingRunReport& LastReport() const { return report_; }

private:
    void PrepareRoute(const MailingRunRequest& request);
    void ApplyDefaultServer(const DefaultServerSettings& settings);
    void SendToRecipient(const MailingRunRequest& request, std::size_t recordIndex);
    void WriteDryRunMessage(const std::filesystem::path& folder);
    void CleanUpAfterFailure(const MailingRunRequest& request) noexcept;
    void DeactivateBuiltinServer();
    void NoteFailure(const MailingRunRequest& request, bool atTheServer);

    TSMTPClient& client_;
    TMailMessage& message_;
    TSMTPServer* builtinServer_;
    int accountIndex_ = -1;
    bool running_ = false;
    std::size_t dryRunNumber_ = 0;
    MailingRunReport report_;
    // The address of the message under way (empty between messages).
    std::string underWay_;
};

} // namespace quillet
