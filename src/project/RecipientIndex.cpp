#include "RecipientIndex.h"

#include <algorithm>

namespace quillet {

namespace {

std::vector<std::size_t> sortedUnique(std::vector<std::size_t> indices)
{
    std::sort(indices.begin(), indices.end());
    indices.erase(std::unique(indices.begin(), indices.end()), indices.end());
    return indices;
}

} // namespace

std::vector<std::size_t> recipientsOfGroup(const Project& project, std::string_view groupName)
{
    std::vector<std::size_t> indices;
    for (std::size_t i = 0; i < project.recipients.size(); ++i)
        if (project.recipients[i].Group.view() == groupName)
            indices.push_back(i);
    return indices;
}

void lowerIndicesAfterDelete(std::vector<std::size_t>& rowIndices, const std::vector<std::size_t>& removedIndices)
{
    const std::vector<std::size_t> removed = sortedUnique(removedIndices);
    for (std::size_t& index : rowIndices) {
        const auto before = std::lower_bound(removed.begin(), removed.end(), index) - removed.begin();
        index -= static_cast<std::size_t>(before);
    }
}

std::size_t removeRecipients(Project& project, const std::vector<std::size_t>& indices)
{
    const std::vector<std::size_t> removed = sortedUnique(indices);
    auto& records = project.recipients;
    std::size_t write = 0;
    std::size_t next = 0; // position in `removed`
    for (std::size_t read = 0; read < records.size(); ++read) {
        while (next < removed.size() && removed[next] < read)
            ++next;
        if (next < removed.size() && removed[next] == read)
            continue;
        if (write != read)
            records[write] = records[read];
        ++write;
    }
    const std::size_t count = records.size() - write;
    records.resize(write);
    if (count > 0)
        project.setChanged(true);
    return count;
}

std::size_t removeRecipientsOfGroup(Project& project, std::string_view groupName)
{
    return removeRecipients(project, recipientsOfGroup(project, groupName));
}

} // namespace quillet
