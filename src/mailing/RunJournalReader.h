// Reading run journals back (the format is described in RunJournal.h): one run with every
// recipient's latest outcome, and the list of the runs kept.
//
// Every recipient starts as not tried; each "outcome" line sets its status, and a "pending"
// line sets it to unknown until an outcome follows. Lines that cannot be read - above all the
// last line torn by a kill in the middle of its write - are counted and left out; only a first
// line that is not a run's description makes the file unreadable.
#pragma once

#include "DeliveryRecorder.h"
#include "RunJournal.h"

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace quillet {

struct RecipientOutcome {
    std::string email;
    RecipientStatus status = RecipientStatus::NotTried;
    std::string reply;
    int attempts = 0;
    std::string time;
    // "sent" outcomes recorded for this recipient: more than one means it got several messages.
    int timesSent = 0;
};

struct RunRecord {
    RunDescription description;
    std::vector<RecipientOutcome> recipients; // in the order of description.recipients
    std::size_t sessions = 1;                 // the first run and its resumptions
    std::string ending;                       // of the last session; empty when it never ended
    std::string endError;
    std::string ended;
    std::size_t unreadableLines = 0;
    long pid = 0; // the process of the last session, as its line says (0: none recorded)

    RunCounts Counts() const;
    // The recipients recorded as sent more than once, in the run's order.
    std::vector<const RecipientOutcome*> SentMoreThanOnce() const;
};

// Parses a journal's bytes; the path is named in errors.
RunRecord ParseRunJournal(std::string_view bytes, const std::string& path);
// Reads the journal of a run ID ("No run "ID"" when there is none).
RunRecord ReadRunJournal(const std::string& id);
// The code page run ID was made under, from its first line alone (empty when not recorded).
std::string RunJournalCodePage(const std::string& id);
// The IDs of the runs in the journal folder, newest first.
std::vector<std::string> ListRunIds();

} // namespace quillet
