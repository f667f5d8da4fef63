// The texts of hearing back that users see, in one place.
#pragma once

#include <string_view>

namespace quillet {

// Suppression reasons as stored and shown.
inline constexpr std::string_view kReasonUnsubscribed = "unsubscribed";
inline constexpr std::string_view kReasonBounced = "bounced";
inline constexpr std::string_view kReasonComplained = "complained";
inline constexpr std::string_view kReasonManual = "manual";
// The source of an entry made by hand.
inline constexpr std::string_view kSourceByHand = "by hand";

// Placeholders: the file's path, then SQLite's message.
inline constexpr std::string_view kSuppressionOpenFailed = "Cannot open the suppression list \"%s\". %s";
inline constexpr std::string_view kSuppressionFailed = "The suppression list \"%s\" failed: %s";
inline constexpr std::string_view kUnknownReason =
    "Unknown reason \"%s\" (unsubscribed, bounced, complained or manual).";
inline constexpr std::string_view kNoDataFolder =
    "Neither XDG_DATA_HOME nor HOME is set: no place for the suppression list.";

// Mailboxes. Placeholders: the mailbox's name, then the reason.
inline constexpr std::string_view kMailboxUnreadable = "Cannot read the mailbox \"%s\". %s";
inline constexpr std::string_view kImapFailed = "IMAP: %s: %s";
inline constexpr std::string_view kImapUrlInvalid =
    "Not an IMAP address: \"%s\" (imaps://HOST[:PORT]/FOLDER or imap://...)";
inline constexpr std::string_view kMoveToNeedsFolderMailbox =
    "--move-to moves messages of IMAP and Maildir mailboxes only.";

// The summary of a mailbox scan; the counts in this order.
inline constexpr std::string_view kScanSummaryFormat =
    "bounced %s, soft %s, complained %s, unsubscribed %s, ignored %s, unrecognised %s";

// The one-click endpoint.
inline constexpr std::string_view kUnsubscribeDone = "You are unsubscribed: no more mail will be sent to %s.";
inline constexpr std::string_view kUnsubscribeForbidden = "This unsubscribe link is not valid.";
inline constexpr std::string_view kUnsubscribeConfirm = "Unsubscribe %s from this mailing list?";
inline constexpr std::string_view kUnsubscribeButton = "Unsubscribe";
inline constexpr std::string_view kSecretTooShort = "The secret in \"%s\" is shorter than 16 bytes.";

} // namespace quillet
