// quillet settings set KEY VALUE: changes one of the default mail server settings (Server,
// Port, From, UserName, Password; the key in any letter case).
#include "Command.h"
#include "MailingCommandTexts.h"

#include "project/settings/SettingsStore.h"

namespace quillet::cli {

class SettingsSetCommand : public Command {
public:
    SettingsSetCommand() : Command("settings set", "Change a default mail server setting") {}

    void defineOptions(QCommandLineParser& parser) override
    {
        parser.addPositionalArgument("KEY", "Server, Port, From, UserName or Password.");
        parser.addPositionalArgument("VALUE", "The new text.");
    }

    int execute(const QCommandLineParser& parser) override
    {
        const QStringList args = positional(parser, 2, 2);
        const QString key = args.at(0).toLower();
        const QString& value = args.at(1);
        SettingsStore store;
        ServerSettings server = store.readServer();
        if (key == "server")
            server.server = value;
        else if (key == "port")
            server.port = value;
        else if (key == "from")
            server.from = value;
        else if (key == "username")
            server.userName = value;
        else if (key == "password")
            server.password = value;
        else
            throw UsageError(texts::kUnknownSettingsKey);
        store.writeServer(server);
        store.sync();
        return 0;
    }
};

QUILLET_REGISTER_COMMAND(SettingsSetCommand);

} // namespace quillet::cli
