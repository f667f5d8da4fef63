// A run's record in words, for the terminal and the desktop program's Runs window alike: the
// counts on one line, and the settings, counts and every recipient's status and reply.
// Texts are in the program's code page.
#pragma once

#include "RunJournalReader.h"

#include <string>

namespace quillet {

// "sent 997, rejected 3, failed 0, unknown 0, skipped 0, not tried 0 of 1000"
std::string CountsText(const RunCounts& counts);
// "Run: ID", "Started: ...", ... "Counts: ...", the warning of SentMoreThanOnceText, then (when any recipient was rejected, failed or
// has an unknown outcome) a blank line, "Not sent:" and those recipients, then a blank line and
// every recipient as "email<TAB>status[<TAB>reply]".
std::string RunRecordText(const RunRecord& run);
// "Warning: 2 recipient(s) recorded as sent more than once: a@x.org (2 times), ..." and a line
// break; empty when every recipient was recorded as sent at most once.
std::string SentMoreThanOnceText(const RunRecord& run);

} // namespace quillet
