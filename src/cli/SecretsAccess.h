// What the commands that use passwords share: the password service of the command line (the
// system keyring, and a prompt without echo when standard input is a terminal) and the list of
// the passwords a project and the settings keep.
#pragma once

#include "project/PasswordService.h"
#include "project/Project.h"
#include "mailing/MailingRun.h"
#include "project/settings/SettingsStore.h"

#include <memory>
#include <string>
#include <vector>

namespace quillet::cli {

// One stored password: what it is called on the terminal, its keyring key and its field.
struct StoredPassword {
    std::string name;
    SecretKey key;
    std::string field;
    // Index into the project's accounts; -1: the settings' default server.
    int account = -1;
};

// The default server's password (when a server is set) and every account's, in that order.
std::vector<StoredPassword> storedPasswords(const Project& project, const ServerSettings& server);

// The system keyring of the session.
std::unique_ptr<Keyring> systemKeyring();
// The password service over that keyring, prompting on the terminal when there is one.
PasswordService commandLinePasswords(Keyring& keyring);

// The passwords of a run whose --password, --password-file, QUILLET_PASSWORD or prompt gave
// none: the default server's from its settings field or, where the settings chose it, the
// keyring; and each account's with an empty field from the keyring when the project's passwords
// are kept there. A chosen keyring that cannot give one fails with the reason and the
// alternatives.
void resolveKeyringPasswords(Project& project, DefaultServerSettings& server, bool serverPasswordGiven);

// The project file's absolute path, as the settings remember its keyring choice.
QString projectKey(const Project& project);

} // namespace quillet::cli
