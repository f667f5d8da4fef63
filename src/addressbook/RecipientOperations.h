// Operations on single recipients: create, edit, switch enabled/disabled, and the new
// recipients made from harvested addresses. Each sets the project's changed flag. Deleting
// recipients goes through RecipientRows::removeRecords, which keeps the rows' indices valid.
#pragma once

#include "project/Project.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace quillet {

// Appends the record as a new recipient of the group (its Group field is replaced; Enabled is
// stored as 1 or 0); returns its record index.
std::size_t appendRecipient(Project& project, RecipientRecord record, std::string_view group);
// Replaces every field of the record at the index but its Group with the edited one's.
void updateRecipient(Project& project, std::size_t index, const RecipientRecord& edited);
// Each recipient flips by itself: enabled ones become disabled and disabled ones enabled.
// The changed flag is set even when the list is empty.
void toggleEnabled(Project& project, const std::vector<std::size_t>& records);
// Appends one new enabled recipient per address, holding just the address, in the group.
void appendHarvested(Project& project, const std::vector<std::string>& addresses, std::string_view group);

} // namespace quillet
