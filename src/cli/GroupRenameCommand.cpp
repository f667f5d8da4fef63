// quillet group rename PROJECT OLD NEW: renames the group and carries its recipients along, as
// the desktop program's Edit group does; a name another group has fails with its message.
#include "Command.h"
#include "ProjectFileAccess.h"

#include "addressbook/GroupOperations.h"

namespace quillet::cli {

class GroupRenameCommand : public Command {
public:
    GroupRenameCommand() : Command("group rename", "Rename a group") {}

    void defineOptions(QCommandLineParser& parser) override
    {
        parser.addPositionalArgument("PROJECT", "The project file.");
        parser.addPositionalArgument("OLD", "The group's name.");
        parser.addPositionalArgument("NEW", "Its new name.");
    }

    int execute(const QCommandLineParser& parser) override
    {
        const QStringList args = positional(parser, 3, 3);
        const std::string oldName = ShortString255(argumentText(args.at(1), "OLD")).str();
        const std::string newName = ShortString255(argumentText(args.at(2), "NEW")).str();
        Project project = openProjectFile(args.at(0));
        requireGroup(project, oldName);
        const std::size_t group = *findGroup(project, oldName);
        editGroup(project, group, newName, project.groups[group].description);
        saveOpenProject(project);
        return 0;
    }
};

QUILLET_REGISTER_COMMAND(GroupRenameCommand);

} // namespace quillet::cli
