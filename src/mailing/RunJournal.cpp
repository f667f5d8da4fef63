#include "RunJournal.h"

#include "JsonLine.h"
#include "MailingTexts.h"
#include "RunJournalReader.h"

#include "project/CodePage.h"
#include "transport/MailMessage.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <random>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quillet {

namespace {

// Owner-only: the journal holds addresses, the message and server names.
constexpr mode_t kJournalFileMode = 0600;
constexpr mode_t kJournalFolderMode = 0700;
constexpr std::chrono::seconds kSyncInterval{1};
// Attempts at a fresh ID before giving up (two runs started in the same second collide rarely).
constexpr int kIdAttempts = 20;
constexpr int kJournalVersion = 1;

std::string utf8(std::string_view codePage)
{
    return isPlainAscii(codePage) ? std::string(codePage) : codePageToUtf8(codePage);
}

std::vector<std::string> utf8All(const std::vector<std::string>& texts)
{
    std::vector<std::string> result;
    result.reserve(texts.size());
    for (const std::string& text : texts)
        result.push_back(utf8(text));
    return result;
}

EMailingError journalError(std::string_view pattern, const std::filesystem::path& path, int error)
{
    return EMailingError(formatMessage(pattern, {path.string(), std::strerror(error)}));
}

// Takes the session's exclusive lock of an open journal; false when another session holds it.
bool lockJournal(int file, const std::filesystem::path& path)
{
    while (::flock(file, LOCK_EX | LOCK_NB) != 0) {
        if (errno == EWOULDBLOCK)
            return false;
        if (errno != EINTR)
            throw journalError(kCannotOpenFile, path, errno);
    }
    return true;
}

// The process of the session holding the journal, as its last "run" or "resume" line says.
long holderOf(const std::string& id)
{
    try {
        return ReadRunJournal(id).pid;
    } catch (const EMailingError&) {
        return 0; // the session has not written its first line yet
    }
}

void writeOptions(JsonLineWriter& json, const RunDescription& run)
{
    const DeliveryOptions& options = run.options;
    json.key("options").beginObject();
    json.key("on_error").value(options.onError == OnError::Skip ? "skip" : "stop");
    json.key("attempts").value(options.attempts);
    json.key("first_retry_wait_ms").value(static_cast<std::int64_t>(options.firstRetryWait.count()));
    json.key("max_per_connection").value(options.maxPerConnection);
    json.key("skip_disabled").value(options.skipDisabled);
    json.key("rate").value(run.rate);
    json.endObject();
}

std::string firstLine(const RunDescription& run)
{
    JsonLineWriter json;
    json.beginObject();
    json.key("type").value("run");
    json.key("version").value(kJournalVersion);
    json.key("id").value(run.id);
    json.key("started").value(run.started);
    json.key("pid").value(static_cast<std::int64_t>(::getpid()));
    json.key("route").value(run.route);
    json.key("project").value(utf8(run.projectPath));
    json.key("group").value(utf8(run.group));
    json.key("subject").value(utf8(run.draft.subject));
    json.key("body").values(utf8All(run.draft.body));
    json.key("from").value(utf8(run.from));
    json.key("from_sender").value(run.fromSender);
    json.key("attachments").values(utf8All(run.draft.attachments));
    json.key("headers").values(utf8All(run.headers));
    json.key("html").values(utf8All(run.draft.htmlBody));
    json.key("unsubscribe_mailto").value(utf8(run.draft.unsubscribeMailto));
    json.key("unsubscribe_url").value(utf8(run.draft.unsubscribeUrl));
    std::vector<std::string> extra;
    for (const auto& [name, value] : run.draft.headers)
        extra.push_back(name + ": " + value);
    json.key("extra_headers").values(utf8All(extra));
    json.key("servers").beginArray();
    for (const JournalServer& server : run.servers) {
        json.beginObject();
        json.key("host").value(utf8(server.host));
        json.key("port").value(utf8(server.port));
        json.key("user").value(utf8(server.user));
        json.key("sender").value(utf8(server.sender));
        json.key("sender_name").value(utf8(server.senderName));
        json.endObject();
    }
    json.endArray();
    json.key("builtin").beginObject();
    json.key("port").value(utf8(run.builtinPort));
    json.key("sender").value(utf8(run.builtinSender));
    json.endObject();
    writeOptions(json, run);
    json.key("codepage").value(codePageName());
    json.key("recipients").values(utf8All(run.recipients));
    json.endObject();
    return json.take();
}

std::string newRunId()
{
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
    ::gmtime_r(&now, &utc);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &utc);
    static std::mt19937 random{std::random_device{}()};
    char suffix[8];
    std::snprintf(suffix, sizeof suffix, "-%04x", static_cast<unsigned>(random() & 0xFFFF));
    return std::string(stamp) + suffix;
}

