#include "RunRecordText.h"

#include "MailingTexts.h"

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

// "email<TAB>status[<TAB>reply]" and a line break.
std::string recipientLine(const RecipientOutcome& r)
{
    std::string line = r.email + "\t" + std::string(StatusName(r.status));
    if (!r.reply.empty())
        line += "\t" + r.reply;
    return line + "\n";
}

} // namespace

std::string CountsText(const RunCounts& counts)
{
    return "sent " + std::to_string(counts.sent) + ", rejected " + std::to_string(counts.rejected) + ", failed " +
           std::to_string(counts.failed) + ", unknown " + std::to_string(counts.unknown) + ", skipped " +
           std::to_string(counts.skipped) + ", not tried " + std::to_string(counts.notTried) + " of " +
           std::to_string(counts.total);
}

std::string SentMoreThanOnceText(const RunRecord& run)
{
    const std::vector<const RecipientOutcome*> twice = run.SentMoreThanOnce();
    if (twice.empty())
        return {};
    std::string list;
    for (const RecipientOutcome* r : twice)
        list += (list.empty() ? "" : ", ") + r->email + " (" + std::to_string(r->timesSent) + " times)";
    return formatMessage(kSentMoreThanOnce, {std::to_string(twice.size()), list}) + "\n";
}

std::string RunRecordText(const RunRecord& run)
{
    const RunDescription& d = run.description;
    std::string text = "Run: " + d.id + "\nStarted: " + d.started + "\nRoute: " + d.route +
                       "\nProject: " + d.projectPath + "\nGroup: " + d.group + "\nSubject: " + d.draft.subject +
                       "\nSessions: " + std::to_string(run.sessions) + "\nEnding: " + endingText(run) +
                       "\nCounts: " + CountsText(run.Counts()) + "\n";
    text += SentMoreThanOnceText(run);
    if (run.unreadableLines)
        text += "Unreadable lines left out: " + std::to_string(run.unreadableLines) + "\n";
    // The recipients that did not get their message come first: in a long run they would be
    // hard to find among the others.
    if (run.Counts().Failures() > 0) {
        text += "\nNot sent:\n";
        for (const RecipientOutcome& r : run.recipients)
            if (r.status == RecipientStatus::Rejected || r.status == RecipientStatus::Failed ||
                r.status == RecipientStatus::Unknown)
                text += recipientLine(r);
    }
    text += "\n";
    for (const RecipientOutcome& r : run.recipients)
        text += recipientLine(r);
    return text;
}

} // namespace quillet
