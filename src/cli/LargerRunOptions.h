// The send command's options for larger runs (see "Larger runs" in the command-line guide):
// what a recipient's failure does, retries, pace, reconnecting, disabled recipients; and the
// endings that report how a run went, with their exit statuses.
#pragma once

#include "mailing/MailingRun.h"
#include "mailing/RunJournal.h"

#include <QCommandLineParser>

#include <string>
#include <vector>

namespace quillet::cli {

// Exit statuses beyond 0, 1 and 2.
inline constexpr int kExitRecipientsFailed = 3;
inline constexpr int kExitInterrupted = 130;

void addLargerRunOptions(QCommandLineParser& parser);

// The delivery options and the rate into the request. `journal` holds those of the run being
// resumed (or nothing): an option not given keeps the journal's value.
void applyLargerRunOptions(const QCommandLineParser& parser, MailingRunRequest& request,
                           const RunDescription* journal = nullptr);

// The recipients of the run being resumed that this session leaves out.
struct LeftOut {
    std::size_t unknown = 0; // their outcome is unknown (not sent again without --resend-unknown)
    std::size_t removed = 0; // no longer in the group
    bool any() const { return unknown + removed > 0; }
};

// Prints how the run ended and returns the exit status: "Mail sending complete!" and 0 only when
// every chosen recipient was sent; 130 after SIGINT ("Stopped: N of M sent"); 3 when some were
// recorded as failed or left out, or their address is no mailbox (invalid, named in the summary
// with the run ID).
int reportRunEnding(const RunCounts& counts, const std::string& runId, bool interrupted, LeftOut leftOut = {},
                    const std::vector<std::string>& invalid = {});

} // namespace quillet::cli
