// The exact texts the mailing windows show: captions, labels and message boxes.
#pragma once

namespace quillet::texts {

// Window captions.
inline constexpr const char* kTemplateEditorCaption = "Template editor";
inline constexpr const char* kSelectTemplateCaption = "Select Template";
inline constexpr const char* kSmtpPropertiesCaption = "SMTP properties";
inline constexpr const char* kSendMailCaption = "Send E-mail";
inline constexpr const char* kSendMethodCaption = "Send method";
inline constexpr const char* kStatusCaption = "Status";

// Message boxes.
inline constexpr const char* kProgramCaption = "Orv Quillet";
inline constexpr const char* kErrorCaption = "Error";
inline constexpr const char* kErrorBangCaption = "Error!";
inline constexpr const char* kWarningCaption = "Warning";
inline constexpr const char* kCompleteCaption = "Orv Quillet!";
inline constexpr const char* kTemplateExists = "Template with this name already exists";
inline constexpr const char* kNoTemplateSelected = "Have not selected template";
inline constexpr const char* kDeleteTemplatePrefix = "Are you sure that you want delete \"";
inline constexpr const char* kDeleteTemplateSuffix = "\" template?";
inline constexpr const char* kNoSmtpSelected = "Have not selected SMTP server";
inline constexpr const char* kDeleteSmtpPrefix = "Are you sure that you want delete \"";
inline constexpr const char* kDeleteSmtpSuffix = "\" SMTP server?";
inline constexpr const char* kNoRecipientSelected = "Have not selected recipient";
inline constexpr const char* kSmtpServerError = "SMTP Server error!";
inline constexpr const char* kSendingComplete = "Mail sending complete!";
// Beside the send window's recipient list.
inline constexpr const char* kRecipientCount = "%1 recipients";
// The status window's labels.
inline constexpr const char* kStatusSentLabel = "Sent:";
inline constexpr const char* kStatusTotalLabel = "Total:";
inline constexpr const char* kStatusSendingTo = "Sending to: ";
inline constexpr const char* kSelectAttachment = "Select attachment for deletion";

// Larger runs: the send window's Options page, the Runs window and the closing box.
inline constexpr const char* kOptionsPage = "Options";
inline constexpr const char* kOnErrorLabel = "When a recipient fails:";
inline constexpr const char* kOnErrorStop = "Stop the run";
inline constexpr const char* kOnErrorSkip = "Record it and go on";
inline constexpr const char* kRetriesLabel = "Retries of temporary failures:";
inline constexpr const char* kRetryWaitLabel = "First retry after (each further wait 3 times longer):";
inline constexpr const char* kSecondsSuffix = " s";
inline constexpr const char* kRateLabel = "Rate (e.g. 30/min, empty: no limit):";
inline constexpr const char* kMaxPerConnectionLabel = "Reconnect after (messages, 0: never):";
inline constexpr const char* kSkipDisabledBox = "Skip disabled recipients";
inline constexpr const char* kConnectionsLabel = "Connections per server:";
inline constexpr const char* kBadRate = "The rate must be N/s, N/min or N/h, or empty.";
inline constexpr const char* kRunsCaption = "Runs";
inline constexpr const char* kRunsColumns[] = {"Run", "Started", "Route", "Project", "Counts"};
inline constexpr const char* kRunsButton = "Runs...";
inline constexpr const char* kResumeButton = "Resume";
inline constexpr const char* kCloseButton = "Close";
inline constexpr const char* kOpenRunQuestion = "Open the run?";
inline constexpr const char* kResumeOtherProject = "This run belongs to the project \"%1\". Open it first.";
inline constexpr const char* kNothingToResume = "Every recipient of this run was sent already.";
inline constexpr const char* kResumeRemoved = "No longer in the group, not sent (%1):";
inline constexpr const char* kResumeUnknown = "Outcome unknown: the message may have arrived (%1):";
inline constexpr const char* kResumeUnknownQuestion =
    "Send to the recipients whose outcome is unknown again? (No: leave them out)";
inline constexpr const char* kResumeRemovedGoOn = "Send to the other %1 recipients?";
inline constexpr const char* kResumeCaption = "Resume";
inline constexpr const char* kMoreAddresses = "... and %1 more";

// The send window's recipient list for a selection longer than kRecipientListAddressesShown:
// the count, then the first addresses (each followed by ";"), then this ending.
inline constexpr const char* kLongRecipientListCount = "%1 recipients: ";
inline constexpr const char* kLongRecipientListEnd = " ...";

// Help page of the SMTP properties dialog in the help folder.
inline constexpr const char* kSmtpHelpPage = "l2.htm";

} // namespace quillet::texts
