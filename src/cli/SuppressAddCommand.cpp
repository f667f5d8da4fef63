// quillet suppress add ADDRESS... [--reason R] [--note TEXT]: adds addresses to the suppression
// list (reason "manual" unless given); an address already there keeps its first date.
#include "Command.h"
#include "SuppressionAccess.h"

#include "feedback/FeedbackTexts.h"

#include <cstdio>

namespace quillet::cli {

class SuppressAddCommand : public Command {
public:
    SuppressAddCommand() : Command("suppress add", "Add addresses to the suppression list") {}

    void defineOptions(QCommandLineParser& parser) override
    {
        parser.addPositionalArgument("ADDRESS", "The addresses never to be mailed again.", "ADDRESS...");
        parser.addOption({"reason", "unsubscribed, bounced, complained or manual (the default).", "REASON"});
        parser.addOption({"note", "The detail kept with the entries.", "TEXT"});
    }

    int execute(const QCommandLineParser& parser) override
    {
        const QStringList addresses = positional(parser, 1, 100000);
        const std::string reason = reasonOption(parser, std::string(kReasonManual));
        std::vector<SuppressionEntry> entries;
        for (const QString& address : addresses)
            entries.push_back({address.trimmed().toStdString(), reason, "", "", std::string(kSourceByHand),
                               parser.value("note").toStdString()});
        const std::size_t added = openSuppressionList().AddAll(entries);
        std::printf("Added %zu, updated %zu.\n", added, entries.size() - added);
        return 0;
    }
};

QUILLET_REGISTER_COMMAND(SuppressAddCommand);

} // namespace quillet::cli
