// The link between recipient rows and recipient records: a row carries its record's position in
// the project's record list (the record index). These helpers find a group's records and keep
// the indices right when records are removed.
#pragma once

#include "Project.h"

#include <cstddef>
#include <string_view>
#include <vector>

namespace quillet {

// The indices of every record whose Group equals `groupName` byte for byte, in record order.
std::vector<std::size_t> recipientsOfGroup(const Project& project, std::string_view groupName);

// After the records at `removedIndices` were removed (positions before the removal, any order,
// duplicates allowed), lowers every remaining row's index by the number of removed records that
// stood before its record. Rows of removed records must have been taken out of `rowIndices` first.
void lowerIndicesAfterDelete(std::vector<std::size_t>& rowIndices, const std::vector<std::size_t>& removedIndices);

// Removes the records at `indices` (any order, duplicates and out-of-range positions ignored),
// keeping the others in their order. Sets the changed flag when a record was removed. Returns
// the number of records removed.
std::size_t removeRecipients(Project& project, const std::vector<std::size_t>& indices);

// Removes every record of the group `groupName` (exact name), keeping the others in order.
// Sets the changed flag when a record was removed. Returns the number removed.
std::size_t removeRecipientsOfGroup(Project& project, std::string_view groupName);

} // namespace quillet
