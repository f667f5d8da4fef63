// quillet template delete NAME: deletes the template's file; a name without a file fails.
#include "Command.h"
#include "MailingCommandTexts.h"
#include "ProjectCommandTexts.h"
#include "ProjectFileAccess.h"

#include "mailing/TemplateStore.h"
#include "project/ProgramFolder.h"

#include <stdexcept>

namespace quillet::cli {

class TemplateDeleteCommand : public Command {
public:
    TemplateDeleteCommand() : Command("template delete", "Delete a message template") {}

    void defineOptions(QCommandLineParser& parser) override
    {
        parser.addPositionalArgument("NAME", "The template's name.");
    }

    int execute(const QCommandLineParser& parser) override
    {
        const std::string name = argumentText(positional(parser, 1, 1).at(0), "NAME");
        if (!TemplateStore(templatesFolder()).remove(name))
            throw std::runtime_error(texts::fill(texts::kNoSuchTemplate, name));
        return 0;
    }
};

QUILLET_REGISTER_COMMAND(TemplateDeleteCommand);

} // namespace quillet::cli
