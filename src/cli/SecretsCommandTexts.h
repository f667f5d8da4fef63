// The texts the signing and secrets commands of the command line show.
#pragma once

namespace quillet::cli::texts {

inline constexpr const char* kBadDkimAlgorithm = "--algorithm takes rsa-sha256 or ed25519-sha256, got \"%1\"";
inline constexpr const char* kBadDkimAlgorithmOption =
    "--dkim-algorithm takes rsa-sha256 or ed25519-sha256, got \"%1\"";
inline constexpr const char* kDkimSelectorRequired = "--dkim-selector is required to sign with a key";
inline constexpr const char* kDkimKeyOtherKind = "The signing key \"%1\" is not a key for %2";
inline constexpr const char* kDkimKeyWritten = "Key written to %1; publish this TXT record:";
inline constexpr const char* kDkimRecordMatches = "The published record matches the key.";
inline constexpr const char* kDkimRecordOtherKey = "The published record holds another key than %1.";
inline constexpr const char* kDkimRecordOtherType = "The published record is for another kind of key than %1.";
inline constexpr const char* kDkimRecordRevoked = "The published record has an empty key: signatures are refused.";
inline constexpr const char* kDkimNotARecord = "The text is not a DKIM key record (v=DKIM1; ...; p=...).";

inline constexpr const char* kBadSecretsTarget = "--to takes keyring or file, got \"%1\"";
inline constexpr const char* kKeyringChoiceLine = "Keep passwords in the system keyring: project %1, settings %2";
inline constexpr const char* kSecretsMovedToKeyring = "%1 password(s) moved to the system keyring";
inline constexpr const char* kSecretsMovedToFile = "%1 password(s) moved to the file and the settings";
inline constexpr const char* kSecretsNotMoved =
    "The passwords stay where they were: %1. Keep them in the file, or give them on use with --password-file "
    "or QUILLET_PASSWORD.";
inline constexpr const char* kKeyringCopiesKept = "Note: the copies in the system keyring were not removed: %1";
inline constexpr const char* kSecretNotInKeyring = "Note: the system keyring holds no password for %1 (%2)";

} // namespace quillet::cli::texts
