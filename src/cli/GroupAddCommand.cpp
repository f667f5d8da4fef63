// quillet group add FILE NAME [--description D]: appends a group; a name that is already taken
// (exact, case-sensitive) fails and the file is left as it was.
#include "Command.h"
#include "ProjectCommandTexts.h"
#include "ProjectFileAccess.h"

namespace quillet::cli {

class GroupAddCommand : public Command {
public:
    GroupAddCommand() : Command("group add", "Append a group to a project") {}

    void defineOptions(QCommandLineParser& parser) override
    {
        parser.addPositionalArgument("FILE", "The project file.");
        parser.addPositionalArgument("NAME", "The new group's name.");
        parser.addOption({"description", "The group's description.", "D"});
    }

    int execute(const QCommandLineParser& parser) override
    {
        const QStringList args = positional(parser, 2, 2);
        // Stored texts are cut to 255 bytes, so the name is compared as it will be stored.
        const std::string name = ShortString255(argumentText(args.at(1), "NAME")).str();
        const std::string description = optionText(parser, "description");
        Project project = openProjectFile(args.at(0));
        for (const GroupEntry& group : project.groups)
            if (group.name == name)
                throw std::runtime_error(texts::fill(texts::kGroupExists, name));
        project.groups.push_back({name, ShortString255(description).str()});
        project.setChanged(true);
        saveOpenProject(project);
        return 0;
    }
};

QUILLET_REGISTER_COMMAND(GroupAddCommand);

} // namespace quillet::cli