void createPrivateFolders(const std::filesystem::path& folder)
{
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (error)
        throw EMailingError(formatMessage(kCannotCreateFile, {folder.string(), error.message()}));
    // The two folders of the program's own (orv-quillet and runs) are owner-only.
    ::chmod(folder.parent_path().c_str(), kJournalFolderMode);
    ::chmod(folder.c_str(), kJournalFolderMode);
}

} // namespace

std::string_view RouteName(SendRoute route)
{
    switch (route) {
    case SendRoute::Rotating: return "rotating";
    case SendRoute::Builtin: return "builtin";
    case SendRoute::Default: break;
    }
    return "default";
}

std::optional<SendRoute> RouteFromName(std::string_view name)
{
    for (const SendRoute route : {SendRoute::Default, SendRoute::Rotating, SendRoute::Builtin})
        if (RouteName(route) == name)
            return route;
    return std::nullopt;
}

std::filesystem::path RunJournalFolder()
{
    const char* state = std::getenv("XDG_STATE_HOME");
    std::filesystem::path base;
    if (state && *state == '/') {
        base = state;
    } else {
        const char* home = std::getenv("HOME");
        base = std::filesystem::path(home && *home ? home : "/tmp") / ".local" / "state";
    }
    return base / "orv-quillet" / "runs";
}

std::filesystem::path RunJournalPath(const std::string& id)
{
    const bool plain =
        !id.empty() && id.size() <= 64 &&
        id.find_first_not_of("0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ-_") == std::string::npos;
    if (!plain)
        throw EMailingError(formatMessage(kNoSuchRun, {id}));
    return RunJournalFolder() / (id + std::string(kRunJournalExtension));
}

std::string JournalTimeNow()
{
    // Two lines a message: the text is made once a second, not for every line.
    thread_local std::time_t last = -1;
    thread_local char text[32];
    const std::time_t now = std::time(nullptr);
    if (now != last) {
        std::tm utc{};
        ::gmtime_r(&now, &utc);
        std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
        last = now;
    }
    return text;
}

ERunInProgress::ERunInProgress(const std::string& id, long pid)
    : EMailingError(formatMessage(kRunStillInProgress, {id, std::to_string(pid)})), pid_(pid)
{
}

std::optional<long> RunInProgress(const std::string& id)
{
    const std::filesystem::path path = RunJournalPath(id);
    const FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!file.valid())
        return std::nullopt;
    // A shared lock is refused only while a session holds its exclusive one; it goes with the file.
    if (::flock(file.get(), LOCK_SH | LOCK_NB) == 0 || errno != EWOULDBLOCK)
        return std::nullopt;
    return holderOf(id);
}

RunDescription DescribeRun(const MailingRunRequest& request, const TMailMessage& message,
                           const std::string& projectPath, const std::string& group)
{
    RunDescription run;
    run.route = std::string(RouteName(request.route));
    run.projectPath = projectPath;
    run.group = group;
    for (const std::size_t row : request.recipients)
        run.recipients.push_back(request.project->recipients.at(row).EMail.str());
    run.draft = *request.draft;
    run.from = message.From.Text();
    run.fromSender = request.fromSender;
    for (const std::string& line : message.ExtraHeaders.Lines())
        if (line.rfind("X-Mailer:", 0) != 0)
            run.headers.push_back(line);
    if (request.route != SendRoute::Builtin) {
        const DefaultServerSettings& server = request.defaultServer;
        run.servers.push_back({server.host, server.port, server.userName, server.sendFrom, ""});
    }
    if (request.route == SendRoute::Rotating)
        for (const SmtpAccount& account : request.project->accounts)
            run.servers.push_back({account.host, account.port, account.user, account.fromAddress, account.fromName});
    if (request.route == SendRoute::Builtin) {
        run.builtinPort = request.builtinServer.port;
        run.builtinSender = request.builtinServer.sendFrom;
    }
    run.options = request.delivery;
    run.rate = request.rate.text;
    return run;
}

