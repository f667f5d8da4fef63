#include "MailingRun.h"

#include "ConnectionShare.h"
#include "MacroSubstitution.h"
#include "MessageHeaders.h"
#include "MailingTexts.h"
#include "SmtpAccountUse.h"

#include "addressbook/AddressValidity.h"

#include "project/FileDescriptor.h"
#include "server/SMTPServer.h"
#include "transport/MailMessage.h"
#include "transport/MessageId.h"
#include "transport/SMTPClient.h"
#include "transport/MessageTexts.h"
#include "transport/StopSignal.h"
#include "transport/StringLineWriter.h"
#include "transport/TransportError.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <memory>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <thread>
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

// Two addresses of one mailbox, letter case aside (as servers take them).
bool sameAddress(std::string_view a, std::string_view b)
{
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [&](char x, char y) { return lower(x) == lower(y); });
}

// Whether a row's text names mailboxes only (one text may name several, each is sent to).
bool mailboxesOnly(std::string_view text)
{
    TEMailAddressList list;
    list.SetAddressesText(text);
    if (list.size() == 0)
        return false;
    for (const auto& item : list)
        if (!isValidAddress(item.Address))
            return false;
    return true;
}

} // namespace

MailingRun::MailingRun(TSMTPClient& client, TMailMessage& message, TSMTPServer* builtinServer)
    : client_(client), message_(message), builtinServer_(builtinServer)
{
}

void MailingRun::ResetAccountIndex()
{
    accountIndex_ = kDefaultServerIndex;
}

