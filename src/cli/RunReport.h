// What the runs commands share: a run's JSON object and its CSV table (the texts in words are
// the core's, RunRecordText.h). Texts come in the program's code page and leave as UTF-8.
#pragma once

#include "mailing/RunJournalReader.h"
#include "mailing/RunRecordText.h"

#include <string>

namespace quillet::cli {

// The run's JSON object: ID, start, route, project, group, the counts and, when asked, every
// recipient with status, reply, attempts and time.
std::string runJson(const RunRecord& run, bool withRecipients);
// "email,status,reply,attempts,time" and one row per recipient (RFC 4180 quoting), UTF-8.
std::string runCsv(const RunRecord& run);

} // namespace quillet::cli
