// quillet secrets move PROJECT --to keyring|file: moves the passwords of the project's accounts
// and of the settings' default server into the system keyring (their fields are emptied, and
// the keyring is chosen for both) or back into the fields (the keyring's copies are removed once
// the file and the settings are written, and the choice is undone).
#include "Command.h"
#include "ProjectCommandTexts.h"
#include "ProjectFileAccess.h"
#include "SecretsAccess.h"
#include "SecretsCommandTexts.h"
#include "Terminal.h"

#include <stdexcept>

namespace quillet::cli {

class SecretsMoveCommand : public Command {
public:
    SecretsMoveCommand() : Command("secrets move", "Move the passwords to the system keyring or back") {}

    void defineOptions(QCommandLineParser& parser) override
    {
        parser.addPositionalArgument("PROJECT", "The project file.");
        parser.addOption({"to", "keyring or file.", "WHERE"});
    }

    int execute(const QCommandLineParser& parser) override
    {
        const QStringList args = positional(parser, 1, 1);
        requireOptions(parser, {"to"});
        const QString target = parser.value("to");
        if (target != "keyring" && target != "file")
            throw UsageError(texts::fill(texts::kBadSecretsTarget, target.toStdString()));
        Project project = openProjectFile(args.at(0));
        SettingsStore settings;
        ServerSettings server = settings.readServer();
        const std::unique_ptr<Keyring> keyring = systemKeyring();
        const std::vector<StoredPassword> passwords = storedPasswords(project, server);

        std::size_t moved = 0;
        std::vector<SecretKey> toRemove;
        try {
            for (const StoredPassword& stored : passwords) {
                std::string value = stored.field;
                if (target == "keyring") {
                    if (value.empty())
                        continue;
                    keyring->Store(stored.key, value);
                    value.clear();
                } else {
                    if (!value.empty())
                        continue;
                    std::optional<std::string> found = keyring->Find(stored.key);
                    if (!found) {
                        if (!stored.key.user.empty())
                            printErr(texts::fill(texts::kSecretNotInKeyring, DescribeSecret(stored.key), stored.name) +
                                     "\n");
                        continue;
                    }
                    value = std::move(*found);
                    toRemove.push_back(stored.key);
                }
                if (stored.account < 0)
                    server.password = fromCodePage(value);
                else
                    project.accounts[static_cast<std::size_t>(stored.account)].password = value;
                ++moved;
            }
        } catch (const KeyringUnavailable& error) {
            throw std::runtime_error(texts::fill(texts::kSecretsNotMoved, error.what()));
        }

        // The file first, then the settings: a failure leaves every password readable somewhere.
        const bool toKeyring = target == "keyring";
        saveOpenProject(project);
        settings.writeServer(server);
        settings.writeKeyringChoice(toKeyring);
        settings.setProjectInKeyring(projectKey(project), toKeyring);
        settings.sync();
        for (const SecretKey& key : toRemove) {
            try {
                keyring->Remove(key);
            } catch (const KeyringUnavailable& error) {
                // The passwords are in the file now; only the keyring's copies stay behind.
                printErr(texts::fill(texts::kKeyringCopiesKept, error.what()) + "\n");
                break;
            }
        }
        printOut(
            texts::fill(toKeyring ? texts::kSecretsMovedToKeyring : texts::kSecretsMovedToFile, std::to_string(moved)) +
            "\n");
        return 0;
    }
};

QUILLET_REGISTER_COMMAND(SecretsMoveCommand);

} // namespace quillet::cli
