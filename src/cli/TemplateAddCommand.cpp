// quillet template add NAME [--subject S] [--reply-to R] [--body-file F] [--html-file H
// [--body-encoding ENC]]: writes a new template file; the body is the lines of F (none without
// it). H is an HTML body, text in the terminal's encoding (or ENC) as send's --html-file reads it,
// kept beside the template as NAME.tmpl.html. An existing name fails.
#include "Command.h"
#include "MessageOptions.h"
#include "ProjectFileAccess.h"

#include "mailing/TemplateStore.h"
#include "project/ProgramFolder.h"

namespace quillet::cli {

class TemplateAddCommand : public Command {
public:
    TemplateAddCommand() : Command("template add", "Create a message template") {}

    void defineOptions(QCommandLineParser& parser) override
    {
        parser.addPositionalArgument("NAME", "The template's name (also its file name).");
        parser.addOption({"subject", "The subject.", "S"});
        parser.addOption({"reply-to", "The reply-to line: the sender inserted with the template.", "R"});
        parser.addOption({"body-file", "A text file whose lines are the body.", "F"});
        parser.addOption({"html-file", "An HTML body, kept beside the template as NAME.tmpl.html.", "H"});
        parser.addOption({"body-encoding", "The encoding of --html-file (default: the terminal's).", "ENC"});
    }

    int execute(const QCommandLineParser& parser) override
    {
        MessageTemplate tmpl;
        tmpl.name = argumentText(positional(parser, 1, 1).at(0), "NAME");
        tmpl.subject = optionText(parser, "subject");
        tmpl.replyTo = optionText(parser, "reply-to");
        if (parser.isSet("body-file"))
            tmpl.body = ReadTemplateLines(filePath(parser.value("body-file")));
        if (parser.isSet("html-file"))
            tmpl.htmlBody = readTextFileLines(parser.value("html-file"), parser.value("body-encoding"), "html-file");
        TemplateStore(templatesFolder()).create(tmpl);
        return 0;
    }
};

QUILLET_REGISTER_COMMAND(TemplateAddCommand);

} // namespace quillet::cli
