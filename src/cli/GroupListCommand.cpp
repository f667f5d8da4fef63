// quillet group list FILE: one line per group in file order: the name, and after a tab the
// description when there is one.
#include "Command.h"
#include "ProjectFileAccess.h"
#include "Terminal.h"

namespace quillet::cli {

class GroupListCommand : public Command {
public:
    GroupListCommand() : Command("group list", "List a project's groups") {}

    void defineOptions(QCommandLineParser& parser) override
    {
        parser.addPositionalArgument("FILE", "The project file.");
    }

    int execute(const QCommandLineParser& parser) override
    {
        const Project project = openProjectFile(positional(parser, 1, 1).at(0));
        std::string out;
        for (const GroupEntry& group : project.groups)
            out += group.name + (group.description.empty() ? "" : "\t" + group.description) + "\n";
        printOut(out);
        return 0;
    }
};

QUILLET_REGISTER_COMMAND(GroupListCommand);

} // namespace quillet::cli
