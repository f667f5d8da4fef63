// The run journal: one file per mailing run that says what the run was to send and what became
// of every recipient, so that the run can be looked at and resumed after any interruption.
//
// Place: $XDG_STATE_HOME/orv-quillet/runs/ID.jsonl ($HOME/.local/state when the variable is not
// set); the folders are created owner-only (0700) and the file is owner-only (0600). ID is the
// start time in UTC and four random hex digits, "20261208-013045-3fa9", so names sort by time.
//
// Format: UTF-8 JSON, one object per line, only ever appended to.
//   {"type":"run","version":1,"id","started","route","project","group","subject","body":[..],
//    "from","attachments":[..],"headers":[..],"servers":[{"host","port","user","sender",
//    "sender_name"}],"builtin":{"port","sender"},"options":{..},"codepage","recipients":[addresses]}
//        the first line: the settings and the message, never a password;
//   {"type":"resume","time","options":{..}}             a later session of the same run;
//   {"type":"pending","n","email","time"}                the message's data is about to end;
//   {"type":"outcome","n","email","status","reply","attempts","time"}
//   {"type":"end","time","ending":"completed|stopped|error","error"}
// "n" is the position in "recipients". A "pending" line with no "outcome" after it is a message
// whose fate is unknown.
//
// The first line and every "resume" line also carry "pid", the process of that session. The
// process that writes a journal holds an exclusive flock(2) on it for the session's whole life;
// the kernel releases it when the process ends in any way, so a killed run leaves no stale lock,
// and a second session of a run still going is refused instead of sending everyone again.
//
// Durability: each line is one write(2) as it happens (a process killed at any point loses
// nothing the kernel has taken); the file is synced at the end, before every wait of the run, and
// whenever a second has passed since the last sync.
#pragma once

#include "DeliveryPolicy.h"
#include "DeliveryRecorder.h"
#include "MailDraft.h"
#include "MailingRun.h"

#include "project/FileDescriptor.h"

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace quillet {

// A server as the journal keeps it: no password.
struct JournalServer {
    std::string host;
    std::string port;
    std::string user;
    std::string sender;
    std::string senderName;
};

// Everything the first line holds. Texts are in the program's code page.
struct RunDescription {
    std::string id;
    std::string started;
    std::string route; // "default", "rotating" or "builtin"
    std::string projectPath;
    std::string group;
    // The chosen recipients' addresses, in the run's order.
    std::vector<std::string> recipients;
    MailDraft draft;
    std::string from;
    // A message without From got the sender address as From (--from-sender, the program option).
    bool fromSender = false;
    std::vector<std::string> headers;
    // Default route: the default server; rotating: the default server, then the accounts;
    // built-in: none (see builtinPort and builtinSender).
    std::vector<JournalServer> servers;
    std::string builtinPort;
    std::string builtinSender;
    DeliveryOptions options;
    std::string rate; // as typed, e.g. "10/s"; empty: no limit
    // The code page the texts were written under (its iconv name; empty in older journals): a
    // resumed run is sent in it.
    std::string codePage;
};

// The journal's description of a run request about to start.
RunDescription DescribeRun(const MailingRunRequest& request, const TMailMessage& message,
                           const std::string& projectPath, const std::string& group);

std::string_view RouteName(SendRoute route);
std::optional<SendRoute> RouteFromName(std::string_view name);

// $XDG_STATE_HOME/orv-quillet/runs (without creating it).
std::filesystem::path RunJournalFolder();
// The journal file of a run ID; refuses an ID that is not a plain file name.
std::filesystem::path RunJournalPath(const std::string& id);
// "2026-12-08T01:30:45Z" for now.
std::string JournalTimeNow();

// Another process (or another session of this one) is writing the run's journal.
class ERunInProgress : public EMailingError {
public:
    ERunInProgress(const std::string& id, long pid);
    long pid() const { return pid_; }

private:
    long pid_;
};

// The process that holds run ID's journal now (0 when its first line names none), or nothing
// when no session of the run is going on.
std::optional<long> RunInProgress(const std::string& id);

class RunJournal : public DeliveryRecorder {
public:
    // Creates the journal of a new run (a fresh ID is given to the description) and writes its
    // first line.
    static RunJournal Create(RunDescription& description);
    // Opens an existing run's journal to go on with it and writes the "resume" line; a run whose
    // journal is held by a session still going is refused with ERunInProgress.
    static RunJournal Resume(const std::string& id, const RunDescription& delivery);

    RunJournal(RunJournal&&) = default;
    RunJournal& operator=(RunJournal&&) = default;
    ~RunJournal() override;

    const std::string& Id() const { return id_; }
    const std::filesystem::path& Path() const { return path_; }

    void Pending(std::size_t position, std::string_view email) override;
    void Outcome(std::size_t position, std::string_view email, RecipientStatus status, std::string_view reply,
                 int attempts) override;
    void Ended(std::string_view ending, std::string_view error) override;
    void Flush() override;
    // Writes out what is pending and closes the journal, which ends this session's hold on the
    // run: the run can be resumed (or shown as ended) by this process as well as by another.
    void Close();

private:
    RunJournal(std::string id, std::filesystem::path path, FileDescriptor file);
    void WriteLine(std::string line);

    std::string id_;
    std::filesystem::path path_;
    FileDescriptor file_;
    std::chrono::steady_clock::time_point lastSync_;
    bool unsynced_ = false;
};

} // namespace quillet
