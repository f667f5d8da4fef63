// quillet recipient add FILE --group G --email E ...: appends a recipient to an existing group.
// An address that is not valid is refused unless --force is given; an address the group already
// holds is added and noted on standard error.
#include "Command.h"
#include "ProjectCommandTexts.h"
#include "ProjectFileAccess.h"
#include "RecipientChecks.h"

namespace quillet::cli {

class RecipientAddCommand : public Command {
public:
    RecipientAddCommand() : Command("recipient add", "Append a recipient to a group of a project") {}

    void defineOptions(QCommandLineParser& parser) override
    {
        parser.addPositionalArgument("FILE", "The project file.");
        parser.addOption({"group", "The group (must exist).", "G"});
        parser.addOption({"email", "The e-mail address.", "E"});
        parser.addOption({"name", "First name.", "N"});
        parser.addOption({"surname", "Surname.", "S"});
        parser.addOption({"disabled", "Add the recipient disabled."});
        parser.addOption({"param", "A parameter NAME=VALUE (up to four, in order).", "NAME=VALUE"});
        parser.addOption({"force", "Keep an address that is not valid."});
    }

    int execute(const QCommandLineParser& parser) override
    {
        const QString file = positional(parser, 1, 1).at(0);
        requireOptions(parser, {"group", "email"});
        const QStringList params = parser.values("param");
        if (params.size() > 4)
            throw UsageError(texts::kTooManyParams);

        RecipientRecord record;
        const std::string group = groupOption(parser);
        record.Group.set(group);
        record.EMail.set(optionText(parser, "email"));
        record.Name.set(optionText(parser, "name"));
        record.Surname.set(optionText(parser, "surname"));
        record.Enabled = parser.isSet("disabled") ? 0 : 1;
        for (int i = 0; i < int(params.size()); ++i) {
            const auto [name, value] = parameterOption(params.at(i));
            record.paramName(i).set(name);
            record.paramValue(i).set(value);
        }
        requireValidAddress(parser, optionText(parser, "email"));

        Project project = openProjectFile(file);
        requireGroup(project, group);
        noteDuplicate(project, group, record.EMail.str());
        project.recipients.push_back(record);
        project.setChanged(true);
        saveOpenProject(project);
        return 0;
    }
};

QUILLET_REGISTER_COMMAND(RecipientAddCommand);

} // namespace quillet::cli
