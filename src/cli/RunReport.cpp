#include "RunReport.h"

#include "JsonWriter.h"

#include "project/CodePage.h"

namespace quillet::cli {

namespace {

std::string utf8(const std::string& codePage)
{
    return isPlainAscii(codePage) ? codePage : codePageToUtf8(codePage);
}

std::string csvField(const std::string& text)
{
    if (text.find_first_of(",\"\r\n") == std::string::npos)
        return text;
    std::string quoted = "\"";
    for (const char c : text) {
        if (c == '"')
            quoted += '"';
        quoted += c;
    }
    return quoted + "\"";
}

std::string endingText(const RunRecord& run)
{
    if (run.ending.empty())
        return "unfinished (interrupted)";
    if (run.ending == "error")
        return "error: " + run.endError;
    return run.ending;
}

} // namespace

std::string countsText(const RunCounts& counts)
{
    return "sent " + std::to_string(counts.sent) + ", rejected " + std::to_string(counts.rejected) + ", failed " +
           std::to_string(counts.failed) + ", unknown " + std::to_string(counts.unknown) + ", skipped " +
           std::to_string(counts.skipped) + ", not tried " + std::to_string(counts.notTried) + " of " +
           std::to_string(counts.total);
}

std::string runJson(const RunRecord& run, bool withRecipients)
{
    const RunDescription& d = run.description;
    const RunCounts counts = run.Counts();
    JsonWriter json;
    json.beginObject();
    json.key("id").value(d.id);
    json.key("started").value(d.started);
    json.key("route").value(d.route);
    json.key("project").value(utf8(d.projectPath));
    json.key("group").value(utf8(d.group));
    json.key("ending").value(run.ending);
    json.key("total").value(counts.total);
    json.key("sent").value(counts.sent);
    json.key("rejected").value(counts.rejected);
    json.key("failed").value(counts.failed);
    json.key("unknown").value(counts.unknown);
    json.key("skipped").value(counts.skipped);
    json.key("not_tried").value(counts.notTried);
    if (withRecipients) {
        json.key("recipients").beginArray();
        for (const RecipientOutcome& r : run.recipients) {
            json.beginObject();
            json.key("email").value(utf8(r.email));
            json.key("status").value(StatusName(r.status));
            json.key("reply").value(utf8(r.reply));
            json.key("attempts").value(r.attempts);
            json.key("time").value(r.time);
            json.endObject();
        }
        json.endArray();
    }
    json.endObject();
    return json.take();
}

std::string runCsv(const RunRecord& run)
{
    std::string csv = "email,status,reply,attempts,time\r\n";
    for (const RecipientOutcome& r : run.recipients)
        csv += csvField(utf8(r.email)) + "," + std::string(StatusName(r.status)) + "," + csvField(utf8(r.reply)) +
               "," + std::to_string(r.attempts) + "," + r.time + "\r\n";
    return csv;
}

std::string runText(const RunRecord& run)
{
    const RunDescription& d = run.description;
    std::string text = "Run: " + d.id + "\nStarted: " + d.started + "\nRoute: " + d.route + "\nProject: " +
                       d.projectPath + "\nGroup: " + d.group + "\nSubject: " + d.draft.subject + "\nSessions: " +
                       std::to_string(run.sessions) + "\nEnding: " + endingText(run) + "\nCounts: " +
                       countsText(run.Counts()) + "\n";
    if (run.unreadableLines)
        text += "Unreadable lines left out: " + std::to_string(run.unreadableLines) + "\n";
    text += "\n";
    for (const RecipientOutcome& r : run.recipients) {
        text += r.email + "\t" + std::string(StatusName(r.status));
        if (!r.reply.empty())
            text += "\t" + r.reply;
        text += "\n";
    }
    return text;
}

} // namespace quillet::cli
