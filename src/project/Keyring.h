// The system keyring as the password service sees it: secrets stored and found by what they
// are for (purpose, host, port, user name), never by a name the user types. The desktop
// keyring (Secret Service) is one implementation; tests and machines without one use another
// or none.
#pragma once

#include <optional>
#include <stdexcept>
#include <string>

namespace quillet {

// What a secret is for: the purposes the program keeps secrets for.
namespace secret_purpose {
inline constexpr const char* kSmtp = "smtp";               // a mail server's password
inline constexpr const char* kMailbox = "imap";            // the mailbox the bounce scan reads
inline constexpr const char* kUnsubscribe = "unsubscribe"; // the one-click unsubscribe secret
inline constexpr const char* kDkim = "dkim";               // a signing key's passphrase
} // namespace secret_purpose

struct SecretKey {
    std::string purpose;
    std::string host;
    std::string port;
    std::string user;
};

// The keyring cannot be used now (no Secret Service, a locked keyring the user did not unlock,
// no answer in time); what() says why.
class KeyringUnavailable : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class Keyring {
public:
    virtual ~Keyring() = default;
    // The secret stored for the key; nothing when there is none. Raises KeyringUnavailable.
    virtual std::optional<std::string> Find(const SecretKey& key) = 0;
    // Stores the secret for the key, replacing one stored before. Raises KeyringUnavailable.
    virtual void Store(const SecretKey& key, const std::string& secret) = 0;
    // Removes the key's secret; false when there was none. Raises KeyringUnavailable.
    virtual bool Remove(const SecretKey& key) = 0;
};

} // namespace quillet
