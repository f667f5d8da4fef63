// quillet runs list [--json]: the runs kept in the journal folder, newest first: ID, start
// time, route, project and counts, one run a line (tab-separated), or a JSON array.
#include "Command.h"
#include "RunReport.h"
#include "Terminal.h"

#include "mailing/MailingRun.h"

namespace quillet::cli {

class RunsListCommand : public Command {
public:
    RunsListCommand() : Command("runs list", "List the recent mailing runs") {}

    void defineOptions(QCommandLineParser& parser) override { parser.addOption({"json", "Print a JSON array."}); }

    int execute(const QCommandLineParser& parser) override
    {
        positional(parser, 0, 0);
        const bool json = parser.isSet("json");
        std::string out = json ? "[" : "";
        bool first = true;
        for (const std::string& id : ListRunIds()) {
            RunRecord run;
            try {
                run = ReadRunJournal(id);
            } catch (const EMailingError& error) {
                // One damaged file does not hide the others.
                printErr(std::string(error.what()) + "\n");
                continue;
            }
            if (json) {
                out += (first ? "" : ",\n") + runJson(run, false);
            } else {
                const RunDescription& d = run.description;
                out += d.id + "\t" + d.started + "\t" + d.route + "\t" + d.projectPath + "\t" +
                       CountsText(run.Counts()) + "\n";
            }
            first = false;
        }
        if (json)
            out += "]\n";
        // JSON is UTF-8 already; the lines are code-page text.
        if (json)
            std::fwrite(out.data(), 1, out.size(), stdout);
        else
            printOut(out);
        return 0;
    }
};

QUILLET_REGISTER_COMMAND(RunsListCommand);

} // namespace quillet::cli
