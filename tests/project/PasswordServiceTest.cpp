// Where a password comes from: the first place that has it, the keyring only where chosen, and
// a clear failure (never an empty password) when the chosen keyring cannot give it.
#include "project/PasswordService.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>

using namespace quillet;

namespace {

class MapKeyring : public Keyring {
public:
    std::optional<std::string> Find(const SecretKey& key) override
    {
        if (unavailable)
            throw KeyringUnavailable("the system keyring is locked");
        const auto found = secrets.find(key.host);
        return found == secrets.end() ? std::nullopt : std::optional<std::string>(found->second);
    }
    void Store(const SecretKey& key, const std::string& secret) override { secrets[key.host] = secret; }
    bool Remove(const SecretKey& key) override { return secrets.erase(key.host) > 0; }

    std::map<std::string, std::string> secrets;
    bool unavailable = false;
};

} // namespace

TEST(PasswordServiceTest, FirstPlaceFoundWinsAndAChosenKeyringNeverGivesAnEmptyPassword)
{
    ::unsetenv(kPasswordEnvironmentVariable);
    MapKeyring keyring;
    keyring.secrets["mail.example.org"] = "from-keyring";
    const PasswordService service(&keyring, nullptr);
    PasswordRequest request{MailServerSecret("mail.example.org", "", "u"), {}, {}, true, {}, false};

    EXPECT_EQ(service.Find(request).origin, PasswordOrigin::None); // not chosen: empty as stored
    request.keyringChosen = true;
    EXPECT_EQ(service.Find(request).value, "from-keyring");
    request.field = "from-field";
    EXPECT_EQ(service.Find(request).origin, PasswordOrigin::Field);
    ::setenv(kPasswordEnvironmentVariable, "from-environment", 1);
    EXPECT_EQ(service.Find(request).value, "from-environment");
    request.given = "given";
    EXPECT_EQ(service.Find(request).value, "given");
    ::unsetenv(kPasswordEnvironmentVariable);

    request = PasswordRequest{MailServerSecret("mail.example.org", "587", "u"), {}, {}, true, {}, true};
    keyring.unavailable = true;
    try {
        service.Find(request);
        ADD_FAILURE() << "no error";
    } catch (const PasswordUnavailable& error) {
        EXPECT_STREQ(error.what(), "No password for u@mail.example.org:587: the system keyring is locked. Give it "
                                   "with --password-file or QUILLET_PASSWORD, unlock the system keyring, or keep it "
                                   "in the file (quillet secrets move PROJECT --to file).");
    }
    const PasswordService prompting(&keyring, [](const std::string& prompt) {
        EXPECT_EQ(prompt, "Password for u@mail.example.org:587: ");
        return std::optional<std::string>("typed");
    });
    EXPECT_EQ(prompting.Find(request).origin, PasswordOrigin::Prompt);
}
