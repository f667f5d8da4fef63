// Reading what comes back: each message of a mailbox is classified as a bounce (a delivery
// status notification with Action: failed and a 5.x.x status), a soft bounce (delayed, or a
// 4.x.x status), a complaint (a feedback report), an unsubscribe request, an automatic reply
// (ignored), or none of these (unrecognised).
//
// The recipient a report is about is found, in order, by the VERP address it was returned to
// (LOCAL+MAILBOX=DOMAIN@SENDERDOMAIN in Delivered-To, X-Original-To or To), by the report's
// Original-Recipient or Final-Recipient (Original-Rcpt-To in a complaint), and by the returned
// message's Message-ID looked up in the run journals. A delivery report names one entry for each
// recipient it reports on.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quillet {

enum class FeedbackKind { Bounce, Soft, Complaint, Unsubscribe, AutoReply, Unrecognised };

// "bounce", "soft", "complaint", "unsubscribe", "auto-reply", "unrecognised".
std::string_view FeedbackKindName(FeedbackKind kind);

struct FeedbackItem {
    FeedbackKind kind = FeedbackKind::Unrecognised;
    std::string address; // the recipient it is about; empty when none was found
    std::string run;     // the run it came from, when the journals tell
    std::string status;  // the DSN status ("5.1.1"), or the complaint's feedback type
    std::string detail;  // the diagnostic, or what else the report says
};

struct FeedbackMessage {
    // A key naming the message for the record of reports read: its Message-ID, or a digest of
    // its bytes when it has none.
    std::string key;
    std::vector<FeedbackItem> items; // at least one
};

// The run and recipient a returned Message-ID belongs to.
struct SentMessage {
    std::string run;
    std::string address;
};

struct FeedbackContext {
    // Addresses whose mails are unsubscribe requests (compared without regard to case); empty:
    // any address of the mailbox.
    std::vector<std::string> unsubscribeMailboxes;
    // The secret of the unsubscribe tokens; empty: tokens are not looked for.
    std::string unsubscribeSecret;
    // Looks a returned Message-ID (with its angle brackets) up in the run journals.
    std::function<std::optional<SentMessage>(std::string_view messageId)> findSent;
};

FeedbackMessage ReadFeedbackMessage(std::string_view raw, const FeedbackContext& context);

// The recipient named by a VERP address ("bounces+ann=example.org@sender.example" names
// "ann@example.org"); empty when the address is not one.
std::string VerpRecipient(std::string_view address);

} // namespace quillet