std::size_t MailingRun::Run(const MailingRunRequest& request, const MailingRunHooks& hooks)
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
    counts_ = RunCounts{};
    counts_.total = total;
    stopped_ = false;
    onConnection_ = 0;
    throttle_.emplace(request.rate);
    pace_ = &*throttle_;
    paceMutex_ = &ownPaceMutex_;
    // The journal's "pending" mark goes out just before the final dot of every message.
    struct DataEndingHook {
        TSMTPClient& client;
        ~DataEndingHook() { client.OnDataEnding = nullptr; }
    } dataEndingHook{client_};
    client_.OnDataEnding = [this, &request] {
        dataEnded_ = true;
        if (request.recorder && pendingEmail_)
            request.recorder->Pending(pendingPosition_, *pendingEmail_);
    };
    ApplyConnectionSettings(request);
    struct StopSignalInUse {
        TSMTPClient& client;
        ~StopSignalInUse() { client.SetStopSignal(nullptr); }
    } stopSignalInUse{client_};
    try {
        // Step 2: prepare the route (the built-in server is switched on here).
        if (!dryRun)
            PrepareRoute(request);
        // Step 3: the status shows 0 of the total.
        report_.started = true;
        report_.total = total;
        if (hooks.started)
            hooks.started(total);
        // Steps 4 to 6: the run's connections, its messages, and closing the connections.
        if (!dryRun && request.connections > 1 && request.route != SendRoute::Builtin)
            RunParallel(request, hooks);
        else
            RunLane(request, hooks);
        sent = counts_.sent;
        if (request.recorder)
            request.recorder->Ended(stopped_ ? "stopped" : "completed", "");
    } catch (const std::exception& error) {
        // An attachment that cannot be read is not the server's doing; other transport errors are.
        // A parallel run has noted where its failing lane was already (this client connected nowhere).
        if (!report_.failed)
            NoteFailure(request, !dryRun && dynamic_cast<const ETransportError*>(&error) &&
                                     !dynamic_cast<const EFileOpenError*>(&error));
        CleanUpAfterFailure(request);
        if (request.recorder) {
            try {
                request.recorder->Ended("error", error.what());
            } catch (...) {
                // The run's own error is the one reported.
            }
        }
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

void MailingRun::RunLane(const MailingRunRequest& request, const MailingRunHooks& hooks)
{
    const bool dryRun = request.dryRunFolder.has_value();
    const std::size_t total = request.recipients.size();
    try {
        // Step 4: open the run's connection.
        if (!dryRun) {
            if (request.route == SendRoute::Builtin) {
                client_.Connect();
            } else if (request.route == SendRoute::Default) {
                ApplyDefaultServer(request.defaultServer);
                if (!share_)
                    client_.Connect();
                else if (!OpenSharedConnection(request, hooks))
                    return; // stopped, or nothing left for this lane
            }
        }
        onConnection_ = 0;
        // Step 5: one message per recipient, in the list's order.
        for (std::size_t next = 0;; ++next) {
            const std::optional<std::size_t> k =
                dispenser_ ? dispenser_->Next(laneQueue_) : (next < total ? std::optional(next) : std::nullopt);
            if (!k)
                break;
            if (!DeliverToRecipient(request, hooks, *k)) {
                report_.stopped = stopped_ = true;
                break;
            }
            report_.sent = counts_.sent;
            if (hooks.messageSent)
                hooks.messageSent(counts_.sent, total);
            if ((hooks.stopRequested && hooks.stopRequested()) || (request.stop && request.stop->Requested())) {
                report_.stopped = stopped_ = dispenser_ ? dispenser_->Remaining() > 0 : *k + 1 < total;
                break;
            }
        }
    } catch (const EStopped&) {
        // Stopped during a network wait: the connection is closed already.
        report_.stopped = stopped_ = true;
    }
    // Step 6: close the run's connection.
    if (!dryRun && request.route != SendRoute::Rotating)
        client_.Disconnect();
}

bool MailingRun::OpenSharedConnection(const MailingRunRequest& request, const MailingRunHooks& hooks)
{
    const auto stopped = [&] {
        return (hooks.stopRequested && hooks.stopRequested()) || (request.stop && request.stop->Requested());
    };
    for (auto wait = kRefusedConnectionFirstWait;; wait = std::min(wait * 2, kRefusedConnectionLongestWait)) {
        share_->Opening();
        try {
            client_.Connect();
            share_->Opened(true);
            holdsShare_ = true;
            return true;
        } catch (const EStopped&) {
            share_->Opened(false);
            throw;
        } catch (...) {
            share_->Opened(false);
            const ClassifiedFailure failure = ClassifyFailure(std::current_exception(), false);
            if (failure.kind != FailureKind::Temporary || !share_->OthersHoldOne(stopped))
                throw;
            share_->Note(formatMessage(kFewerConnections, {client_.Host, std::to_string(client_.Port), failure.reply}));
        }
        // The wait ends early when the other lanes have taken every recipient.
        for (const auto until = std::chrono::steady_clock::now() + wait; std::chrono::steady_clock::now() < until;) {
            if (stopped() || dispenser_->Remaining() == 0)
                return false;
            std::this_thread::sleep_for(kWaitSlice);
        }
    }
}

namespace {

// The recorder of a parallel run: one lane at a time tells it anything.
class LockedRecorder : public DeliveryRecorder {
public:
    explicit LockedRecorder(DeliveryRecorder& inner) : inner_(inner) {}
    void Pending(std::size_t position, std::string_view email) override
    {
        std::lock_guard lock(mutex_);
        inner_.Pending(position, email);
    }
    void Outcome(std::size_t position, std::string_view email, RecipientStatus status, std::string_view reply,
                 int attempts) override
    {
        std::lock_guard lock(mutex_);
        inner_.Outcome(position, email, status, reply, attempts);
    }
    void Ended(std::string_view ending, std::string_view error) override
    {
        std::lock_guard lock(mutex_);
        inner_.Ended(ending, error);
    }
    void Flush() override
    {
        std::lock_guard lock(mutex_);
        inner_.Flush();
    }

private:
    DeliveryRecorder& inner_;
    std::mutex mutex_;
};

} // namespace

// Parallel connections. Every server of the route (the default server; in the rotating route
// also every enabled account) gets request.connections lanes; a lane is a run of its own (client,
// message, connection) on a thread of its own, taking its recipients from the dispenser in the
// list's order: the default route's lanes share one queue, the rotating route gives every
// recipient the server the rotation would and that server's lanes share its queue. Retries stay
// on the lane that made the attempt. Shared, each under its lock: the throttle (its rate a total
// over a server's connections), the recorder, the counts. This thread reports progress, calls
// the waiting hook and checks for a stop request; a stop or an error that ends the run closes
// the dispenser, and every lane ends after the message under way. The first such error is
// raised once every lane has ended. The request's stop signal ends every lane's network wait at
// once, as on one connection.
void MailingRun::RunParallel(const MailingRunRequest& request, const MailingRunHooks& hooks)
{
    const Project& project = *request.project;
    const std::size_t total = request.recipients.size();
    const std::size_t perServer = std::min(request.connections, kMaxConnections);

    // The servers in rotation order from the present account index, and each recipient's queue.
    std::vector<int> servers{request.route == SendRoute::Rotating ? accountIndex_ : kDefaultServerIndex};
    if (request.route == SendRoute::Rotating) {
        if (servers[0] >= static_cast<int>(project.accounts.size()))
            servers[0] = kDefaultServerIndex;
        for (int next = NextAccountIndex(servers[0], project.accounts); next != servers[0];
             next = NextAccountIndex(next, project.accounts))
            servers.push_back(next);
    }
    std::vector<std::size_t> queueOf(total, 0);
    std::size_t turn = 0; // recipients left out as disabled take no turn of the rotation
    for (std::size_t k = 0; k < total; ++k) {
        queueOf[k] = turn % servers.size();
        const std::size_t recordIndex = request.recipients[k];
        const bool skipped = request.delivery.skipDisabled && recordIndex < project.recipients.size() &&
                             !project.recipients[recordIndex].enabled();
        turn += skipped ? 0 : 1;
    }
    RecipientDispenser dispenser(queueOf, servers.size());
    ConnectionShare share;

    std::optional<LockedRecorder> lockedRecorder;
    MailingRunRequest laneRequest = request;
    if (request.recorder)
        laneRequest.recorder = &lockedRecorder.emplace(*request.recorder);

    struct Lane {
        TSMTPClient client;
        TMailMessage message;
        std::unique_ptr<MailingRun> run;
        std::size_t sent = 0; // as last reported by the lane
        std::thread thread;
    };
    std::mutex progressMutex;
    std::condition_variable progressChanged;
    std::size_t completed = 0;
    std::size_t sentAll = 0;
    std::size_t running = 0;
    std::atomic<bool> stop{false};
    std::exception_ptr firstError;
    std::vector<std::unique_ptr<Lane>> lanes;
    // Every lane started is joined on every path: a failed thread start or a hook that raises
    // on this thread closes the dispenser, so each lane ends after its message under way.
    struct JoinLanes {
        std::vector<std::unique_ptr<Lane>>& lanes;
        std::atomic<bool>& stop;
        RecipientDispenser& dispenser;
        ~JoinLanes()
        {
            stop = true;
            dispenser.Close();
            for (auto& lane : lanes)
                if (lane->thread.joinable())
                    lane->thread.join();
        }
    } joinLanes{lanes, stop, dispenser};
    for (std::size_t s = 0; s < servers.size(); ++s)
        for (std::size_t c = 0; c < perServer; ++c) {
            auto lane = std::make_unique<Lane>();
            lane->client.HeloName = client_.HeloName;
            lane->client.MailAgent = client_.MailAgent;
            lane->client.UsePipelining = client_.UsePipelining;
            lane->client.ReadTimeout = client_.ReadTimeout;
            lane->message = message_;
            lane->run = std::make_unique<MailingRun>(lane->client, lane->message, nullptr);
            MailingRun& run = *lane->run;
            run.accountIndex_ = servers[s];
            run.dispenser_ = &dispenser;
            run.share_ = request.route == SendRoute::Default ? &share : nullptr;
            run.laneQueue_ = s;
            run.boundToServer_ = request.route == SendRoute::Rotating;
            run.pace_ = pace_;
            run.paceMutex_ = paceMutex_;
            run.counts_.total = total;
            run.ApplyConnectionSettings(laneRequest);
            lanes.push_back(std::move(lane));
        }

    MailingRunHooks laneHooks;
    laneHooks.stopRequested = [&stop] { return stop.load(); };
    for (auto& lanePointer : lanes) {
        Lane& lane = *lanePointer;
        MailingRunHooks hooksOfLane = laneHooks;
        hooksOfLane.messageSent = [&, lanePtr = &lane](std::size_t sent, std::size_t) {
            std::lock_guard lock(progressMutex);
            sentAll += sent - lanePtr->sent;
            lanePtr->sent = sent;
            ++completed;
            progressChanged.notify_one();
        };
        ++running;
        lane.thread = std::thread([&, hooksOfLane, lanePtr = &lane] {
            MailingRun& run = *lanePtr->run;
            run.client_.OnDataEnding = [&run, &laneRequest] {
                run.dataEnded_ = true;
                if (laneRequest.recorder && run.pendingEmail_)
                    laneRequest.recorder->Pending(run.pendingPosition_, *run.pendingEmail_);
            };
            std::exception_ptr error;
            try {
                run.RunLane(laneRequest, hooksOfLane);
            } catch (const std::exception& e) {
                error = std::current_exception();
                run.NoteFailure(laneRequest,
                                dynamic_cast<const ETransportError*>(&e) && !dynamic_cast<const EFileOpenError*>(&e));
            } catch (...) {
                error = std::current_exception();
                run.NoteFailure(laneRequest, false);
            }
            run.CleanUpAfterFailure(laneRequest);
            if (run.holdsShare_)
                share.Closed();
            std::lock_guard lock(progressMutex);
            if (error) {
                stop = true;
                dispenser.Close();
                if (!firstError) {
                    firstError = error;
                    report_.failed = true;
                    report_.failedRecipient = run.report_.failedRecipient;
                    report_.server = run.report_.server;
                }
            }
            --running;
            progressChanged.notify_one();
        });
    }

    // Progress, events and the stop request on this thread until every lane has ended.
    std::size_t reported = 0;
    std::unique_lock lock(progressMutex);
    while (running > 0 || reported < completed) {
        progressChanged.wait_for(lock, kWaitSlice, [&] { return running == 0 || reported < completed; });
        const bool progressed = reported < completed;
        reported = completed;
        const std::size_t sentNow = sentAll;
        lock.unlock();
        report_.sent = sentNow;
        if (const std::optional<std::string> note = share.TakeNote(); note && hooks.notice)
            hooks.notice(*note);
        if (progressed && hooks.messageSent)
            hooks.messageSent(sentNow, total);
        else if (!progressed && hooks.waiting)
            hooks.waiting();
        if (!stop && ((hooks.stopRequested && hooks.stopRequested()) || (request.stop && request.stop->Requested()))) {
            stop = true;
            dispenser.Close();
        }
        lock.lock();
    }
    lock.unlock();
    for (auto& lane : lanes)
        lane->thread.join();

    counts_ = RunCounts{};
    counts_.total = total;
    bool laneStopped = false;
    for (auto& lane : lanes) {
        const RunCounts& c = lane->run->counts_;
        counts_.sent += c.sent;
        counts_.rejected += c.rejected;
        counts_.failed += c.failed;
        counts_.unknown += c.unknown;
        counts_.skipped += c.skipped;
        counts_.invalid += c.invalid;
        counts_.notTried += c.notTried;
        const std::vector<std::string>& invalid = lane->run->report_.invalidAddresses;
        report_.invalidAddresses.insert(report_.invalidAddresses.end(), invalid.begin(), invalid.end());
        laneStopped = laneStopped || lane->run->stopped_;
    }
    report_.sent = counts_.sent;
    report_.stopped = stopped_ = !firstError && (laneStopped || dispenser.Remaining() > 0);
    // The rotation goes on where a one-connection run would have left it.
    if (request.route == SendRoute::Rotating)
        for (std::size_t i = 0; i < turn % servers.size(); ++i)
            accountIndex_ = NextAccountIndex(accountIndex_, project.accounts);
    if (firstError)
        std::rethrow_exception(firstError);
}

void MailingRun::NoteFailure(const MailingRunRequest& request, bool atTheServer)
{
    report_.failed = true;
    report_.failedRecipient = underWay_;
    if (!atTheServer)
        return;
    RunServerPlace place;
    place.host = client_.Host;
    place.port = client_.Port;
    if (request.route == SendRoute::Builtin) {
        place.kind = RunServerPlace::Kind::Builtin;
    } else if (request.route == SendRoute::Rotating && accountIndex_ != kDefaultServerIndex &&
               accountIndex_ < static_cast<int>(request.project->accounts.size())) {
        place.kind = RunServerPlace::Kind::Account;
        place.accountRow = accountIndex_;
        place.accountUser = request.project->accounts[static_cast<std::size_t>(accountIndex_)].user;
    } else {
        place.rotating = request.route == SendRoute::Rotating;
    }
    report_.server = place;
}

bool MailingRun::DeliverToRecipient(const MailingRunRequest& request, const MailingRunHooks& hooks, std::size_t k)
{
    const std::size_t recordIndex = request.recipients[k];
    const std::size_t position = request.positions.empty() ? k : request.positions.at(k);
    if (recordIndex >= request.project->recipients.size())
        throw std::out_of_range("recipient row without a record");
    const RecipientRecord& record = request.project->recipients[recordIndex];
    const std::string email = record.EMail.str();
    auto record_outcome = [&](RecipientStatus status, std::string_view reply, int attempts) {
        counts_.Add(status);
        if (request.recorder)
            request.recorder->Outcome(position, email, status, reply, attempts);
    };
    if (request.delivery.skipDisabled && !record.enabled()) {
        record_outcome(RecipientStatus::Skipped, "disabled", 0);
        return true;
    }
    // A text that is no mailbox would go out as an empty or wrong RCPT TO: never sent to.
    if (!request.testAddress && !mailboxesOnly(record.EMail.view())) {
        record_outcome(RecipientStatus::Skipped, kInvalidAddressReason, 0);
        ++counts_.invalid;
        report_.invalidAddresses.push_back(email);
        return true;
    }
    const bool dryRun = request.dryRunFolder.has_value();
    const int attempts = std::max(1, request.delivery.attempts);
    ClassifiedFailure failure;
    messageId_.clear();            // a new one for this recipient, kept across its retries
    bool idleLossForgiven = false; // once per recipient
    bool reopenAtOnce = false;
    for (int attempt = 1;; ++attempt) {
        // The pace: each server's next message waits its turn (the turn is taken under the
        // lock, so connections that share a server never start two messages on one turn).
        const int server = request.route == SendRoute::Rotating ? accountIndex_ : 0;
        for (bool started = dryRun || reopenAtOnce; !started;) {
            SendThrottle::Clock::duration wait;
            {
                std::lock_guard lock(*paceMutex_);
                const auto now = SendThrottle::Clock::now();
                wait = pace_->WaitBefore(server, now);
                if (wait <= SendThrottle::Clock::duration::zero()) {
                    pace_->Started(server, now);
                    started = true;
                }
            }
            if (!started && !Wait(wait, request, hooks)) {
                if (attempt > 1)
                    record_outcome(RecipientStatus::Failed, failure.reply, attempt - 1);
                return false;
            }
        }
        reopenAtOnce = false;
        dataEnded_ = false;
        connecting_ = false;
        connectionReused_ = false;
        pendingPosition_ = position;
        pendingEmail_ = &email;
        try {
            struct StopGrace {
                TSMTPClient& client;
                explicit StopGrace(TSMTPClient& c) : client(c) { client.SetStopGrace(kStopGraceMessageMs); }
                ~StopGrace() { client.SetStopGrace(0); }
            } grace(client_);
            SendToRecipient(request, recordIndex);
            pendingEmail_ = nullptr;
            ++onConnection_;
            record_outcome(RecipientStatus::Sent, dryRun ? std::string_view("dry run") : std::string_view(SentReply()),
                           attempt);
            return true;
        } catch (const EStopped&) {
            // Stopped during a wait: after the final dot the server may have taken the message.
            pendingEmail_ = nullptr;
            if (dataEnded_)
                record_outcome(RecipientStatus::Unknown, kStoppedText, attempt);
            return false;
        } catch (const EAuthenticationFailed&) {
            // Every recipient would be refused alike: the run ends, this one stays not tried.
            pendingEmail_ = nullptr;
            throw;
        } catch (...) {
            pendingEmail_ = nullptr;
            failure = ClassifyFailure(std::current_exception(), dataEnded_);
            const bool lostDuringConnect = connecting_;
            // A connection the server closed while it was idle (a time-out between messages) is
            // opened again at once for this message; that costs no attempt and no turn of the pace.
            if (failure.connectionLost && connectionReused_ && !dataEnded_ && !idleLossForgiven) {
                idleLossForgiven = reopenAtOnce = true;
                DropConnection();
                --attempt;
                continue;
            }
            if (failure.kind == FailureKind::Fatal) {
                record_outcome(RecipientStatus::Failed, failure.reply, attempt);
                throw;
            }
            if (failure.connectionLost && request.route != SendRoute::Rotating)
                DropConnection();
            if (failure.kind == FailureKind::Temporary && attempt < attempts) {
                if (request.route == SendRoute::Rotating)
                    accountIndex_ = accountIndexOfAttempt_; // the same server again
                if (!Wait(RetryWait(request.delivery, attempt), request, hooks)) {
                    record_outcome(RecipientStatus::Failed, failure.reply, attempt);
                    return false;
                }
                continue;
            }
            const RecipientStatus status = failure.kind == FailureKind::Unknown     ? RecipientStatus::Unknown
                                           : failure.kind == FailureKind::Permanent ? RecipientStatus::Rejected
                                                                                    : RecipientStatus::Failed;
            record_outcome(status, failure.reply, attempt);
            // A server that cannot be reached is no recipient's fault: the run ends whatever
            // the policy.
            if (request.delivery.onError == OnError::Stop || lostDuringConnect)
                throw;
            // The next recipient goes to the next server of the rotation.
            if (request.route == SendRoute::Rotating && !boundToServer_)
                accountIndex_ = NextAccountIndex(accountIndexOfAttempt_, request.project->accounts);
            return true;
        }
    }
}

std::string MailingRun::SentReply() const
{
    const TRFCReply& reply = client_.LastCmdResult();
    std::string text = reply.TextCode;
    for (const std::string& line : reply.Text)
        text += " " + line;
    return text;
}

void MailingRun::EnsureConnection(const MailingRunRequest& request)
{
    if (request.dryRunFolder || request.route == SendRoute::Rotating)
        return;
    const std::size_t limit = request.delivery.maxPerConnection;
    const bool full = limit > 0 && onConnection_ >= limit;
    if (client_.Connected() && !full) {
        connectionReused_ = onConnection_ > 0;
        return;
    }
    if (full)
        DropConnection();
    connecting_ = true;
    client_.Connect();
    connecting_ = false;
    onConnection_ = 0;
}

void MailingRun::DropConnection() noexcept
{
    try {
        if (client_.Connected())
            client_.Disconnect();
    } catch (...) {
        // The connection is gone either way; the failure that led here is the one recorded.
    }
}

bool MailingRun::Wait(std::chrono::steady_clock::duration time, const MailingRunRequest& request,
                      const MailingRunHooks& hooks)
{
    if (time <= std::chrono::steady_clock::duration::zero())
        return true;
    if (request.recorder)
        request.recorder->Flush();
    const auto until = std::chrono::steady_clock::now() + time;
    while (true) {
        if ((hooks.stopRequested && hooks.stopRequested()) || (request.stop && request.stop->Requested()))
            return false;
        const auto now = std::chrono::steady_clock::now();
        if (now >= until)
            return true;
        std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(until - now, kWaitSlice));
        if (hooks.waiting)
            hooks.waiting();
    }
}

