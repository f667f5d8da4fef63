// quillet export-csv PROJECT [--group G] --output FILE [--no-bom]: writes the recipients of a group
// (or of the whole project) as CSV in record order: UTF-8 with a byte-order mark by default, a
// header row, every field with the parameters and the enabled state.
#include "Command.h"
#include "ProjectFileAccess.h"

#include "addressbook/CsvExport.h"

namespace quillet::cli {

class ExportCsvCommand : public Command {
public:
    ExportCsvCommand() : Command("export-csv", "Write recipients to a CSV file") {}

    void defineOptions(QCommandLineParser& parser) override
    {
        parser.addPositionalArgument("PROJECT", "The project file.");
        parser.addOption({"group", "Only this group's recipients (default: all).", "G"});
        parser.addOption({"output", "The CSV file to write (replaced when it exists).", "FILE"});
        parser.addOption({"no-bom", "Write no UTF-8 byte-order mark."});
    }

    int execute(const QCommandLineParser& parser) override
    {
        const QString file = positional(parser, 1, 1).at(0);
        requireOptions(parser, {"output"});
        CsvExportOptions options;
        options.byteOrderMark = !parser.isSet("no-bom");
        const Project project = openProjectFile(file);
        if (parser.isSet("group")) {
            options.group = groupOption(parser);
            requireGroup(project, *options.group);
        }
        // Written as it is made, without the whole text in memory.
        const std::string path = filePath(parser.value("output"));
        try {
            writeRecipientsCsv(project, options, path);
        } catch (const ProjectFileError& error) {
            rethrowWithPathShown(error, path);
        }
        return 0;
    }
};

QUILLET_REGISTER_COMMAND(ExportCsvCommand);

} // namespace quillet::cli
