#include "GroupOperations.h"

#include "AddressBookTexts.h"
#include "project/RecipientIndex.h"

#include <string>

namespace quillet {

namespace {

std::string stored(std::string_view text)
{
    return std::string(text.substr(0, kMaxShortStringLength));
}

} // namespace

std::optional<std::size_t> findGroup(const Project& project, std::string_view name)
{
    for (std::size_t i = 0; i < project.groups.size(); ++i)
        if (project.groups[i].name == name)
            return i;
    return std::nullopt;
}

void addGroup(Project& project, std::string_view name, std::string_view description)
{
    const std::string newName = stored(name);
    if (findGroup(project, newName))
        throw AddressBookError(texts::duplicateGroupName(name));
    project.groups.push_back({newName, stored(description)});
    project.setChanged();
}

void editGroup(Project& project, std::size_t group, std::string_view name, std::string_view description)
{
    const std::string newName = stored(name);
    for (std::size_t i = 0; i < project.groups.size(); ++i)
        if (i != group && project.groups[i].name == newName)
            throw AddressBookError(texts::cannotRenameGroup(name));
    GroupEntry& entry = project.groups.at(group);
    const std::string oldName = entry.name;
    for (RecipientRecord& record : project.recipients)
        if (record.Group.view() == oldName)
            record.Group.set(newName);
    entry.name = newName;
    entry.description = stored(description);
    project.setChanged();
}

void deleteGroup(Project& project, std::size_t group)
{
    const std::string name = project.groups.at(group).name;
    removeRecipientsOfGroup(project, name);
    project.groups.erase(project.groups.begin() + static_cast<std::ptrdiff_t>(group));
    project.setChanged();
}

void moveRecipients(Project& project, const std::vector<std::size_t>& records, std::string_view targetGroup)
{
    for (std::size_t index : records)
        project.recipients.at(index).Group.set(targetGroup);
    project.setChanged();
}

void copyRecipients(Project& project, const std::vector<std::size_t>& records, std::string_view sourceGroup,
                    std::string_view targetGroup)
{
    project.recipients.reserve(project.recipients.size() + records.size());
    for (std::size_t index : records) {
        RecipientRecord copy = project.recipients.at(index);
        copy.Group.set(sourceGroup);
        project.recipients.push_back(copy);
        project.recipients[index].Group.set(targetGroup);
    }
    project.setChanged();
}

} // namespace quillet
