// quillet suppress list [--reason R] [--json|--csv]: the suppression list's entries, one a line
// (address, reason, first seen, last seen, source, detail, tab-separated), a JSON array or CSV.
#include "Command.h"
#include "JsonWriter.h"
#include "SuppressionAccess.h"

#include "feedback/SuppressionCsv.h"

#include <cstdio>

namespace quillet::cli {

class SuppressListCommand : public Command {
public:
    SuppressListCommand() : Command("suppress list", "List the addresses never to be mailed again") {}

    void defineOptions(QCommandLineParser& parser) override
    {
        parser.addOption({"reason", "Only entries of this reason.", "REASON"});
        parser.addOption({"json", "Print a JSON array."});
        parser.addOption({"csv", "Print CSV."});
    }

    int execute(const QCommandLineParser& parser) override
    {
        positional(parser, 0, 0);
        if (parser.isSet("json") && parser.isSet("csv"))
            throw UsageError("--json and --csv exclude each other");
        const std::string reason = reasonOption(parser, "");
        const std::vector<SuppressionEntry> entries = openSuppressionList().List(reason);
        std::string out;
        if (parser.isSet("csv")) {
            out = SuppressionCsv(entries);
        } else if (parser.isSet("json")) {
            JsonWriter json;
            json.beginArray();
            for (const SuppressionEntry& e : entries)
                json.beginObject()
                    .key("email")
                    .value(e.address)
                    .key("reason")
                    .value(e.reason)
                    .key("first_seen")
                    .value(e.firstSeen)
                    .key("last_seen")
                    .value(e.lastSeen)
                    .key("source")
                    .value(e.source)
                    .key("detail")
                    .value(e.detail)
                    .endObject();
            json.endArray();
            out = json.take() + "\n";
        } else {
            for (const SuppressionEntry& e : entries)
                out += e.address + "\t" + e.reason + "\t" + e.firstSeen + "\t" + e.lastSeen + "\t" + e.source + "\t" +
                       e.detail + "\n";
        }
        // The list keeps UTF-8.
        std::fwrite(out.data(), 1, out.size(), stdout);
        return 0;
    }
};

QUILLET_REGISTER_COMMAND(SuppressListCommand);

} // namespace quillet::cli
