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
// Progress is reported after every message and the stop request checked after it. The request's
// stop signal also ends any network wait: the message under way may go on for kStopGraceMessageMs
// (a server that answers at once completes it); a wait still going on then closes the
// connection, the message under way is not sent (after its final dot its fate is unknown), and
// the run ends as after a stop between messages. By default any error ends the run with that error; messages already sent
// stay sent. The request's delivery options may instead retry temporary failures and go on past
// a recipient's failure (see DeliveryPolicy.h), limit the pace (SendThrottle.h), reconnect after
// a number of messages and leave disabled recipients out; a recorder (the run journal) is told
// every recipient's fate, the "pending" mark coming before the final dot. Whatever happens, the
// run's connection is closed and the built-in server deactivated before Run returns or raises,
// so the next run can connect again. What the run did (counts, and where an error happened)
// stays readable as LastReport() until the next run.
//
// The message object and the client are the caller's and are reused across runs: the message's
// From (set only by template insertion) is never touched here. The account index lives as long
// as this object (ResetAccountIndex when the send window is shown again).
#pragma once

#include "DeliveryPolicy.h"
#include "DeliveryRecorder.h"
#include "MailDraft.h"
#include "RecipientDispenser.h"
#include "RunReport.h"
#include "SendThrottle.h"

