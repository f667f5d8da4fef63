// Where a password is taken from, first found first: the value given for this use (on the
// command line), a password file (its first line), the environment variable QUILLET_PASSWORD,
// the project's or the settings' password field, the system keyring (by purpose, host, port and
// user), and last a prompt (on a terminal, or the desktop's password box).
//
// The keyring is asked only where the user chose it for that password (the settings' or the
// project's "Keep passwords in the system keyring"), so that a field left empty on purpose
// stays an empty password as it always was. Where the keyring was chosen and neither it nor a
// prompt gives the password, the lookup fails with a message naming the other places a password
// can come from: never a wait without end, never a silent empty password.
#pragma once

#include "Keyring.h"

#include <functional>
#include <optional>
#include <string>

namespace quillet {

inline constexpr const char* kPasswordEnvironmentVariable = "QUILLET_PASSWORD";

enum class PasswordOrigin { Given, File, Environment, Field, Keyring, Prompt, None };

struct PasswordRequest {
    SecretKey key;
    std::optional<std::string> given;
    std::string passwordFile;
    // QUILLET_PASSWORD applies (it names the one password of a run: the default server's).
    bool takeEnvironment = true;
    // The file or settings field as stored (empty: not kept there).
    std::string field;
    // The keyring was chosen for this password.
    bool keyringChosen = false;
};

struct FoundPassword {
    std::string value;
    PasswordOrigin origin = PasswordOrigin::None;
};

// A lone error of the lookup; what() is the text the user sees.
class PasswordUnavailable : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class PasswordService {
public:
    // Asks for a password with the prompt text; nothing when the user gave none.
    using Prompter = std::function<std::optional<std::string>(const std::string& prompt)>;

    // keyring: none when the machine has no keyring to use; prompter: none where nobody can answer.
    PasswordService(Keyring* keyring, Prompter prompter) : keyring_(keyring), prompter_(std::move(prompter)) {}

    // The password for the request. A password file that cannot be read and a chosen keyring
    // that cannot give it raise PasswordUnavailable.
    FoundPassword Find(const PasswordRequest& request) const;

    // Where the stored password of a key is: "file" when the field holds it, "keyring" when the
    // keyring does, else "none"; a keyring that cannot be asked reads "keyring unavailable".
    std::string Whereabouts(const SecretKey& key, const std::string& field) const;

private:
    Keyring* keyring_;
    Prompter prompter_;
};

// "user@host:port" (the parts there are), naming a password in messages and prompts.
std::string DescribeSecret(const SecretKey& key);

// The keyring key of a mail server's password (an empty port reads as 25, as it connects).
SecretKey MailServerSecret(const std::string& host, const std::string& port, const std::string& user);

} // namespace quillet
