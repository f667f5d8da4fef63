// quillet suppress remove ADDRESS...: takes addresses off the suppression list (with their soft
// bounces); an address that is not there is named on standard error and ends with status 1.
#include "Command.h"
#include "SuppressionAccess.h"

#include <cstdio>

namespace quillet::cli {

class SuppressRemoveCommand : public Command {
public:
    SuppressRemoveCommand() : Command("suppress remove", "Remove addresses from the suppression list") {}

    void defineOptions(QCommandLineParser& parser) override
    {
        parser.addPositionalArgument("ADDRESS", "The addresses to mail again.", "ADDRESS...");
    }

    int execute(const QCommandLineParser& parser) override
    {
        const QStringList addresses = positional(parser, 1, 100000);
        SuppressionStore store = openSuppressionList();
        int status = 0;
        for (const QString& address : addresses) {
            if (!store.Remove(address.trimmed().toStdString())) {
                std::fprintf(stderr, "Not in the suppression list: %s\n", address.toUtf8().constData());
                status = 1;
            }
        }
        return status;
    }
};

QUILLET_REGISTER_COMMAND(SuppressRemoveCommand);

} // namespace quillet::cli
