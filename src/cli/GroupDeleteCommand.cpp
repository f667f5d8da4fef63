// quillet group delete PROJECT NAME: deletes the group and every recipient of it, as the desktop
// program's Delete group does.
#include "Command.h"
#include "ProjectFileAccess.h"

#include "addressbook/GroupOperations.h"

namespace quillet::cli {

class GroupDeleteCommand : public Command {
public:
    GroupDeleteCommand() : Command("group delete", "Delete a group and its recipients") {}

    void defineOptions(QCommandLineParser& parser) override
    {
        parser.addPositionalArgument("PROJECT", "The project file.");
        parser.addPositionalArgument("NAME", "The group.");
    }

    int execute(const QCommandLineParser& parser) override
    {
        const QStringList args = positional(parser, 2, 2);
        const std::string name = ShortString255(argumentText(args.at(1), "NAME")).str();
        Project project = openProjectFile(args.at(0));
        requireGroup(project, name);
        deleteGroup(project, *findGroup(project, name));
        saveOpenProject(project);
        return 0;
    }
};

QUILLET_REGISTER_COMMAND(GroupDeleteCommand);

} // namespace quillet::cli
