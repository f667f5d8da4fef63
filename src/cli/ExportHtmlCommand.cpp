// quillet export-html FILE --group G --output PAGE: writes the group's HTML page (its
// recipients sorted by e-mail), replacing PAGE, as the desktop program's Export to HTML does.
#include "Command.h"
#include "ProjectFileAccess.h"

#include "addressbook/HtmlExport.h"
#include "addressbook/RecipientRows.h"

namespace quillet::cli {

class ExportHtmlCommand : public Command {
public:
    ExportHtmlCommand() : Command("export-html", "Write a group's recipients as an HTML page") {}

    void defineOptions(QCommandLineParser& parser) override
    {
        parser.addPositionalArgument("FILE", "The project file.");
        parser.addOption({"group", "The group to export.", "G"});
        parser.addOption({"output", "The HTML file to write (replaced when it exists).", "PAGE"});
    }

    int execute(const QCommandLineParser& parser) override
    {
        const QStringList args = positional(parser, 1, 1);
        if (!parser.isSet("group") || !parser.isSet("output"))
            throw UsageError("--group and --output are required");
        const std::string group = groupOption(parser);
        const Project project = openProjectFile(args.at(0));
        requireGroup(project, group);
        writeHtmlFile(filePath(parser.value("output")), htmlPage(project, group, sortedRecipientRows(project, group)));
        return 0;
    }
};

QUILLET_REGISTER_COMMAND(ExportHtmlCommand);

} // namespace quillet::cli
