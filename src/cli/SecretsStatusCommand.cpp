// quillet secrets status PROJECT: where each password of the project and of the settings is
// kept (file, keyring or none), one "NAME USER@HOST:PORT: PLACE" line each; never a secret.
#include "Command.h"
#include "ProjectCommandTexts.h"
#include "ProjectFileAccess.h"
#include "SecretsAccess.h"
#include "SecretsCommandTexts.h"
#include "Terminal.h"

namespace quillet::cli {

class SecretsStatusCommand : public Command {
public:
    SecretsStatusCommand() : Command("secrets status", "Show where the passwords are kept") {}

    void defineOptions(QCommandLineParser& parser) override
    {
        parser.addPositionalArgument("PROJECT", "The project file.");
    }

    int execute(const QCommandLineParser& parser) override
    {
        const Project project = openProjectFile(positional(parser, 1, 1).at(0));
        SettingsStore settings;
        const std::unique_ptr<Keyring> keyring = systemKeyring();
        const PasswordService passwords = commandLinePasswords(*keyring);
        const auto yesNo = [](bool yes) { return yes ? "yes" : "no"; };
        printOut(texts::fill(texts::kKeyringChoiceLine, yesNo(settings.projectInKeyring(projectKey(project))),
                             yesNo(settings.readKeyringChoice())) +
                 "\n");
        for (const StoredPassword& stored : storedPasswords(project, settings.readServer()))
            printOut(stored.name + " " + DescribeSecret(stored.key) + ": " +
                     passwords.Whereabouts(stored.key, stored.field) + "\n");
        return 0;
    }
};

QUILLET_REGISTER_COMMAND(SecretsStatusCommand);

} // namespace quillet::cli
