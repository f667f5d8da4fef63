#include "RecipientRows.h"

#include "EmailCollation.h"
#include "project/RecipientIndex.h"
#include "TextCase.h"

#include <algorithm>

namespace quillet {

std::vector<std::size_t> sortedRecipientRows(const Project& project, std::string_view groupName)
{
    RecipientRows rows;
    rows.rebuild(project, groupName);
    return rows.recordIndices();
}

std::vector<std::size_t> RecipientRows::recordIndices() const
{
    std::vector<std::size_t> result;
    result.reserve(rows_.size());
    for (const Row& row : rows_)
        result.push_back(row.record);
    return result;
}

std::vector<std::size_t> RecipientRows::recordIndices(std::vector<std::size_t> rows) const
{
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    std::vector<std::size_t> result;
    result.reserve(rows.size());
    for (std::size_t row : rows)
        if (row < rows_.size())
            result.push_back(rows_[row].record);
    return result;
}

void RecipientRows::rebuild(const Project& project, std::string_view groupName)
{
    const EmailCollation& collation = EmailCollation::instance();
    rows_.clear();
    for (std::size_t i : recipientsOfGroup(project, groupName))
        rows_.push_back({collation.sortKey(project.recipients[i].EMail.view()), i});
    // Rows are added in record order; a stable sort keeps equal addresses in that order.
    std::stable_sort(rows_.begin(), rows_.end(), before);
}

std::size_t RecipientRows::insertionRow(const Project& project, std::size_t recordIndex) const
{
    const Row row{EmailCollation::instance().sortKey(project.recipients.at(recordIndex).EMail.view()), recordIndex};
    return static_cast<std::size_t>(std::upper_bound(rows_.begin(), rows_.end(), row, before) - rows_.begin());
}

std::size_t RecipientRows::addRow(const Project& project, std::size_t recordIndex)
{
    Row row{EmailCollation::instance().sortKey(project.recipients.at(recordIndex).EMail.view()), recordIndex};
    const auto place = std::upper_bound(rows_.begin(), rows_.end(), row, before);
    const auto position = static_cast<std::size_t>(place - rows_.begin());
    rows_.insert(place, std::move(row));
    return position;
}

std::size_t RecipientRows::resortRow(const Project& project, std::size_t row)
{
    Row moved{EmailCollation::instance().sortKey(project.recipients.at(rows_.at(row).record).EMail.view()),
              rows_[row].record};
    rows_.erase(rows_.begin() + static_cast<std::ptrdiff_t>(row));
    const auto place = std::upper_bound(rows_.begin(), rows_.end(), moved, before);
    const auto position = static_cast<std::size_t>(place - rows_.begin());
    rows_.insert(place, std::move(moved));
    return position;
}

void RecipientRows::removeRecords(Project& project, const std::vector<std::size_t>& rows)
{
    std::vector<bool> removedRow(rows_.size(), false);
    std::vector<std::size_t> removedRecords;
    for (std::size_t row : rows) {
        if (row < rows_.size() && !removedRow[row]) {
            removedRow[row] = true;
            removedRecords.push_back(rows_[row].record);
        }
    }
    removeRecipients(project, removedRecords);

    std::vector<Row> kept;
    kept.reserve(rows_.size() - removedRecords.size());
    std::vector<std::size_t> keptIndices;
    keptIndices.reserve(kept.capacity());
    for (std::size_t i = 0; i < rows_.size(); ++i) {
        if (!removedRow[i]) {
            keptIndices.push_back(rows_[i].record);
            kept.push_back(std::move(rows_[i]));
        }
    }
    lowerIndicesAfterDelete(keptIndices, removedRecords);
    for (std::size_t i = 0; i < kept.size(); ++i)
        kept[i].record = keptIndices[i];
    rows_ = std::move(kept);
}

std::optional<std::size_t> RecipientRows::firstRowWithEmail(const Project& project, std::string_view email) const
{
    for (std::size_t i = 0; i < rows_.size(); ++i)
        if (equalIgnoringCase(project.recipients[rows_[i].record].EMail.view(), email))
            return i;
    return std::nullopt;
}

} // namespace quillet