void MailingRun::ApplyConnectionSettings(const MailingRunRequest& request)
{
    client_.Security = request.connection.security;
    client_.Trust = request.connection.trust;
    client_.TimeLimits = request.connection.limits;
    client_.AllowPlainAuth = request.connection.allowPlainAuth;
    client_.OnNoGreetingYet = nullptr;
    if (request.connection.noGreetingYet)
        client_.OnNoGreetingYet = [this, notice = request.connection.noGreetingYet] {
            notice(client_.Host, client_.Port);
        };
    client_.SetStopSignal(request.stop);
}

void MailingRun::PrepareRoute(const MailingRunRequest& request)
{
    if (request.route == SendRoute::Builtin) {
        if (!builtinServer_)
            throw EMailingError(std::string(kBuiltinServerMissing));
        const std::uint16_t port = PortFromText(request.builtinServer.port, kDefaultBuiltinPort);
        client_.Host = std::string(kBuiltinHost);
        client_.Port = port;
        client_.Security = ConnectionSecurity::None; // our own server on the loopback: nothing to protect
        builtinServer_->DefaultPort = port;
        builtinServer_->SetActive(true);
    } else if (request.defaultServer.host.empty()) {
        throw EMailingError(std::string(kSmtpServerError));
    }
}

void MailingRun::ApplyDefaultServer(const DefaultServerSettings& settings)
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

