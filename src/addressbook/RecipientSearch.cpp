#include "RecipientSearch.h"

#include "TextCase.h"

namespace quillet {

RecipientMatcher::RecipientMatcher(std::string_view text, SearchOptions options) : options_(options)
{
    if (options.caseSensitive)
        text_ = std::string(options.exact ? text : text.substr(0, kMaxShortStringLength));
    else
        text_ = upperCased(text);
}

bool RecipientMatcher::fieldMatches(std::string_view field) const
{
    if (options_.caseSensitive) {
        if (options_.exact)
            return field == text_;
        return !text_.empty() && field.find(text_) != std::string_view::npos;
    }
    if (options_.exact)
        return upperCased(field) == text_;
    if (text_.empty())
        return false;
    return upperCased(field).find(text_) != std::string::npos;
}

bool RecipientMatcher::matches(const RecipientRecord& record) const
{
    if (fieldMatches(record.EMail.view()) || fieldMatches(record.Name.view()) || fieldMatches(record.Surname.view()))
        return true;
    for (int i = 0; i < 4; ++i)
        if (fieldMatches(record.paramName(i).view()))
            return true;
    for (int i = 0; i < 4; ++i)
        if (fieldMatches(record.paramValue(i).view()))
            return true;
    return false;
}

std::optional<std::size_t> findRecipient(const Project& project, std::size_t from, std::string_view text,
                                         SearchOptions options, const std::string* group)
{
    const RecipientMatcher matcher(text, options);
    for (std::size_t i = from; i < project.recipients.size(); ++i) {
        const RecipientRecord& record = project.recipients[i];
        if (group && record.Group.view() != *group)
            continue;
        if (matcher.matches(record))
            return i;
    }
    return std::nullopt;
}

} // namespace quillet
