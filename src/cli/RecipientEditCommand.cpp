// quillet recipient edit PROJECT --group G --email ADDRESS [--new-email E] [--name N] [--surname S]
//   [--enable|--disable] [--param NAME=VALUE]... [--force]
// Changes the first recipient of the group with the address (ignoring ASCII letter case): only
// the fields given change. A --param sets the parameter of that name, else takes the first
// parameter whose name and value are both empty.
#include "Command.h"
#include "ProjectCommandTexts.h"
#include "ProjectFileAccess.h"
#include "RecipientChecks.h"

#include "addressbook/AddressValidity.h"

namespace quillet::cli {

namespace {

void setParameter(RecipientRecord& record, const std::string& name, const std::string& value)
{
    const ShortString255 stored(name);
    int slot = -1;
    for (int i = 0; i < 4 && slot < 0; ++i)
        if (record.paramName(i).view() == stored.view())
            slot = i;
    for (int i = 0; i < 4 && slot < 0; ++i)
        if (record.paramName(i).length() == 0 && record.paramValue(i).length() == 0)
            slot = i;
    if (slot < 0)
        throw std::runtime_error(texts::fill(texts::kNoFreeParameter, name));
    record.paramName(slot) = stored;
    record.paramValue(slot).set(value);
}

} // namespace

class RecipientEditCommand : public Command {
public:
    RecipientEditCommand() : Command("recipient edit", "Change one recipient of a group") {}

    void defineOptions(QCommandLineParser& parser) override
    {
        parser.addPositionalArgument("PROJECT", "The project file.");
        parser.addOption({"group", "The group.", "G"});
        parser.addOption({"email", "The recipient's address.", "ADDRESS"});
        parser.addOption({"new-email", "A new address.", "E"});
        parser.addOption({"name", "A new first name.", "N"});
        parser.addOption({"surname", "A new surname.", "S"});
        parser.addOption({"enable", "Enable the recipient."});
        parser.addOption({"disable", "Disable the recipient."});
        parser.addOption({"param", "Set a parameter NAME=VALUE (repeatable).", "NAME=VALUE"});
        parser.addOption({"force", "Keep a new address that is not valid."});
    }

    int execute(const QCommandLineParser& parser) override
    {
        const QString file = positional(parser, 1, 1).at(0);
        requireOptions(parser, {"group", "email"});
        if (parser.isSet("enable") && parser.isSet("disable"))
            throw UsageError(texts::fill(texts::kOneOf, "--enable and --disable"));
        const std::string group = groupOption(parser);
        const std::string email = optionText(parser, "email");

        Project project = openProjectFile(file);
        requireGroup(project, group);
        RecipientRecord* record = nullptr;
        for (RecipientRecord& r : project.recipients)
            if (!record && r.Group == group && addressKey(r.EMail.view()) == addressKey(email))
                record = &r;
        if (!record)
            throw std::runtime_error(texts::recipientNotInGroup(email, group));

        if (parser.isSet("new-email")) {
            const std::string newEmail = optionText(parser, "new-email");
            requireValidAddress(parser, newEmail);
            noteDuplicate(project, group, newEmail, record);
            record->EMail.set(newEmail);
        }
        if (parser.isSet("name"))
            record->Name.set(optionText(parser, "name"));
        if (parser.isSet("surname"))
            record->Surname.set(optionText(parser, "surname"));
        if (parser.isSet("enable") || parser.isSet("disable"))
            record->Enabled = parser.isSet("enable") ? 1 : 0;
        for (const QString& param : parser.values("param")) {
            const auto [name, value] = parameterOption(param);
            setParameter(*record, name, value);
        }
        project.setChanged(true);
        saveOpenProject(project);
        return 0;
    }
};

QUILLET_REGISTER_COMMAND(RecipientEditCommand);

} // namespace quillet::cli
