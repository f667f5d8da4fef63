#include "RunResume.h"

#include <map>
#include <string_view>

namespace quillet {

ResumePlan PlanResume(const RunRecord& run, const Project& project, const std::vector<std::size_t>& groupRows,
                      bool resendUnknown)
{
    // Each address's rows in the group, taken in order as the journal names it again.
    std::map<std::string_view, std::vector<std::size_t>> rowsByAddress;
    for (const std::size_t row : groupRows)
        rowsByAddress[project.recipients.at(row).EMail.view()].push_back(row);
    std::map<std::string_view, std::size_t> taken;

    ResumePlan plan;
    for (std::size_t position = 0; position < run.recipients.size(); ++position) {
        const RecipientOutcome& outcome = run.recipients[position];
        const auto found = rowsByAddress.find(outcome.email);
        std::size_t& occurrence = taken[outcome.email];
        const bool inGroup = found != rowsByAddress.end() && occurrence < found->second.size();
        const std::size_t row = inGroup ? found->second[occurrence] : 0;
        ++occurrence;
        if (outcome.status == RecipientStatus::Sent) {
            ++plan.alreadySent;
            continue;
        }
        if (outcome.status == RecipientStatus::Unknown && !resendUnknown) {
            plan.unknown.push_back(outcome.email);
            continue;
        }
        if (!inGroup) {
            plan.removed.push_back(outcome.email);
            continue;
        }
        plan.rows.push_back(row);
        plan.positions.push_back(position);
    }
    return plan;
}

} // namespace quillet
