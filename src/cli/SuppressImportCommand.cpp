// quillet suppress import CSVFILE [--reason R]: adds the CSV file's entries to the suppression
// list in one transaction (a record without a reason gets R, "manual" by default).
#include "Command.h"
#include "SuppressionAccess.h"

#include "feedback/FeedbackTexts.h"
#include "feedback/SuppressionCsv.h"
#include "project/WholeFile.h"

#include <cstdio>

namespace quillet::cli {

class SuppressImportCommand : public Command {
public:
    SuppressImportCommand() : Command("suppress import", "Add the entries of a CSV file to the suppression list") {}

    void defineOptions(QCommandLineParser& parser) override
    {
        parser.addPositionalArgument("CSVFILE", "A CSV file with an \"email\" column.");
        parser.addOption({"reason", "The reason of records that give none (manual by default).", "REASON"});
    }

    int execute(const QCommandLineParser& parser) override
    {
        const QString path = positional(parser, 1, 1).constFirst();
        const std::string reason = reasonOption(parser, std::string(kReasonManual));
        const std::vector<SuppressionEntry> entries = ParseSuppressionCsv(readWholeFile(path.toStdString()), reason);
        const std::size_t added = openSuppressionList().AddAll(entries);
        std::printf("Added %zu, updated %zu.\n", added, entries.size() - added);
        return 0;
    }
};

QUILLET_REGISTER_COMMAND(SuppressImportCommand);

} // namespace quillet::cli
