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
// Below a refused server certificate's text (host, port).
inline constexpr const char* kTrustOffer = "Trust this certificate for %1, port %2 from now on? The run then goes on.";
inline constexpr const char* kCertificateChanged =
    "The certificate of %1 (port %2) has changed since you trusted it.\n\nTrusted: %3\nNow offered: %4\n\n"
    "This happens when the server's certificate was renewed, and also when someone stands between this "
    "computer and the server. Trust the new certificate instead?";
// Beside the send window's recipient list.
inline constexpr const char* kRecipientCount = "%1 recipients";
inline constexpr const char* kOneRecipient = "1 recipient";
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
// A run whose journal another session holds: the process's number.
inline constexpr const char* kRunRunning = "running (process %1)";
inline constexpr const char* kCloseButton = "Close";
inline constexpr const char* kOpenRunQuestion = "Open the run?";
inline constexpr const char* kResumeRunQuestion =
    "Resume the run now, sending to the recipients not yet sent? (No: open the run)";
inline constexpr const char* kResumeOtherCodePage =
    "This run was made under the code page %1. Choose it in Program options and start the program again to "
    "resume the run.";
inline constexpr const char* kResumeOtherProject = "This run belongs to the project \"%1\". Open it first.";
inline constexpr const char* kNothingToResume = "Every recipient of this run was sent already.";
inline constexpr const char* kResumeRemoved = "No longer in the group, not sent (%1):";
inline constexpr const char* kResumeUnknown = "Outcome unknown: the message may have arrived (%1):";
inline constexpr const char* kResumeUnknownQuestion =
    "Send to the recipients whose outcome is unknown again? (No: leave them out)";
inline constexpr const char* kResumeRemovedGoOn = "Send to the other %1 recipients?";
inline constexpr const char* kResumeCaption = "Resume";
inline constexpr const char* kMoreAddresses = "... and %1 more";
// The send window's HTML and header pages, and its Preview and Send test.
inline constexpr const char* kHtmlPage = "HTML";
inline constexpr const char* kHeadersPage = "Headers";
inline constexpr const char* kMakePlainText = "Make the plain text from the HTML";
inline constexpr const char* kReplacePlainText = "Replace the plain text with the text made from the HTML?";
inline constexpr const char* kNoHtml = "The HTML page is empty";
inline constexpr const char* kUnsubscribeUrlLabel = "List-Unsubscribe URL:";
inline constexpr const char* kUnsubscribeMailtoLabel = "List-Unsubscribe address:";
inline constexpr const char* kHeadersHint =
    "Headers added to every message, one \"Name: value\" a line. Macros such as %NAME% may be used "
    "here and in the URL and address.";
inline constexpr const char* kPreviewButton = "Preview...";
inline constexpr const char* kSendTestButton = "Send test...";
inline constexpr const char* kPreviewCaption = "Preview";
inline constexpr const char* kPreviewRecipientLabel = "Recipient:";
// The last entry of the preview's recipient choice when the run has more than it lists.
inline constexpr const char* kPreviewMoreRecipients = "... and %1 more";
inline constexpr const char* kPreviewTextPage = "Text";
inline constexpr const char* kPreviewHtmlPage = "HTML";
inline constexpr const char* kPreviewSourcePage = "Source";
inline constexpr const char* kPreviewAttachments = "Attachments: %1";
inline constexpr const char* kSendTestCaption = "Send test";
inline constexpr const char* kSendTestPrompt = "Send the message of %1 to this address:";
inline constexpr const char* kBadTestAddress = "\"%1\" is not a valid e-mail address";
inline constexpr const char* kTestSent = "The test message was sent to %1";

// The pre-flight check before a run.
inline constexpr const char* kPreflightCaption = "Pre-flight check";
inline constexpr const char* kPreflightHeading = "Before sending";
inline constexpr const char* kPreflightClean = "Nothing to warn about.";
inline constexpr const char* kPreflightWarnings = "%1 warning(s): look at them before sending.";
inline constexpr const char* kPreflightDontShow = "Do not show this check again (Program options bring it back)";
inline constexpr const char* kPreflightSend = "&Send";
inline constexpr const char* kPreflightNoFrom =
    "The message has no From: receivers may refuse it (insert a template with a reply-to line, or tick "
    "\"Use the sender address as From\" in Program options)";

// The send window's recipient list for a selection longer than kRecipientListAddressesShown:
// the count, then the first addresses (each followed by ";"), then this ending.
inline constexpr const char* kLongRecipientListCount = "%1 recipients: ";
inline constexpr const char* kLongRecipientListEnd = " ...";

// Help page of the SMTP properties dialog in the help folder.
inline constexpr const char* kSmtpHelpPage = "l2.htm";

} // namespace quillet::texts
