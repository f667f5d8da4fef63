// quillet runs export ID --csv [--output FILE]: every recipient of a run with status, reply,
// attempts and time as CSV (UTF-8), on standard output or into FILE.
#include "Command.h"
#include "ProjectFileAccess.h"
#include "RunReport.h"

#include "mailing/MailingTexts.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>

namespace quillet::cli {

class RunsExportCommand : public Command {
public:
    RunsExportCommand() : Command("runs export", "Export one mailing run's outcomes") {}

    void defineOptions(QCommandLineParser& parser) override
    {
        parser.addPositionalArgument("ID", "The run's ID (see runs list).");
        parser.addOption({"csv", "Export as CSV (the one format)."});
        parser.addOption({"output", "Write into this file instead of standard output.", "FILE"});
    }

    int execute(const QCommandLineParser& parser) override
    {
        const std::string id = positional(parser, 1, 1).at(0).toStdString();
        if (!parser.isSet("csv"))
            throw UsageError("runs export needs --csv");
        const std::string csv = runCsv(ReadRunJournal(id));
        if (!parser.isSet("output")) {
            std::fwrite(csv.data(), 1, csv.size(), stdout);
            return 0;
        }
        const std::string path = filePath(parser.value("output"));
        std::ofstream file(path, std::ios::binary | std::ios::trunc);
        if (!(file << csv) || !file.flush())
            throw std::runtime_error(formatMessage(kCannotCreateFile, {path, std::strerror(errno)}));
        return 0;
    }
};

QUILLET_REGISTER_COMMAND(RunsExportCommand);

} // namespace quillet::cli