void MailingRun::PrepareMessage(const MailingRunRequest& request, std::size_t recordIndex)
{
    const Project& project = *request.project;
    const MailDraft& draft = *request.draft;
    if (recordIndex >= project.recipients.size())
        throw std::out_of_range("recipient row without a record");
    const RecipientRecord& record = project.recipients[recordIndex];
    underWay_ = record.EMail.str();

    // 1. The default route always uses the default server.
    if (request.route == SendRoute::Default)
        accountIndex_ = kDefaultServerIndex;

    // 2. Server and sender.
    accountIndexOfAttempt_ = accountIndex_;
    if (request.route == SendRoute::Builtin) {
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

    // 4. The row's address, parsed as a list (one text may hold several addresses).
    message_.Recipients.SetAddressesText(request.testAddress ? std::string_view(*request.testAddress)
                                                             : record.EMail.view());

    // 3 and 5. Subject and body as written, personalised into the message's own strings (their
    // memory serves the next message); an error here leaves this recipient without a message.
    const MacroRecipient recipient = MacroRecipient::fromRecord(record);
    const RecipientMacros macros(recipient, project.properties);
    macros.Substitute(draft.subject, message_.Subject);
    if (request.testAddress)
        message_.Subject.insert(0, kTestSubjectPrefix);
    message_.Body.resize(draft.body.size());
    for (std::size_t i = 0; i < draft.body.size(); ++i)
        macros.Substitute(draft.body[i], message_.Body[i]);
    message_.HtmlBody.resize(draft.htmlBody.size());
    for (std::size_t i = 0; i < draft.htmlBody.size(); ++i)
        message_.HtmlBody[i] = SubstituteMacros(draft.htmlBody[i], recipient, project.properties, MacroValueForm::Html);
    message_.AddedHeaders.clear();
    if (!draft.unsubscribeMailto.empty() || !draft.unsubscribeUrl.empty()) {
        const std::string url =
            SubstituteMacros(draft.unsubscribeUrl, recipient, project.properties, MacroValueForm::Url);
        if (!url.empty())
            CheckUnsubscribeUrl(url);
        const std::string mailto =
            SubstituteMacros(draft.unsubscribeMailto, recipient, project.properties, MacroValueForm::Url);
        message_.AddedHeaders.emplace_back(kListUnsubscribe, ListUnsubscribeValue(mailto, url));
        if (!url.empty())
            message_.AddedHeaders.emplace_back(kListUnsubscribePost, kOneClickValue);
    }
    for (const auto& [name, value] : draft.headers)
        message_.AddedHeaders.emplace_back(name, macros.Substitute(value));

    // 6. Attachments afresh from the draft's paths.
    message_.Attachments.clear();
    for (const std::string& path : draft.attachments)
        message_.Attachments.emplace_back(path);

    // From the sender when asked for and there is none; a new Message-ID for every message.
    if (request.fromSender && message_.From.Address.empty())
        message_.From = message_.Sender;
    if (messageId_.empty())
        messageId_ = NewMessageId(message_.From.Address.empty() ? message_.Sender.Address : message_.From.Address);
    message_.MessageId = messageId_;
    // Sender names who sent the message for the author in From: no header when they are one.
    if (sameAddress(message_.Sender.Address, message_.From.Address))
        message_.Sender = {};
}

std::string MailingRun::RenderMessage(const MailingRunRequest& request, std::size_t recordIndex)
{
    if (!request.project || !request.draft)
        throw std::invalid_argument("mailing run without project or message");
    const TEMailAddressItem from = message_.From;
    const int accountIndex = accountIndex_;
    struct Restore {
        TMailMessage& message;
        const TEMailAddressItem& from;
        int& index;
        int saved;
        ~Restore()
        {
            message.From = from;
            index = saved;
        }
    } restore{message_, from, accountIndex_, accountIndex};
    messageId_.clear();
    PrepareMessage(request, recordIndex);
    message_.ExtraHeaders.SetValue("X-Mailer", client_.MailAgent);
    StringLineWriter writer;
    WriteMessage(message_, writer);
    return writer.text;
}

void MailingRun::SendToRecipient(const MailingRunRequest& request, std::size_t recordIndex)
{
    // The From filled in from the sender is this message's only: the caller's From stays.
    const TEMailAddressItem from = message_.From;
    struct RestoreFrom {
        TMailMessage& message;
        const TEMailAddressItem& from;
        ~RestoreFrom() { message.From = from; }
    } restoreFrom{message_, from};
    PrepareMessage(request, recordIndex);

    if (request.dryRunFolder) {
        WriteDryRunMessage(*request.dryRunFolder);
    } else if (request.route == SendRoute::Rotating) {
        // 7 and 8: a connection of its own, closed also when sending fails.
        connecting_ = true;
        client_.Connect();
        connecting_ = false;
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
        // A connection lost or used up by an earlier message is opened anew.
        EnsureConnection(request);
        client_.Send(message_);
    }

    // 9. Advance the account index (a lane of a parallel run keeps to its server).
    if (!boundToServer_)
        accountIndex_ = NextAccountIndex(accountIndex_, request.project->accounts);
    underWay_.clear();
}

void MailingRun::WriteDryRunMessage(const std::filesystem::path& folder)
{
    // What the client writes after DATA, including its X-Mailer line.
    message_.ExtraHeaders.SetValue("X-Mailer", client_.MailAgent);
    StringLineWriter writer;
    WriteMessage(message_, writer);
    writeNewFile(folder / dryRunFileName(++dryRunNumber_), writer.text);
}

void MailingRun::CleanUpAfterFailure(const MailingRunRequest& request) noexcept
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

void MailingRun::DeactivateBuiltinServer()
{
    if (builtinServer_)
        builtinServer_->SetActive(false);
}

} // namespace quillet
