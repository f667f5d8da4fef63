// quillet suppress export --output FILE: writes the whole suppression list as CSV.
#include "Command.h"
#include "SuppressionAccess.h"

#include "feedback/SuppressionCsv.h"
#include "project/WholeFile.h"

namespace quillet::cli {

class SuppressExportCommand : public Command {
public:
    SuppressExportCommand() : Command("suppress export", "Write the suppression list to a CSV file") {}

    void defineOptions(QCommandLineParser& parser) override
    {
        parser.addOption({"output", "The CSV file to write.", "FILE"});
    }

    int execute(const QCommandLineParser& parser) override
    {
        positional(parser, 0, 0);
        requireOptions(parser, {"output"});
        replaceWholeFile(parser.value("output").toStdString(), SuppressionCsv(openSuppressionList().List()));
        return 0;
    }
};

QUILLET_REGISTER_COMMAND(SuppressExportCommand);

} // namespace quillet::cli
