// The send command's options for larger runs (see "Larger runs" in the command-line guide):
// what a recipient's failure does, retries, pace, reconnecting, disabled recipients; and the
// endings that report how a run went, with their exit statuses.
#pragma once

#include "mailing/MailingRun.h"
#include "mailing/RunJournal.h"

#include <QCommandLineParser>

#include <string>

namespace quillet::cli {

// Exit statuses beyond 0, 1 and 2.
inline constexpr int kExitRecipientsFailed = 3;
inline constexpr int kExitInterrupted = 130;

void addLargerRunOptions(QCommandLineParser& parser);

// The delivery options and the rate into the request. `journal` holds those of the run being
// resumed (or nothing): an option not given keeps the journal's value.
void applyLargerRunOptions(const QCommandLineParser& parser, MailingRunRequest& request,
                           const RunDescription* journal = nullptr);

// Prints how the run ended and returns the exit status: 0 when every chosen recipient was
// sent, 3 when some were recorded as failed (with a summary and the run ID), 130 after SIGINT
// ("Stopped: N of M sent"). leftOut: recipients a resumed run left out (removed, unknown).
int reportRunEnding(const MailingRun& run, const std::string& runId, bool interrupted, std::size_t leftOut = 0);

} // namespace quillet::cli
