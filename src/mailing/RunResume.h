// Which recipients a resumed run sends to. The project may have changed since the run began, so
// the journal's recipients are found again by address among the group's rows: the k-th
// occurrence of an address in the journal is the k-th row of the group with that address, in
// the list's order. Recipients already sent are left out; so are those whose outcome is unknown
// unless they are to be sent again; recipients no longer in the group are reported, not sent to.
#pragma once

#include "RunJournalReader.h"

#include "project/Project.h"

#include <cstddef>
#include <string>
#include <vector>

namespace quillet {

struct ResumePlan {
    std::vector<std::size_t> rows;      // record indices to send to, in the journal's order
    std::vector<std::size_t> positions; // their positions in the journal
    std::vector<std::string> removed;   // not sent yet, but no longer in the group
    std::vector<std::string> unknown;   // outcome unknown and left out
    std::size_t alreadySent = 0;
};

// groupRows: the group's record indices in the list's order.
ResumePlan PlanResume(const RunRecord& run, const Project& project, const std::vector<std::size_t>& groupRows,
                      bool resendUnknown);

} // namespace quillet
