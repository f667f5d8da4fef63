// A scan of one mailbox: every message is read and classified, and what it reports goes into the
// suppression list, together with the record that the report was read (in the same
// transaction), so a second scan of the same mailbox changes nothing.
//
// Bounces, complaints and unsubscribes suppress their address; soft bounces are counted and
// suppress it at the limit; automatic replies are ignored. A message whose recipient cannot be
// found, or that is none of these, is left alone (IMAP: still unseen) and counted unrecognised.
// Read messages are marked read, or moved to --move-to's folder. A dry run changes nothing, in
// the list or in the mailbox.
#pragma once

#include "Mailbox.h"
#include "ReportReader.h"
#include "SuppressionStore.h"

#include <functional>
#include <string>
#include <vector>

namespace quillet {

struct ScanOptions {
    bool dryRun = false;
    int softBounceLimit = 3;
    std::string moveTo; // empty: mark read
    FeedbackContext context;
};

struct ScanCounts {
    std::size_t bounced = 0;
    std::size_t soft = 0;
    std::size_t complained = 0;
    std::size_t unsubscribed = 0;
    std::size_t ignored = 0;
    std::size_t unrecognised = 0;
};

struct ScannedItem {
    std::string id;  // the mailbox's id of the message
    std::string key; // the report's key
    FeedbackItem item;
    bool readBefore = false; // the report was counted by an earlier scan
};

// Scans the mailbox; `each` (when given) sees every item as it is read.
ScanCounts ScanMailbox(Mailbox& mailbox, SuppressionStore& store, const ScanOptions& options,
                       const std::function<void(const ScannedItem&)>& each = {});

// "bounced N, soft N, complained N, unsubscribed N, ignored N, unrecognised N".
std::string ScanSummary(const ScanCounts& counts);

// Looks returned Message-IDs up in the run journals (their "message_id" members); the journals
// are read once, at the first look-up.
std::function<std::optional<SentMessage>(std::string_view)> JournalMessageLookup();

} // namespace quillet
