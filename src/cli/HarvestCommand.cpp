// quillet harvest TEXTFILE [--project FILE --group G]: prints the addresses found in a text
// file, one a line, in order of discovery; with a project and a group also appends them to
// the group as new enabled recipients and saves the project.
#include "Command.h"
#include "ProjectFileAccess.h"
#include "Terminal.h"

#include "addressbook/AddressBookTexts.h"
#include "addressbook/AddressScanner.h"
#include "addressbook/RecipientOperations.h"

#include <QFileInfo>

#include <stdexcept>

namespace quillet::cli {

class HarvestCommand : public Command {
public:
    HarvestCommand() : Command("harvest", "Find e-mail addresses in a text file (and add them to a group)") {}

    void defineOptions(QCommandLineParser& parser) override
    {
        parser.addPositionalArgument("TEXTFILE", "The text or HTML file to scan.");
        parser.addOption({"project", "Also add the addresses to a group of this project file.", "FILE"});
        parser.addOption({"group", "The group that receives the addresses (with --project).", "G"});
    }

    int execute(const QCommandLineParser& parser) override
    {
        const QStringList args = positional(parser, 1, 1);
        if (parser.isSet("project") != parser.isSet("group"))
            throw UsageError("--project and --group go together");

        // The project and its group are checked before the file is scanned, so nothing is
        // printed for an operation that cannot be completed.
        Project project;
        std::string group;
        if (parser.isSet("project")) {
            group = groupOption(parser);
            project = openProjectFile(parser.value("project"));
            requireGroup(project, group);
        }

        const QFileInfo file(args.at(0));
        if (!file.exists() || file.isDir())
            throw std::runtime_error(std::string(texts::kFileIsNotExists));
        const std::vector<std::string> addresses = scanAddressFile(filePath(args.at(0)));

        std::string listing;
        for (const std::string& address : addresses) {
            listing += address;
            listing += '\n';
        }
        printOut(listing);

        if (parser.isSet("project")) {
            appendHarvested(project, addresses, group);
            saveOpenProject(project);
        }
        return 0;
    }
};

QUILLET_REGISTER_COMMAND(HarvestCommand);

} // namespace quillet::cli
