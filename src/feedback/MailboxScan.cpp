#include "MailboxScan.h"

#include "FeedbackLimits.h"
#include "FeedbackTexts.h"

#include "mailing/JsonLine.h"
#include "mailing/RunJournal.h"
#include "mailing/RunJournalReader.h"
#include "transport/MessageTexts.h"
#include "transport/MimeParts.h"

#include <fstream>
#include <map>
#include <memory>
#include <optional>

namespace quillet {

namespace {

bool actsOnList(const FeedbackItem& item)
{
    switch (item.kind) {
    case FeedbackKind::Bounce:
    case FeedbackKind::Soft:
    case FeedbackKind::Complaint:
    case FeedbackKind::Unsubscribe: return !item.address.empty();
    case FeedbackKind::AutoReply:
    case FeedbackKind::Unrecognised: break;
    }
    return false;
}

void count(ScanCounts& counts, const FeedbackItem& item)
{
    if (item.kind == FeedbackKind::AutoReply) {
        ++counts.ignored;
        return;
    }
    if (!actsOnList(item)) {
        ++counts.unrecognised;
        return;
    }
    switch (item.kind) {
    case FeedbackKind::Bounce: ++counts.bounced; break;
    case FeedbackKind::Soft: ++counts.soft; break;
    case FeedbackKind::Complaint: ++counts.complained; break;
    case FeedbackKind::Unsubscribe: ++counts.unsubscribed; break;
    default: break;
    }
}

void record(SuppressionStore& store, const FeedbackItem& item, const std::string& key, int softLimit)
{
    const std::string source = item.run.empty() ? key : item.run;
    const std::string detail = item.status.empty()   ? item.detail
                               : item.detail.empty() ? item.status
                                                     : item.status + " " + item.detail;
    switch (item.kind) {
    case FeedbackKind::Bounce: store.Add({item.address, std::string(kReasonBounced), "", "", source, detail}); break;
    case FeedbackKind::Soft: store.AddSoftBounce(item.address, source, detail, softLimit); break;
    case FeedbackKind::Complaint:
        store.Add({item.address, std::string(kReasonComplained), "", "", source, detail});
        break;
    case FeedbackKind::Unsubscribe:
        store.Add({item.address, std::string(kReasonUnsubscribed), "", "", source, detail});
        break;
    default: break;
    }
}

} // namespace

ScanCounts ScanMailbox(Mailbox& mailbox, SuppressionStore& store, const ScanOptions& options,
                       const std::function<void(const ScannedItem&)>& each)
{
    ScanCounts counts;
    // Messages are recorded in groups of kScanMessagesPerTransaction, one transaction each; a
    // message is marked read or moved only once its group is committed, so a scan that dies
    // leaves every message it did not record unread.
    std::vector<std::string> recorded;
    std::optional<SuppressionStore::Transaction> transaction;
    auto commit = [&] {
        if (transaction) {
            transaction->Commit();
            transaction.reset();
        }
        for (const std::string& id : recorded) {
            if (options.moveTo.empty())
                mailbox.MarkRead(id);
            else
                mailbox.MoveTo(id, options.moveTo);
        }
        recorded.clear();
    };
    for (const std::string& id : mailbox.List()) {
        const FeedbackMessage message = ReadFeedbackMessage(mailbox.Fetch(id), options.context);
        const bool readBefore = store.ReportRead(message.key);
        bool known = false;
        for (const FeedbackItem& item : message.items)
            known = known || item.kind == FeedbackKind::AutoReply || actsOnList(item);
        if (!readBefore) {
            for (const FeedbackItem& item : message.items)
                count(counts, item);
        }
        if (each)
            for (const FeedbackItem& item : message.items)
                each({id, message.key, item, readBefore});
        if (options.dryRun || !known) {
            // Left as it was found.
            mailbox.Unread(id);
            continue;
        }
        if (!readBefore) {
            if (!transaction)
                transaction.emplace(store);
            for (const FeedbackItem& item : message.items)
                if (actsOnList(item))
                    record(store, item, message.key, options.softBounceLimit);
            store.MarkReportRead(message.key);
        }
        recorded.push_back(id);
        if (recorded.size() >= kScanMessagesPerTransaction)
            commit();
    }
    commit();
    return counts;
}

std::string ScanSummary(const ScanCounts& c)
{
    return FormatText(kScanSummaryFormat,
                      {std::to_string(c.bounced), std::to_string(c.soft), std::to_string(c.complained),
                       std::to_string(c.unsubscribed), std::to_string(c.ignored), std::to_string(c.unrecognised)});
}

std::function<std::optional<SentMessage>(std::string_view)> JournalMessageLookup()
{
    auto index = std::make_shared<std::optional<std::map<std::string, SentMessage, std::less<>>>>();
    return [index](std::string_view messageId) -> std::optional<SentMessage> {
        if (!*index) {
            index->emplace();
            std::error_code error;
            if (std::filesystem::is_directory(RunJournalFolder(), error)) {
                for (const std::string& id : ListRunIds()) {
                    std::ifstream file(RunJournalPath(id), std::ios::binary);
                    for (std::string line; std::getline(file, line);) {
                        if (line.find("\"message_id\"") == std::string::npos)
                            continue;
                        try {
                            const JsonValue value = JsonValue::parse(line);
                            (**index)[value["message_id"].text()] = {id, value["email"].text()};
                        } catch (const EJsonError&) {
                            // A torn line says nothing.
                        }
                    }
                }
            }
        }
        const auto found = (*index)->find(TrimBlanks(messageId));
        if (found == (*index)->end())
            return std::nullopt;
        return found->second;
    };
}

} // namespace quillet