RunJournal::RunJournal(std::string id, std::filesystem::path path, FileDescriptor file)
    : id_(std::move(id)), path_(std::move(path)), file_(std::move(file)), lastSync_(std::chrono::steady_clock::now())
{
}

RunJournal::~RunJournal()
{
    if (file_.valid() && unsynced_)
        ::fdatasync(file_.get());
}

RunJournal RunJournal::Create(RunDescription& description)
{
    const std::filesystem::path folder = RunJournalFolder();
    createPrivateFolders(folder);
    description.started = JournalTimeNow();
    for (int attempt = 0; attempt < kIdAttempts; ++attempt) {
        description.id = newRunId();
        const std::filesystem::path path = RunJournalPath(description.id);
        FileDescriptor file(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_APPEND | O_CLOEXEC, kJournalFileMode));
        if (!file.valid() && errno == EEXIST)
            continue;
        if (!file.valid())
            throw journalError(kCannotCreateFile, path, errno);
        if (!lockJournal(file.get(), path))
            throw journalError(kCannotCreateFile, path, EWOULDBLOCK);
        RunJournal journal(description.id, path, std::move(file));
        journal.WriteLine(firstLine(description));
        journal.Flush();
        return journal;
    }
    throw journalError(kCannotCreateFile, folder, EEXIST);
}

RunJournal RunJournal::Resume(const std::string& id, const RunDescription& delivery)
{
    const std::filesystem::path path = RunJournalPath(id);
    FileDescriptor file(::open(path.c_str(), O_RDWR | O_APPEND | O_CLOEXEC));
    if (!file.valid())
        throw journalError(kCannotOpenFile, path, errno);
    if (!lockJournal(file.get(), path))
        throw ERunInProgress(id, holderOf(id));
    RunJournal journal(id, path, std::move(file));
    // A line torn by a kill in the middle of its write is ended, so the next line stands apart.
    const off_t size = ::lseek(journal.file_.get(), 0, SEEK_END);
    char last = '\n';
    if (size > 0 && ::pread(journal.file_.get(), &last, 1, size - 1) != 1)
        throw journalError(kCannotOpenFile, path, errno);
    JsonLineWriter json;
    json.beginObject().key("type").value("resume").key("time").value(JournalTimeNow());
    json.key("pid").value(static_cast<std::int64_t>(::getpid()));
    writeOptions(json, delivery);
    json.endObject();
    journal.WriteLine((last == '\n' ? "" : "\n") + json.take());
    journal.Flush();
    return journal;
}

void RunJournal::WriteLine(std::string line)
{
    line += '\n';
    if (const int error = writeAllBytes(file_.get(), line))
        throw journalError(kCannotWriteJournal, path_, error);
    unsynced_ = true;
    if (std::chrono::steady_clock::now() - lastSync_ >= kSyncInterval)
        Flush();
}

void RunJournal::Close()
{
    if (!file_.valid())
        return;
    Flush();
    file_.reset();
}

void RunJournal::Flush()
{
    if (!unsynced_)
        return;
    if (::fdatasync(file_.get()) != 0)
        throw journalError(kCannotWriteJournal, path_, errno);
    unsynced_ = false;
    lastSync_ = std::chrono::steady_clock::now();
}

void RunJournal::Pending(std::size_t position, std::string_view email)
{
    std::string line = "{\"type\":\"pending\",\"n\":" + std::to_string(position) + ",\"email\":";
    appendJsonString(line, utf8(email));
    line += ",\"time\":\"" + JournalTimeNow() + "\"}";
    WriteLine(std::move(line));
}

void RunJournal::Outcome(std::size_t position, std::string_view email, RecipientStatus status, std::string_view reply,
                         int attempts)
{
    std::string line = "{\"type\":\"outcome\",\"n\":" + std::to_string(position) + ",\"email\":";
    appendJsonString(line, utf8(email));
    line += ",\"status\":\"" + std::string(StatusName(status)) + "\",\"reply\":";
    appendJsonString(line, utf8(reply));
    line += ",\"attempts\":" + std::to_string(attempts) + ",\"time\":\"" + JournalTimeNow() + "\"}";
    WriteLine(std::move(line));
}

void RunJournal::Ended(std::string_view ending, std::string_view error)
{
    JsonLineWriter json;
    json.beginObject().key("type").value("end").key("time").value(JournalTimeNow());
    json.key("ending").value(ending).key("error").value(utf8(error)).endObject();
    WriteLine(json.take());
    Flush();
}

} // namespace quillet
