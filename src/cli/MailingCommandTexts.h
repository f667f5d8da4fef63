// The texts the template, settings and send commands of the command line show.
#pragma once

namespace quillet::cli::texts {

inline constexpr const char* kNoSuchTemplate = "Template \"%1\" does not exist";
inline constexpr const char* kUnknownSettingsKey = "KEY must be one of Server, Port, From, UserName, Password";
inline constexpr const char* kNoRecipientInGroup = "No recipient \"%1\" in the group";
inline constexpr const char* kBadRoute = "--route takes default, rotating or builtin";
inline constexpr const char* kCaptureNeedsBuiltin = "--capture needs --route builtin";
inline constexpr const char* kGroupRequired = "--group is required";
inline constexpr const char* kProgress = "%1 sent";

} // namespace quillet::cli::texts
