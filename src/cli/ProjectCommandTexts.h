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

// The text with "%1" replaced by `value`.
inline std::string fill(std::string_view format, std::string_view value)
{
    std::string text(format);
    if (const std::size_t at = text.find("%1"); at != std::string::npos)
        text.replace(at, 2, value);
    return text;
}

} // namespace quillet::cli::texts
