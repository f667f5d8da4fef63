// The texts the template, settings and send commands of the command line show.
#pragma once

#include "ProjectCommandTexts.h"

namespace quillet::cli::texts {

inline constexpr const char* kNoSuchTemplate = "Template \"%1\" does not exist";
inline constexpr const char* kUnknownSettingsKey = "KEY must be one of Server, Port, From, UserName, Password";
inline constexpr const char* kNoRecipientInGroup = "No recipient \"%1\" in the group";
inline constexpr const char* kBadRoute = "--route takes default, rotating or builtin";
inline constexpr const char* kCaptureNeedsBuiltin = "--capture needs --route builtin";
inline constexpr const char* kGroupRequired = "--group is required";
inline constexpr const char* kProgress = "%1 sent";
// After a refused certificate: how to trust it for the next run.
inline constexpr const char* kTrustWithPin = "To trust this certificate: --tls-pin %1";
inline constexpr const char* kCannotReadFile = "Cannot read file \"%1\"";
inline constexpr const char* kUnknownEncoding = "Unknown encoding \"%1\"";
inline constexpr const char* kBadPreviewNumber = "--preview takes a recipient number from 1";
inline constexpr const char* kNoSuchRecipientNumber = "There is no recipient %1 in this run";
inline constexpr const char* kBadTestAddress = "--test-to needs a valid address, got \"%1\"";
inline constexpr const char* kWarningPrefix = "warning: ";
// Delivery through real servers.
inline constexpr const char* kBadTimeout = "--timeout takes a whole number of seconds from 1";
inline constexpr const char* kNoGreetingYet =
    "No greeting from %1:%2 yet; if it expects TLS from the first byte, use --security tls";
inline constexpr const char* kUserWithoutPassword =
    "--user needs a password: --password-file, QUILLET_PASSWORD or --password (or a terminal to ask on)";
inline constexpr const char* kCodePageMismatch =
    "warning: the texts of \"%1\" do not look like text of this code page. A project file does not record "
    "its code page: choose the one it was written under (--codepage or QUILLET_CODEPAGE).";

// Larger runs.
inline constexpr const char* kRunId = "Run ID: %1";
inline constexpr const char* kStopped = "Stopped: %1 of %2 sent";
inline constexpr const char* kRunSummary = "Not every recipient received the message: %1. See: quillet runs show %2";
inline constexpr const char* kBadOnError = "--on-error takes stop or skip";
inline constexpr const char* kBadRate = "--rate takes N/s, N/min or N/h with a whole number N from 1";
inline constexpr const char* kBadNumberOption = "%1 takes a whole number in its range";
inline constexpr const char* kResendUnknownNeedsResume = "--resend-unknown needs --resume";
inline constexpr const char* kResumeDisagrees = "%1 does not agree with run %2";
inline constexpr const char* kResumeRemoved = "No longer in the group, not sent: %1";
inline constexpr const char* kResumeUnknown = "Outcome unknown, left out (see --resend-unknown): %1";
inline constexpr const char* kLeftOutUnknown = ", %1 left out, outcome unknown";
inline constexpr const char* kLeftOutRemoved = ", %1 left out, no longer in the group";
inline constexpr const char* kLeftOutInvalid = "; not a valid address, not sent to: %1";
inline constexpr const char* kResumeNothingLeft = "Run %1: every recipient was sent already";

} // namespace quillet::cli::texts
