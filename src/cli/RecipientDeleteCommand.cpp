// quillet recipient delete PROJECT --group G --email ADDRESS...: deletes every recipient of the
// group whose address equals one of the given ones (ignoring ASCII letter case); the others keep
// their order. An address the group does not hold fails and nothing is deleted.
#include "Command.h"
#include "ProjectCommandTexts.h"
#include "ProjectFileAccess.h"

#include "addressbook/AddressValidity.h"

#include <algorithm>
#include <set>

namespace quillet::cli {

class RecipientDeleteCommand : public Command {
public:
    RecipientDeleteCommand() : Command("recipient delete", "Delete recipients of a group") {}

    void defineOptions(QCommandLineParser& parser) override
    {
        parser.addPositionalArgument("PROJECT", "The project file.");
        parser.addOption({"group", "The group.", "G"});
        parser.addOption({"email", "An address to delete (repeatable).", "ADDRESS"});
    }

    int execute(const QCommandLineParser& parser) override
    {
        const QString file = positional(parser, 1, 1).at(0);
        requireOptions(parser, {"group", "email"});
        const std::string group = groupOption(parser);
        std::set<std::string> keys;
        for (const QString& email : parser.values("email"))
            keys.insert(addressKey(argumentText(email, "--email")));

        Project project = openProjectFile(file);
        requireGroup(project, group);
        std::set<std::string> found;
        for (const RecipientRecord& r : project.recipients)
            if (r.Group == group && keys.contains(addressKey(r.EMail.view())))
                found.insert(addressKey(r.EMail.view()));
        for (const QString& email : parser.values("email")) {
            const std::string address = argumentText(email, "--email");
            if (!found.contains(addressKey(address)))
                throw std::runtime_error(texts::recipientNotInGroup(address, group));
        }
        erase_if(project.recipients, [&](const RecipientRecord& r) {
            return r.Group == group && keys.contains(addressKey(r.EMail.view()));
        });
        project.setChanged(true);
        saveOpenProject(project);
        return 0;
    }
};

QUILLET_REGISTER_COMMAND(RecipientDeleteCommand);

} // namespace quillet::cli
