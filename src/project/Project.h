// The one open project in memory: path, properties, groups, recipient records, accounts and
// the changed flag. The desktop program's main window owns one; the command line loads one.
#pragma once

#include "ProjectRecords.h"
#include "RecipientList.h"

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace quillet {

class Project {
public:
    // Full path of the project file (at most 255 bytes); empty when the project has no file yet.
    std::string path;
    ProjectProperties properties;
    // Groups in creation/file order; never sorted.
    std::vector<GroupEntry> groups;
    // All recipients of all groups in file order, new records appended. A record's position
    // here is its record index.
    RecipientList recipients;
    std::vector<SmtpAccount> accounts;

    // The changed flag: the project has unsaved changes. The desktop program binds the
    // enabled state of its "Save project" action to it through the observer.
    bool changed() const { return changed_; }
    void setChanged(bool value = true)
    {
        if (changed_ == value)
            return;
        changed_ = value;
        if (onChangedFlag)
            onChangedFlag(value);
    }
    std::function<void(bool)> onChangedFlag;

    // Empties groups, recipients and accounts and clears the changed flag; path and properties
    // stay (the path doubles as the last used project).
    void clearContents()
    {
        groups.clear();
        recipients.clear();
        recipients.shrink_to_fit();
        accounts.clear();
        setChanged(false);
    }

private:
    bool changed_ = false;
};

} // namespace quillet
