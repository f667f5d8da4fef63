// Small helpers that build projects for the address-book tests.
#pragma once

#include "project/Project.h"

#include <string>
#include <string_view>

namespace quillet::test {

inline RecipientRecord recipient(std::string_view email, std::string_view group, std::string_view name = {},
                                 bool enabled = true)
{
    RecipientRecord r;
    r.EMail.set(email);
    r.Name.set(name);
    r.Group.set(group);
    r.Enabled = enabled ? 1 : 0;
    return r;
}

inline std::string emailAt(const Project& project, std::size_t index)
{
    return project.recipients.at(index).EMail.str();
}

} // namespace quillet::test
