// The texts the project store shows to the user, in one place. Formats take the file's path
// first and the system's reason second.
#pragma once

namespace quillet::messages {

inline constexpr const char* kNotProjectFile = "Is not are Orv Quillet file or this file broken";
inline constexpr const char* kCannotOpenFile = "Cannot open file \"%s\". %s";
inline constexpr const char* kCannotCreateFile = "Cannot create file \"%s\". %s";
inline constexpr const char* kCannotReadFile = "Cannot read file \"%s\". %s";
inline constexpr const char* kCannotWriteFile = "Cannot write file \"%s\". %s";
// A file whose data stops before its counts say it should (cut short, or counts that are absurd).
inline constexpr const char* kDamagedFile = "The file \"%s\" is damaged: it ends before the end of its data";
inline constexpr const char* kTooManyEntries = "Cannot save file \"%s\". The project has too many entries";

} // namespace quillet::messages
