// quillet inbox scan (--imap URL | --maildir DIR | --mbox FILE) [...]: reads one mailbox, puts
// its bounces, complaints and unsubscribe requests into the suppression list and prints
// "bounced N, soft N, complained N, unsubscribed N, ignored N, unrecognised N" (with --json,
// one JSON object a message before it).
#include "Command.h"
#include "ConnectionOptions.h"
#include "JsonWriter.h"
#include "SuppressionAccess.h"

#include "feedback/FeedbackLimits.h"
#include "feedback/FeedbackTexts.h"
#include "feedback/MailboxScan.h"
#include "feedback/UnsubscribeToken.h"
#include "mailing/RunJournal.h"
#include "mailing/RunJournalReader.h"
#include "project/settings/SettingsStore.h"

#include <cstdio>

namespace quillet::cli {

namespace {

// The unsubscribe addresses of the recorded runs: the mailto links of their List-Unsubscribe
// headers.
std::vector<std::string> recordedUnsubscribeMailboxes()
{
    std::vector<std::string> mailboxes;
    std::error_code error;
    if (!std::filesystem::is_directory(RunJournalFolder(), error))
        return mailboxes;
    for (const std::string& id : ListRunIds()) {
        try {
            for (const std::string& header : ReadRunJournal(id).description.headers) {
                if (header.rfind("List-Unsubscribe:", 0) != 0)
                    continue;
                for (std::size_t at = header.find("mailto:"); at != std::string::npos;
                     at = header.find("mailto:", at + 1)) {
                    const std::size_t end = header.find_first_of("?>", at);
                    mailboxes.push_back(header.substr(at + 7, end == std::string::npos ? end : end - at - 7));
                }
            }
        } catch (const std::exception&) {
            // A damaged journal names no address.
        }
    }
    return mailboxes;
}

} // namespace

class InboxScanCommand : public Command {
public:
    InboxScanCommand() : Command("inbox scan", "Read bounces, complaints and unsubscribes from a mailbox") {}

    void defineOptions(QCommandLineParser& parser) override
    {
        parser.addOption({"imap", "imaps://HOST[:PORT]/FOLDER, or imap://... with STARTTLS.", "URL"});
        parser.addOption({"maildir", "A Maildir folder.", "DIR"});
        parser.addOption({"mbox", "An mbox file.", "FILE"});
        parser.addOption({"user", "The IMAP user name.", "USER"});
        parser.addOption({"password", "The IMAP password (prefer --password-file).", "PASSWORD"});
        addConnectionOptions(parser);
        parser.addOption(
            {"unsubscribe-mailto", "The address whose mails are unsubscribe requests (repeatable).", "ADDRESS"});
        parser.addOption({"unsubscribe-secret-file", "The secret of the unsubscribe tokens.", "FILE"});
        parser.addOption({"move-to", "Move the messages read to this folder.", "FOLDER"});
        parser.addOption({"soft-bounce-limit", "Soft bounces that suppress an address (default 3).", "N"});
        parser.addOption({"dry-run", "Print what would change; change nothing."});
        parser.addOption({"json", "Print one JSON object a message."});
    }

    int execute(const QCommandLineParser& parser) override
    {
        positional(parser, 0, 0);
        const int sources = int(parser.isSet("imap")) + int(parser.isSet("maildir")) + int(parser.isSet("mbox"));
        if (sources != 1)
            throw UsageError("Give one of --imap, --maildir and --mbox");
        ScanOptions options;
        options.dryRun = parser.isSet("dry-run");
        options.moveTo = parser.value("move-to").toStdString();
        options.softBounceLimit = kDefaultSoftBounceLimit;
        if (parser.isSet("soft-bounce-limit")) {
            bool ok = false;
            options.softBounceLimit = parser.value("soft-bounce-limit").toInt(&ok);
            if (!ok || options.softBounceLimit < 1)
                throw UsageError("--soft-bounce-limit takes a whole number from 1");
        }
        for (const QString& address : parser.values("unsubscribe-mailto"))
            options.context.unsubscribeMailboxes.push_back(address.toStdString());
        if (options.context.unsubscribeMailboxes.empty())
            options.context.unsubscribeMailboxes = recordedUnsubscribeMailboxes();
        if (parser.isSet("unsubscribe-secret-file"))
            options.context.unsubscribeSecret =
                ReadUnsubscribeSecret(parser.value("unsubscribe-secret-file").toStdString());
        options.context.findSent = JournalMessageLookup();

        std::unique_ptr<Mailbox> mailbox;
        if (parser.isSet("imap")) {
            ImapSettings imap;
            imap.url = parser.value("imap").toStdString();
            imap.user = parser.value("user").toStdString();
            imap.password = runPassword(parser).value_or("");
            const ConnectionSettings connection = connectionSettings(parser, SettingsStore().readSecurity());
            imap.security = connection.security;
            imap.trust = connection.trust;
            mailbox = OpenImap(imap);
        } else if (parser.isSet("maildir")) {
            mailbox = OpenMaildir(parser.value("maildir").toStdString());
        } else {
            if (!options.moveTo.empty())
                throw UsageError(std::string(kMoveToNeedsFolderMailbox));
            mailbox = OpenMbox(parser.value("mbox").toStdString());
        }

        SuppressionStore store = openSuppressionList();
        const bool json = parser.isSet("json");
        const ScanCounts counts = ScanMailbox(*mailbox, store, options, [&](const ScannedItem& scanned) {
            if (json) {
                JsonWriter line;
                line.beginObject()
                    .key("id")
                    .value(scanned.id)
                    .key("kind")
                    .value(FeedbackKindName(scanned.item.kind))
                    .key("address")
                    .value(scanned.item.address)
                    .key("run")
                    .value(scanned.item.run)
                    .key("status")
                    .value(scanned.item.status)
                    .key("detail")
                    .value(scanned.item.detail)
                    .endObject();
                std::printf("%s\n", line.text().c_str());
            } else if (options.dryRun && !scanned.readBefore && !scanned.item.address.empty() &&
                       scanned.item.kind != FeedbackKind::AutoReply) {
                std::printf("would record %s: %s\n", std::string(FeedbackKindName(scanned.item.kind)).c_str(),
                            scanned.item.address.c_str());
            }
        });
        std::printf("%s\n", ScanSummary(counts).c_str());
        return 0;
    }
};

QUILLET_REGISTER_COMMAND(InboxScanCommand);

} // namespace quillet::cli
