// quillet recipient add FILE --group G --email E ...: appends a recipient to an existing group.
#include "Command.h"
#include "ProjectCommandTexts.h"
#include "ProjectFileAccess.h"

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
    }

    int execute(const QCommandLineParser& parser) override
    {
        const QString file = positional(parser, 1, 1).at(0);
        if (!parser.isSet("group"))
            throw UsageError("--group is required");
        if (!parser.isSet("email"))
            throw UsageError("--email is required");
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
            const qsizetype equals = params.at(i).indexOf('=');
            if (equals < 0)
                throw UsageError(texts::fill(texts::kParamWithoutValue, params.at(i).toStdString()));
            record.paramName(i).set(argumentText(params.at(i).left(equals), "--param"));
            record.paramValue(i).set(argumentText(params.at(i).mid(equals + 1), "--param"));
        }

        Project project = openProjectFile(file);
        requireGroup(project, group);
        project.recipients.push_back(record);
        project.setChanged(true);
        saveOpenProject(project);
        return 0;
    }
};

QUILLET_REGISTER_COMMAND(RecipientAddCommand);

} // namespace quillet::cli
