// The system keyring through the Secret Service (libsecret): the keyring of the desktop session
// (GNOME Keyring, KWallet and others that speak the protocol). Secrets are items of the schema
// "org.orv.quillet.Password" with the attributes purpose, host, port and user, stored in the
// default collection under a label that says what they are for.
//
// Every call waits at most kKeyringWaitSeconds: a session without a Secret Service, a keyring
// that asks to be unlocked and is never answered, or a service that hangs all end as
// KeyringUnavailable with the reason.
#pragma once

#include "project/Keyring.h"

namespace quillet {

// Long enough for a person to type the keyring's password at an unlock prompt, short enough
// that a run on a machine whose keyring never answers is told so within a minute.
inline constexpr int kKeyringWaitSeconds = 45;

class SecretServiceKeyring : public Keyring {
public:
    std::optional<std::string> Find(const SecretKey& key) override;
    void Store(const SecretKey& key, const std::string& secret) override;
    bool Remove(const SecretKey& key) override;
};

} // namespace quillet
