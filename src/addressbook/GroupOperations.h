// Operations on the groups of a project: create, rename (carrying the recipients along),
// delete (with every recipient of the group), and moving or copying recipients to a group.
// Each operation either changes the project and sets its changed flag, or throws
// AddressBookError with the message the user sees and changes nothing.
#pragma once

#include "project/Project.h"

#include <cstddef>
#include <optional>
#include <stdexcept>
#include <string_view>
#include <vector>

namespace quillet {

class AddressBookError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Position of the first group of that name (exact comparison), if any.
std::optional<std::size_t> findGroup(const Project& project, std::string_view name);

// Appends a group; a name already in use fails with the duplicate-name message. Name and
// description are cut to 255 bytes, as every stored text is.
void addGroup(Project& project, std::string_view name, std::string_view description);
// Renames the group at the position and changes its description; every recipient of the old
// name takes the new one. A name used by another group fails with the rename message.
void editGroup(Project& project, std::size_t group, std::string_view name, std::string_view description);
// Deletes the group at the position and every recipient whose Group is its name; the other
// recipients keep their order.
void deleteGroup(Project& project, std::size_t group);
// The recipients at the record indices join the target group.
void moveRecipients(Project& project, const std::vector<std::size_t>& records, std::string_view targetGroup);
// The recipients at the record indices (in row order) join the target group, and equal copies
// of them, in the source group, are appended to the record list.
void copyRecipients(Project& project, const std::vector<std::size_t>& records, std::string_view sourceGroup,
                    std::string_view targetGroup);

} // namespace quillet