#include "project/Project.h"
#include "transport/ConnectionSecurity.h"
#include "transport/TlsSession.h"

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace quillet {

class ConnectionShare;
class StopSignal;
class TMailMessage;
class TSMTPClient;
class TSMTPServer;

enum class SendRoute { Default, Rotating, Builtin };

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

// How every connection of the run is made: to the default server and to every account (the
// built-in server announces no TLS, so it is reached in clear unless TLS is required).
struct ConnectionSettings {
    ConnectionSecurity security = ConnectionSecurity::Auto;
    TlsTrust trust;
    SmtpTimeLimits limits;
    // The password may go without TLS to a server not on this machine (see TSMTPClient).
    bool allowPlainAuth = false;
    // Told (on the thread of the connection) when a server has sent no greeting for a while
    // after the connect; none by default.
    std::function<void(const std::string& host, std::uint16_t port)> noGreetingYet;
};

// The built-in server's port text and sender address.
struct BuiltinServerSettings {
    std::string port = "1026";
    std::string sendFrom;
};

struct MailingRunRequest {
    SendRoute route = SendRoute::Default;
    const Project* project = nullptr;
    // Record indices of the chosen recipient rows, in the list's order.
    std::vector<std::size_t> recipients;
    const MailDraft* draft = nullptr;
    DefaultServerSettings defaultServer;
    BuiltinServerSettings builtinServer;
    ConnectionSettings connection;
    // Watched by every network wait of the run (see the file comment); may be null.
    const StopSignal* stop = nullptr;
    // When set, nothing is connected: every personalised message is written, exactly as it
    // would follow DATA, to <folder>/NNNNNN.eml. The folder is created when missing; numbers
    // go on after the highest one already there, and no existing file is overwritten.
    std::optional<std::filesystem::path> dryRunFolder;
    // Connections at once: to the default server (default route), or to each server of the
    // rotation (rotating route), each on a thread of its own. 1 (the default) is the one
    // connection of old; the built-in route and a dry run always use one. See RunParallel.
    std::size_t connections = 1;
    // What a recipient's failure does, retries, reconnecting, disabled recipients.
    DeliveryOptions delivery;
    SendRate rate;
    // Each recipient's position in the run's journal (a resumed run keeps the first session's
    // positions); empty: 0, 1, 2, ... in the order of `recipients`.
    std::vector<std::size_t> positions;
    // Told of every recipient's fate; none for a dry run.
    DeliveryRecorder* recorder = nullptr;
    // A message without From gets the sender address (of its route) as From.
    bool fromSender = false;
    // When set, every message goes to this address instead of the recipient's, its subject
    // marked as a test (Send test, --test-to).
    std::optional<std::string> testAddress;
};

struct MailingRunHooks {
    // The run is about to open its connection: the number of recipients.
    std::function<void(std::size_t total)> started;
    // After every message: the number sent so far and the total. The place to process events.
    std::function<void(std::size_t sent, std::size_t total)> messageSent;
    // Checked after every message and during waits; true ends the run normally (so does the
    // request's stop signal).
    std::function<bool()> stopRequested;
    // The run waits (a retry's back-off, the rate limit): called every kWaitSlice at least.
    std::function<void()> waiting;
    // Something about the run the user should know, said once (a server that took fewer of its
    // connections than asked); called on the run's thread.
    std::function<void(const std::string& text)> notice;
    // The run has ended normally and disconnected (before the built-in server is switched off).
    std::function<void(std::size_t sent)> completed;
};

class MailingRun {
public:
    // The built-in server may be null when the caller has none; the builtin route then fails.
    MailingRun(TSMTPClient& client, TMailMessage& message, TSMTPServer* builtinServer);

    // -1 again: the next rotating message goes through the default server.
    void ResetAccountIndex();
    int AccountIndex() const { return accountIndex_; }

    // Runs the mailing and returns the number of messages sent; raises the error that ended it.
    // A call from inside a running run (through a hook) is refused with EMailingError.
    std::size_t Run(const MailingRunRequest& request, const MailingRunHooks& hooks = {});
    // The outcomes of the last run (also of one that ended in an error), and whether a stop
    // request ended it.
    const RunCounts& LastCounts() const { return counts_; }
    bool LastRunStopped() const { return stopped_; }

    // The longest stretch a wait of the run goes without calling the waiting hook.
    static constexpr std::chrono::milliseconds kWaitSlice{100};
    // How long the message under way may still take after a stop request: a server that answers
    // at once completes it (so it is sent rather than cut off in the middle), a silent one is left
    // well within a second.
    static constexpr int kStopGraceMessageMs = 400;

    // What the last run did; complete once Run has returned or raised (the counts are already
    // final when the completed hook is called).
    const MailingRunReport& LastReport() const { return report_; }

    // The complete message one recipient would receive, as it would follow DATA (with a fresh
    // Message-ID); connects nowhere and sends nothing (Preview, --preview).
    std::string RenderMessage(const MailingRunRequest& request, std::size_t recordIndex);

    // The most connections a run opens at once per server.
    static constexpr std::size_t kMaxConnections = 100;
    // A lane whose connection the server refused while the run holds others tries again after
    // this wait, each further wait twice the last up to the longest: a server's slots free up
    // within seconds, and a lane retrying for the whole run costs one attempt a minute.
    static constexpr std::chrono::milliseconds kRefusedConnectionFirstWait{250};
    static constexpr std::chrono::milliseconds kRefusedConnectionLongestWait{60'000};

private:
    void ApplyConnectionSettings(const MailingRunRequest& request);
    // Steps 4 to 6 on this object's connection: the recipients handed out by the dispenser
    // (every one in order when there is none).
    void RunLane(const MailingRunRequest& request, const MailingRunHooks& hooks);
    // Steps 4 to 6 on request.connections connections per server at once (see the .cpp).
    void RunParallel(const MailingRunRequest& request, const MailingRunHooks& hooks);
    // A lane of a parallel run opens its connection to the default server; a refusal while
    // another lane holds one is waited out with growing waits. False: stopped, or no recipient
    // left for this lane.
    bool OpenSharedConnection(const MailingRunRequest& request, const MailingRunHooks& hooks);
    // Steps 1 to 6 for one recipient: route, sender, personalised texts, headers, attachments.
    void PrepareMessage(const MailingRunRequest& request, std::size_t recordIndex);
    void PrepareRoute(const MailingRunRequest& request);
    void ApplyDefaultServer(const DefaultServerSettings& settings);
    // One recipient with its retries; false when a stop request cut a wait short.
    bool DeliverToRecipient(const MailingRunRequest& request, const MailingRunHooks& hooks, std::size_t k);
    void SendToRecipient(const MailingRunRequest& request, std::size_t recordIndex);
    void EnsureConnection(const MailingRunRequest& request);
    // The reply to the final dot of the message just sent, as one line.
    std::string SentReply() const;
    void DropConnection() noexcept;
    // Waits the time out in slices; false when a stop was requested meanwhile.
    bool Wait(std::chrono::steady_clock::duration time, const MailingRunRequest& request, const MailingRunHooks& hooks);
    void WriteDryRunMessage(const std::filesystem::path& folder);
    // The Message-ID of the recipient under way: the same for all its attempts.
    std::string messageId_;
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
    RunCounts counts_;
    bool stopped_ = false;
    std::optional<SendThrottle> throttle_;
    // The throttle in force and its lock: this run's own, or the one all lanes of a parallel run
    // share (the rate is a total over all connections to a server).
    SendThrottle* pace_ = nullptr;
    std::mutex ownPaceMutex_;
    std::mutex* paceMutex_ = &ownPaceMutex_;
    // A lane of a parallel run: where its recipients come from, its queue, and whether it keeps
    // to one server of the rotation instead of advancing the account index.
    RecipientDispenser* dispenser_ = nullptr;
    ConnectionShare* share_ = nullptr; // the default route's connections of a parallel run
    bool holdsShare_ = false;
    std::size_t laneQueue_ = 0;
    bool boundToServer_ = false;
    std::size_t onConnection_ = 0;  // messages sent on the present connection
    bool connecting_ = false;       // the attempt under way is opening its connection
    bool connectionReused_ = false; // the attempt under way went out on a connection used before
    bool dataEnded_ = false;        // the attempt under way has handed over its final dot
    int accountIndexOfAttempt_ = -1;
    std::size_t pendingPosition_ = 0;
    const std::string* pendingEmail_ = nullptr;
};

} // namespace quillet
