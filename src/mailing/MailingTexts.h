// The texts of the mailing subsystem that users see, in one place: template messages, run
// messages and the macro-substitution limits.
#pragma once

#include <cstddef>
#include <initializer_list>
#include <string>
#include <string_view>

namespace quillet {

// Templates.
inline constexpr std::string_view kTemplateHeader = "Orv Quillet template Version 1.0";
inline constexpr std::string_view kTemplateExtension = ".tmpl";
inline constexpr std::string_view kTemplateExists = "Template with this name already exists";
inline constexpr std::string_view kTemplateNameInvalid = "A template name cannot contain \"/\": \"%s\"";
inline constexpr std::string_view kTemplateNotSelected = "Have not selected template";
// "Cannot create file "%s". %s" and "Cannot open file "%s". %s": path, then the system's reason.
inline constexpr std::string_view kCannotCreateFile = "Cannot create file \"%s\". %s";
inline constexpr std::string_view kCannotOpenFile = "Cannot open file \"%s\". %s";
// The body a new template starts with.
inline constexpr std::string_view kNewTemplateBody[] = {"Dear, %NAME%!", "", "Best regards,",
                                                        "%AUTHORNAME%: %AUTHORWEB%"};

// The mailing run.
inline constexpr std::string_view kMailSendingComplete = "Mail sending complete!";
inline constexpr std::string_view kSmtpServerError = "SMTP Server error!";
inline constexpr std::string_view kRecipientNotSelected = "Have not selected recipient";
inline constexpr std::string_view kSelectAttachmentForDeletion = "Select attachment for deletion";
inline constexpr std::string_view kRunInProgress = "A mailing run is already in progress.";
inline constexpr std::string_view kBuiltinServerMissing = "The built-in mail server is not available.";
inline constexpr std::string_view kBuiltinHost = "127.0.0.1";
// The lines that say what a run did and where it failed (RunReport.h).
inline constexpr std::string_view kRunMessagesSent = "%s of %s messages sent";
inline constexpr std::string_view kRunSkipsAndFailures = "%s skipped, %s failed";
inline constexpr std::string_view kRunServerPlace = "Server: %s, port %s";
inline constexpr std::string_view kRunServerNote = " (%s)";
inline constexpr std::string_view kRunDefaultServer = "default mail server";
inline constexpr std::string_view kRunBuiltinServer = "built-in mail server";
inline constexpr std::string_view kRunAccount = "account %s";
inline constexpr std::string_view kRunAccountWithUser = "account %s, user %s";
inline constexpr std::string_view kRunFailedRecipient = "Not sent to: %s";
// The reason recorded for a recipient whose address is no mailbox (it is never sent to).
inline constexpr std::string_view kInvalidAddressReason = "invalid address";
// A server that took fewer of a run's connections than asked: host, port, its refusal.
inline constexpr std::string_view kFewerConnections =
    "The server %s, port %s, refused some of the run's connections (%s); the run goes on with those it took.";
inline constexpr int kDefaultSmtpPort = 25;
inline constexpr int kDefaultBuiltinPort = 1026;

// The run journal: the file's extension; the run ID; the journal's path and the system's reason.
inline constexpr std::string_view kRunJournalExtension = ".jsonl";
inline constexpr std::string_view kNoSuchRun = "No run \"%s\"";
inline constexpr std::string_view kCannotWriteJournal = "Cannot write the run journal \"%s\". %s";
inline constexpr std::string_view kNotARunJournal = "\"%s\" is not a run journal";
// The run ID and the process that holds its journal.
inline constexpr std::string_view kRunStillInProgress = "Run %s is still in progress (process %s)";
// A journal that lists an address as sent more than once: how many, then the addresses.
inline constexpr std::string_view kSentMoreThanOnce = "Warning: %s recipient(s) recorded as sent more than once: %s";

// Message options.
inline constexpr std::string_view kTestSubjectPrefix = "[Test] ";
inline constexpr std::string_view kHeaderWithoutColon = "The header \"%s\" has no \"Name: value\" form.";
inline constexpr std::string_view kHeaderBadName =
    "\"%s\" is not a header name (letters, digits and \"-\" and similar signs, no spaces or colon).";
inline constexpr std::string_view kHeaderLineBreak = "The header \"%s\" holds a line break.";
inline constexpr std::string_view kHeaderReserved =
    "The header \"%s\" is written by the program itself and cannot be added.";
inline constexpr std::string_view kUnsubscribeUrlScheme =
    "The unsubscribe address \"%s\" must start with https:// or http://.";

// Pre-flight findings; "%s" placeholders in order.
inline constexpr std::string_view kFindingUnreplaced = "%s recipient(s): %s is not replaced in the message (%s)";
// Added to the finding above when the recipients have a parameter of that name in another letter case.
inline constexpr std::string_view kFindingParameterCase =
    "; their parameter \"%s\" differs only in letter case (macros match it exactly)";
inline constexpr std::string_view kFindingEmptySubjectMacro = "%s recipient(s): %s is empty in the subject (%s)";
inline constexpr std::string_view kFindingEmptySubject = "The subject is empty";
inline constexpr std::string_view kFindingEmptyBody = "The message has no text";
inline constexpr std::string_view kFindingNoFrom =
    "The message has no From: receivers may refuse it (use a template with a reply-to line, --from, "
    "or the sender address as From)";
inline constexpr std::string_view kFindingInvalid = "%s recipient(s) with an address that is not valid (%s)";
inline constexpr std::string_view kFindingDuplicate = "%s address(es) chosen more than once (%s)";
inline constexpr std::string_view kFindingDisabled = "%s disabled recipient(s) will receive the message (%s)";
inline constexpr std::string_view kFindingMissingAttachment = "The attachment \"%s\" cannot be read: %s";
inline constexpr std::string_view kFindingLargeAttachment = "The attachment \"%s\" is %s MB, more than %s MB";
inline constexpr std::string_view kFindingSigningDomain =
    "Messages are signed for %s but come from %s: receivers do not count that signature for the sender";
inline constexpr std::string_view kFindingUnsignedRun =
    "%s messages are not signed (DKIM): large providers refuse or file away unsigned bulk mail";
inline constexpr std::string_view kFindingRunSize = "%s message(s), about %s in all";
inline constexpr std::string_view kFindingMore = "and %s more";

// Macro substitution ends with an error instead of looping or growing without end: its result
// may be at most this long (or as long as the text given, when that is longer), and values that
// keep re-creating each other's macro texts without growing may cost at most this many bytes
// searched and moved (a line that settles costs far less: any number of occurrences is replaced).
inline constexpr std::size_t kMaxMacroResultLength = 64 * 1024;
inline constexpr std::size_t kMaxMacroWork = std::size_t{64} << 20;
// A pass also costs its fourteen steps besides the bytes it touches: it counts as this many bytes
// of work, so a value that grows by a byte a pass is refused after tens of thousands of passes,
// not the hundreds of thousands of the length bound. A line is never refused for the passes its
// own macros need: the work allowed grows by this much for each percent sign of the line.
inline constexpr std::size_t kMacroPassWork = 2048;
// Recipient's e-mail.
inline constexpr std::string_view kMacroDoesNotSettle =
    "Macros for recipient \"%s\" do not settle; nothing was sent to this recipient.";
// Recipient's e-mail, then the limit.
inline constexpr std::string_view kMacroTooLong =
    "Macros for recipient \"%s\" make a text longer than %s bytes; nothing was sent to this recipient.";

// Fills the "%s" placeholders of a message in order.
std::string formatMessage(std::string_view pattern, std::initializer_list<std::string_view> values);

} // namespace quillet
