#include "RunRecordText.h"

namespace quillet {

namespace {

std::string endingText(const RunRecord& run)
{
    if (run.ending.empty())
        return "unfinished (interrupted)";
    if (run.ending == "error")
        return "error: " + run.endError;
    return run.ending;
}

} // namespace

std::string CountsText(const RunCounts& counts)
{
    return "sent " + std::to_string(counts.sent) + ", rejected " + std::to_string(counts.rejected) + ", failed " +
           std::to_string(counts.failed) + ", unknown " + std::to_string(counts.unknown) + ", skipped " +
           std::to_string(counts.skipped) + ", not tried " + std::to_string(counts.notTried) + " of " +
           std::to_string(counts.total);
}

std::string RunRecordText(const RunRecord& run)
{
    const RunDescription& d = run.description;
    std::string text = "Run: " + d.id + "\nStarted: " + d.started + "\nRoute: " + d.route + "\nProject: " +
                       d.projectPath + "\nGroup: " + d.group + "\nSubject: " + d.draft.subject + "\nSessions: " +
                       std::to_string(run.sessions) + "\nEnding: " + endingText(run) + "\nCounts: " +
                       CountsText(run.Counts()) + "\n";
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

} // namespace quillet
