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

} // namespace

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
        csv += csvField(utf8(r.email)) + "," + std::string(StatusName(r.status)) + "," + csvField(utf8(r.reply)) + "," +
               std::to_string(r.attempts) + "," + r.time + "\r\n";
    return csv;
}

} // namespace quillet::cli
