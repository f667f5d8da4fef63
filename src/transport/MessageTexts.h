// The fixed texts of message composition and addresses: error messages the user sees and the
// constant strings written into every message.
#pragma once

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

} // namespace quillet
