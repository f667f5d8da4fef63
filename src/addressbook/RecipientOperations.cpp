#include "RecipientOperations.h"

namespace quillet {

std::size_t appendRecipient(Project& project, RecipientRecord record, std::string_view group)
{
    record.Enabled = record.enabled() ? 1 : 0;
    record.Group.set(group);
    project.recipients.push_back(record);
    project.setChanged();
    return project.recipients.size() - 1;
}

void updateRecipient(Project& project, std::size_t index, const RecipientRecord& edited)
{
    RecipientRecord& record = project.recipients.at(index);
    const ShortString255 group = record.Group;
    record = edited;
    record.Enabled = edited.enabled() ? 1 : 0;
    record.Group = group;
    project.setChanged();
}

void toggleEnabled(Project& project, const std::vector<std::size_t>& records)
{
    for (std::size_t index : records) {
        RecipientRecord& record = project.recipients.at(index);
        record.Enabled = record.enabled() ? 0 : 1;
    }
    project.setChanged();
}

void appendHarvested(Project& project, const std::vector<std::string>& addresses, std::string_view group)
{
    project.recipients.reserve(project.recipients.size() + addresses.size());
    for (const std::string& address : addresses) {
        RecipientRecord record;
        record.EMail.set(address);
        record.Enabled = 1;
        record.Group.set(group);
        project.recipients.push_back(record);
    }
    project.setChanged();
}

} // namespace quillet
