// quillet settings show: the default mail server settings, one "Key: value" line each; the
// password shows as *** when one is set.
#include "Command.h"
#include "ProjectCommandTexts.h"
#include "Terminal.h"

#include "project/settings/SettingsStore.h"

#include <cstdio>

namespace quillet::cli {

class SettingsShowCommand : public Command {
public:
    SettingsShowCommand() : Command("settings show", "Show the default mail server settings") {}

    void defineOptions(QCommandLineParser&) override {}

    int execute(const QCommandLineParser& parser) override
    {
        positional(parser, 0, 0);
        const ServerSettings server = SettingsStore().readServer();
        const QString text = "Server: " + server.server + "\nPort: " + server.port + "\nFrom: " + server.from +
                             "\nUserName: " + server.userName + "\nPassword: " +
                             (server.password.isEmpty() ? QString() : QString(texts::kHiddenPassword)) + "\n";
        const QByteArray utf8 = text.toUtf8();
        std::fwrite(utf8.constData(), 1, std::size_t(utf8.size()), stdout);
        return 0;
    }
};

QUILLET_REGISTER_COMMAND(SettingsShowCommand);

} // namespace quillet::cli
