// What a mailing run does when one recipient's message fails: the recipient's outcome, how a
// failure is classed, how often and after which waits a temporary failure is tried again.
//
//   permanent  a 5xx reply to MAIL, RCPT or the data: the server has refused this message;
//   temporary  a 4xx reply, a lost connection or a time-out before the message's data was
//              ended: nothing was delivered, the message may be tried again (on a new
//              connection when the old one is gone);
//   unknown    the connection was lost after the final dot and before its reply: the server may
//              or may not have taken the message, so it is never sent again on its own;
//   fatal      anything else (an attachment that cannot be read, a macro error, a server that
//              lacks what the settings require): it ends the run whatever the policy.
//
// With OnError::Stop (the default, as the send window has always done) the first recipient's
// failure ends the run; with OnError::Skip it is recorded and the run goes on with the next one.
#pragma once

#include <chrono>
#include <cstddef>
#include <exception>
#include <optional>
#include <string>
#include <string_view>

namespace quillet {

enum class RecipientStatus { NotTried, Sent, Rejected, Failed, Unknown, Skipped };

// The journal's and the command line's names: "not_tried", "sent", "rejected", "failed",
// "unknown", "skipped".
std::string_view StatusName(RecipientStatus status);
std::optional<RecipientStatus> StatusFromName(std::string_view name);

enum class OnError { Stop, Skip };

enum class FailureKind { Permanent, Temporary, Unknown, Fatal };

// Attempts for temporary failures when the user asks to skip failures and names no number:
// three attempts, the waits adding up to about two minutes.
inline constexpr int kDefaultSkipAttempts = 3;
inline constexpr std::chrono::milliseconds kDefaultFirstRetryWait{30'000};
// Each wait is this many times the one before.
inline constexpr int kRetryWaitFactor = 3;
// The longest single wait, whatever the first wait and the attempts.
inline constexpr std::chrono::milliseconds kMaxRetryWait{15 * 60'000};

struct DeliveryOptions {
    OnError onError = OnError::Stop;
    // Tries of one message in all; 1 tries once (no retry).
    int attempts = 1;
    std::chrono::milliseconds firstRetryWait = kDefaultFirstRetryWait;
    // Reconnect after this many messages on one connection; 0: never.
    std::size_t maxPerConnection = 0;
    // Disabled recipients get no message and are recorded as skipped.
    bool skipDisabled = false;
};

struct ClassifiedFailure {
    FailureKind kind = FailureKind::Fatal;
    // The server's reply ("550 No such user") or the error's text.
    std::string reply;
    // The connection cannot be used for the next message (421, lost, unknown state).
    bool connectionLost = false;
};

// Classes the failure of one message; dataEnded tells whether the final dot had been handed to
// the connection when it happened.
ClassifiedFailure ClassifyFailure(std::exception_ptr failure, bool dataEnded);

// The wait before the attempt that follows attempt number `attempt` (1-based).
std::chrono::milliseconds RetryWait(const DeliveryOptions& options, int attempt);

} // namespace quillet
