#include "RunJournalReader.h"

#include "JsonLine.h"
#include "MailingTexts.h"

#include "project/CodePage.h"

#include <algorithm>
#include <fstream>
#include <sstream>

namespace quillet {

namespace {

// UTF-8 of the file to the program's code page; characters it lacks become "?".
std::string local(const JsonValue& value)
{
    const std::string& text = value.text();
    return isPlainAscii(text) ? text : utf8ToCodePageForMessage(text);
}

std::vector<std::string> localAll(const JsonValue& value)
{
    std::vector<std::string> result;
    for (const JsonValue& item : value.items())
        result.push_back(local(item));
    return result;
}

void readOptions(const JsonValue& options, RunDescription& run)
{
    if (!options.isObject())
        return;
    run.options.onError = options["on_error"].text() == "skip" ? OnError::Skip : OnError::Stop;
    run.options.attempts = static_cast<int>(std::clamp<std::int64_t>(options["attempts"].integer(1), 1, 1000));
    run.options.firstRetryWait = std::chrono::milliseconds(
        std::clamp<std::int64_t>(options["first_retry_wait_ms"].integer(kDefaultFirstRetryWait.count()), 0,
                                 kMaxRetryWait.count()));
    run.options.maxPerConnection =
        static_cast<std::size_t>(std::max<std::int64_t>(0, options["max_per_connection"].integer()));
    run.options.skipDisabled = options["skip_disabled"].boolean();
    run.rate = options["rate"].text();
}

RunDescription readDescription(const JsonValue& line)
{
    RunDescription run;
    run.id = line["id"].text();
    run.started = line["started"].text();
    run.route = line["route"].text();
    run.projectPath = local(line["project"]);
    run.group = local(line["group"]);
    run.recipients = localAll(line["recipients"]);
    run.draft.subject = local(line["subject"]);
    run.draft.body = localAll(line["body"]);
    run.draft.attachments = localAll(line["attachments"]);
    run.from = local(line["from"]);
    run.fromSender = line["from_sender"].boolean();
    run.headers = localAll(line["headers"]);
    run.draft.htmlBody = localAll(line["html"]);
    run.draft.unsubscribeMailto = local(line["unsubscribe_mailto"]);
    run.draft.unsubscribeUrl = local(line["unsubscribe_url"]);
    for (const std::string& header : localAll(line["extra_headers"])) {
        const std::size_t colon = header.find(": ");
        if (colon != std::string::npos)
            run.draft.headers.emplace_back(header.substr(0, colon), header.substr(colon + 2));
    }
    for (const JsonValue& server : line["servers"].items())
        run.servers.push_back({local(server["host"]), local(server["port"]), local(server["user"]),
                               local(server["sender"]), local(server["sender_name"])});
    run.builtinPort = local(line["builtin"]["port"]);
    run.builtinSender = local(line["builtin"]["sender"]);
    readOptions(line["options"], run);
    run.codePage = line["codepage"].text();
    return run;
}

// Applies one later line; false when it does not make sense (unknown type, position out of
// range), so it counts as unreadable.
bool applyLine(const JsonValue& line, RunRecord& record)
{
    const std::string& type = line["type"].text();
    if (type == "resume") {
        ++record.sessions;
        record.pid = static_cast<long>(line["pid"].integer());
        record.ending.clear();
        record.endError.clear();
        record.ended.clear();
        readOptions(line["options"], record.description);
        return true;
    }
    if (type == "end") {
        record.ending = line["ending"].text();
        record.endError = local(line["error"]);
        record.ended = line["time"].text();
        return true;
    }
    if (type != "pending" && type != "outcome")
        return false;
    const std::int64_t n = line["n"].integer(-1);
    if (n < 0 || static_cast<std::size_t>(n) >= record.recipients.size())
        return false;
    RecipientOutcome& outcome = record.recipients[static_cast<std::size_t>(n)];
    outcome.time = line["time"].text();
    if (type == "pending") {
        outcome.status = RecipientStatus::Unknown;
        outcome.reply.clear();
        return true;
    }
    const auto status = StatusFromName(line["status"].text());
    if (!status)
        return false;
    outcome.status = *status;
    outcome.timesSent += *status == RecipientStatus::Sent ? 1 : 0;
    outcome.reply = local(line["reply"]);
    outcome.attempts = static_cast<int>(std::clamp<std::int64_t>(line["attempts"].integer(), 0, 1'000'000));
    return true;
}

} // namespace

RunCounts RunRecord::Counts() const
{
    RunCounts counts;
    counts.total = recipients.size();
    for (const RecipientOutcome& outcome : recipients)
        counts.Add(outcome.status);
    return counts;
}

std::vector<const RecipientOutcome*> RunRecord::SentMoreThanOnce() const
{
    std::vector<const RecipientOutcome*> twice;
    for (const RecipientOutcome& outcome : recipients)
        if (outcome.timesSent > 1)
            twice.push_back(&outcome);
    return twice;
}

RunRecord ParseRunJournal(std::string_view bytes, const std::string& path)
{
    RunRecord record;
    std::size_t start = 0;
    bool first = true;
    while (start < bytes.size()) {
        std::size_t end = bytes.find('\n', start);
        const bool complete = end != std::string_view::npos;
        if (!complete)
            end = bytes.size();
        const std::string_view text = bytes.substr(start, end - start);
        start = end + 1;
        if (text.empty() && !first)
            continue;
        JsonValue line;
        try {
            line = JsonValue::parse(text);
        } catch (const EJsonError&) {
            if (first)
                throw EMailingError(formatMessage(kNotARunJournal, {path}));
            ++record.unreadableLines;
            continue;
        }
        if (first) {
            if (line["type"].text() != "run" || line["recipients"].kind() != JsonValue::Kind::Array)
                throw EMailingError(formatMessage(kNotARunJournal, {path}));
            record.description = readDescription(line);
            record.pid = static_cast<long>(line["pid"].integer());
            for (const std::string& email : record.description.recipients)
                record.recipients.push_back({email, RecipientStatus::NotTried, "", 0, ""});
            first = false;
            continue;
        }
        if (!applyLine(line, record))
            ++record.unreadableLines;
    }
    if (first)
        throw EMailingError(formatMessage(kNotARunJournal, {path}));
    return record;
}

RunRecord ReadRunJournal(const std::string& id)
{
    const std::filesystem::path path = RunJournalPath(id);
    std::ifstream file(path, std::ios::binary);
    if (!file)
        throw EMailingError(formatMessage(kNoSuchRun, {id}));
    std::ostringstream bytes;
    bytes << file.rdbuf();
    return ParseRunJournal(bytes.str(), path.string());
}

std::string RunJournalCodePage(const std::string& id)
{
    const std::filesystem::path path = RunJournalPath(id);
    std::ifstream file(path, std::ios::binary);
    std::string first;
    if (!file || !std::getline(file, first))
        throw EMailingError(formatMessage(kNoSuchRun, {id}));
    try {
        return JsonValue::parse(first)["codepage"].text();
    } catch (const EJsonError&) {
        throw EMailingError(formatMessage(kNotARunJournal, {path.string()}));
    }
}

std::vector<std::string> ListRunIds()
{
    // Newest first: by the start second an ID begins with, and runs started in the same second
    // (whose IDs differ only in their random ending) by their journal's last write.
    struct Found {
        std::string id;
        std::filesystem::file_time_type written;
    };
    std::vector<Found> found;
    std::error_code error;
    const std::filesystem::path folder = RunJournalFolder();
    for (std::filesystem::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        const std::filesystem::path& path = it->path();
        if (path.extension() == kRunJournalExtension && it->is_regular_file(error)) {
            std::error_code timeError;
            found.push_back({path.stem().string(), it->last_write_time(timeError)});
        }
    }
    constexpr std::size_t kStartLength = 15; // YYYYMMDD-HHMMSS
    std::sort(found.begin(), found.end(), [](const Found& a, const Found& b) {
        const int started = a.id.compare(0, kStartLength, b.id, 0, kStartLength);
        if (started != 0)
            return started > 0;
        if (a.written != b.written)
            return a.written > b.written;
        return a.id > b.id;
    });
    std::vector<std::string> ids;
    ids.reserve(found.size());
    for (Found& f : found)
        ids.push_back(std::move(f.id));
    return ids;
}

} // namespace quillet
