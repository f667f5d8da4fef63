// The texts the project commands of the command line show.
#pragma once

#include <string>
#include <string_view>

namespace quillet::cli::texts {

inline constexpr const char* kGroupExists = "Group with \"%1\" name already exist.";
inline constexpr const char* kFileExists = "File \"%1\" already exists";
inline constexpr const char* kTooManyParams = "at most four --param options are allowed";
inline constexpr const char* kParamWithoutValue = "--param needs NAME=VALUE, got \"%1\"";
inline constexpr const char* kHiddenPassword = "***";

inline constexpr const char* kBadDuplicateRule = "--duplicates takes skip, update or keep, got \"%1\"";
inline constexpr const char* kBadSeparator = "--separator takes one character or \"tab\", got \"%1\"";
inline constexpr const char* kDryRunNote = "Dry run: the project was not changed";
inline constexpr const char* kStrictRefusal = "Nothing was imported: the file has invalid rows (--strict)";
inline constexpr const char* kNothingImported = "Nothing could be imported";
inline constexpr const char* kNoFreeParameter = "The recipient has no free parameter for \"%1\"";
inline constexpr const char* kOneOf = "give only one of %1";
inline std::string recipientNotInGroup(const std::string& email, const std::string& group)
{
    return "Recipient \"" + email + "\" is not in group \"" + group + "\"";
}
inline std::string duplicateRecipient(const std::string& email, const std::string& group)
{
    return "Note: \"" + email + "\" is already a recipient of group \"" + group + "\"";
}

// The text with "%1" replaced by `value`.
inline std::string fill(std::string_view format, std::string_view value)
{
    std::string text(format);
    if (const std::size_t at = text.find("%1"); at != std::string::npos)
        text.replace(at, 2, value);
    return text;
}

// The text with "%1" and "%2" replaced.
inline std::string fill(std::string_view format, std::string_view first, std::string_view second)
{
    std::string text = fill(format, first);
    if (const std::size_t at = text.find("%2"); at != std::string::npos)
        text.replace(at, 2, second);
    return text;
}

} // namespace quillet::cli::texts
