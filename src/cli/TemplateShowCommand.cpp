// quillet template show NAME: the template's subject and reply-to line, an empty line, then its
// body lines.
#include "Command.h"
#include "ProjectFileAccess.h"
#include "Terminal.h"

#include "mailing/TemplateStore.h"
#include "project/ProgramFolder.h"

namespace quillet::cli {

class TemplateShowCommand : public Command {
public:
    TemplateShowCommand() : Command("template show", "Show a message template") {}

    void defineOptions(QCommandLineParser& parser) override
    {
        parser.addPositionalArgument("NAME", "The template's name.");
    }

    int execute(const QCommandLineParser& parser) override
    {
        const std::string name = argumentText(positional(parser, 1, 1).at(0), "NAME");
        const MessageTemplate tmpl = TemplateStore(templatesFolder()).read(name);
        std::string out = "Subject: " + tmpl.subject + "\nReply-To: " + tmpl.replyTo + "\n\n";
        for (const std::string& line : tmpl.body)
            out += line + "\n";
        printOut(out);
        return 0;
    }
};

QUILLET_REGISTER_COMMAND(TemplateShowCommand);

} // namespace quillet::cli
