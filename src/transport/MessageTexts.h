// The fixed texts of message composition and addresses: error messages the user sees and the
// constant strings written into every message.
#pragma once

#include <string>
#include <string_view>

namespace quillet {

inline constexpr const char* kOutsideAddressText = "@ Outside address";
// First placeholder: the file's path; second: the system's reason.
inline constexpr const char* kCannotOpenFileFormat = "Cannot open file \"%s\". %s";
// First placeholder: the file's path; second: the system's reason.
inline constexpr const char* kCannotReadFileFormat = "Cannot read file \"%s\". %s";
inline constexpr const char* kTimeZoneFailureText = "Failed attempting to retrieve time zone information.";

inline constexpr const char* kMessageBoundary = "=_NextPart_Quillet_7f3a9c2e5b1d40";
inline constexpr const char* kMultipartPreamble = "This is a multi-part message in MIME format";
inline constexpr const char* kLibraryName = "Orv Quillet Mail 1.0";

// A two-placeholder text with both "%s" filled in (the values are not scanned for "%s").
inline std::string FormatText(std::string_view format, std::string_view first, std::string_view second)
{
    std::string text;
    text.reserve(format.size() + first.size() + second.size());
    const std::size_t a = format.find("%s");
    const std::size_t b = format.find("%s", a + 2);
    text.append(format.substr(0, a));
    text.append(first);
    text.append(format.substr(a + 2, b - a - 2));
    text.append(second);
    text.append(format.substr(b + 2));
    return text;
}

} // namespace quillet
