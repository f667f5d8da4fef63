// What the runs commands and the send command's endings share: a run's counts in words, its
// JSON object and its CSV table. Texts come in the program's code page and leave as UTF-8.
#pragma once

#include "mailing/RunJournalReader.h"

#include <string>

namespace quillet::cli {

// "sent 997, rejected 3, failed 0, unknown 0, skipped 0, not tried 0 of 1000"
std::string countsText(const RunCounts& counts);
// The run's JSON object: ID, start, route, project, group, the counts and, when asked, every
// recipient with status, reply, attempts and time.
std::string runJson(const RunRecord& run, bool withRecipients);
// "email,status,reply,attempts,time" and one row per recipient (RFC 4180 quoting), UTF-8.
std::string runCsv(const RunRecord& run);
// The run's settings, counts and recipients as lines for the terminal.
std::string runText(const RunRecord& run);

} // namespace quillet::cli
