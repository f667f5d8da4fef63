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

// Passwords. Placeholders: what the password is for ("user@host:port"), then the reason.
inline constexpr const char* kCannotReadPasswordFile = "Cannot read the password file \"%s\": %s";
inline constexpr const char* kPasswordPrompt = "Password for %s: ";
inline constexpr const char* kPasswordNotFound =
    "No password for %s: %s. Give it with --password-file or QUILLET_PASSWORD, unlock the system keyring, "
    "or keep it in the file (quillet secrets move PROJECT --to file).";
inline constexpr const char* kKeyringHoldsNone = "the system keyring holds none for %s";
inline constexpr const char* kNoKeyring = "this program was built without the system keyring";
inline constexpr const char* kKeyringNotRunning = "the system keyring is not available (%s)";
inline constexpr const char* kKeyringLocked = "the system keyring is locked";
inline constexpr const char* kKeyringNoAnswer = "the system keyring did not answer within %s seconds";

} // namespace quillet::messages
