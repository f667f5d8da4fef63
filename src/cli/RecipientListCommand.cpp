// quillet recipient list PROJECT [--group G] [--json|--csv]: the recipients in the recipient
// list's order (sorted by e-mail), group after group in the project's group order; recipients
// of no existing group come last, in record order. One tab-separated line each, a JSON array of
// the objects `project show --json` prints, or CSV as export-csv writes it (without the mark).
#include "Command.h"
#include "JsonWriter.h"
#include "ProjectCommandTexts.h"
#include "ProjectFileAccess.h"
#include "RecipientOutput.h"
#include "Terminal.h"

#include "addressbook/CsvExport.h"
#include "addressbook/GroupOperations.h"
#include "addressbook/RecipientRows.h"

#include <cstdio>
#include <set>

namespace quillet::cli {

namespace {

std::vector<std::size_t> listOrder(const Project& project, const std::string* group)
{
    if (group)
        return sortedRecipientRows(project, *group);
    std::vector<std::size_t> records;
    std::set<std::string> listed; // a second group of the same name lists nothing more
    for (const GroupEntry& entry : project.groups) {
        if (!listed.insert(entry.name).second)
            continue;
        const std::vector<std::size_t> rows = sortedRecipientRows(project, entry.name);
        records.insert(records.end(), rows.begin(), rows.end());
    }
    for (std::size_t i = 0; i < project.recipients.size(); ++i)
        if (!listed.contains(project.recipients[i].Group.str()))
            records.push_back(i);
    return records;
}

} // namespace

class RecipientListCommand : public Command {
public:
    RecipientListCommand() : Command("recipient list", "List the recipients of a project or group") {}

    void defineOptions(QCommandLineParser& parser) override
    {
        parser.addPositionalArgument("PROJECT", "The project file.");
        parser.addOption({"group", "Only this group's recipients.", "G"});
        parser.addOption({"json", "Print a JSON array (UTF-8)."});
        parser.addOption({"csv", "Print CSV (UTF-8)."});
    }

    int execute(const QCommandLineParser& parser) override
    {
        const QString file = positional(parser, 1, 1).at(0);
        if (parser.isSet("json") && parser.isSet("csv"))
            throw UsageError(texts::fill(texts::kOneOf, "--json and --csv"));
        const Project project = openProjectFile(file);
        std::string group;
        if (parser.isSet("group")) {
            group = groupOption(parser);
            requireGroup(project, group);
        }
        const std::vector<std::size_t> records = listOrder(project, parser.isSet("group") ? &group : nullptr);

        if (parser.isSet("json")) {
            JsonWriter json;
            json.beginArray();
            for (const std::size_t i : records)
                writeRecipientJson(json, project.recipients[i]);
            json.endArray();
            const std::string text = json.text() + "\n";
            std::fwrite(text.data(), 1, text.size(), stdout);
        } else if (parser.isSet("csv")) {
            const std::string text = recipientsCsv(project, records, false);
            std::fwrite(text.data(), 1, text.size(), stdout);
        } else {
            std::string listing;
            for (const std::size_t i : records)
                listing += recipientLine(project.recipients[i]) + "\n";
            printOut(listing);
        }
        return 0;
    }
};

QUILLET_REGISTER_COMMAND(RecipientListCommand);

} // namespace quillet::cli
