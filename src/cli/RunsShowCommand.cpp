// quillet runs show ID [--json]: one run's settings, counts and every recipient's status with
// the server's reply.
#include "Command.h"
#include "RunReport.h"
#include "Terminal.h"

#include <cstdio>

namespace quillet::cli {

class RunsShowCommand : public Command {
public:
    RunsShowCommand() : Command("runs show", "Show one mailing run and its recipients' outcomes") {}

    void defineOptions(QCommandLineParser& parser) override
    {
        parser.addPositionalArgument("ID", "The run's ID (see runs list).");
        parser.addOption({"json", "Print a JSON object."});
    }

    int execute(const QCommandLineParser& parser) override
    {
        const RunRecord run = ReadRunJournal(positional(parser, 1, 1).at(0).toStdString());
        if (parser.isSet("json")) {
            // A recipient recorded as sent twice got two messages: never counted as one silently.
            printErr(SentMoreThanOnceText(run));
            const std::string json = runJson(run, true) + "\n";
            std::fwrite(json.data(), 1, json.size(), stdout);
        } else {
            printOut(RunRecordText(run));
        }
        return 0;
    }
};

QUILLET_REGISTER_COMMAND(RunsShowCommand);

} // namespace quillet::cli
