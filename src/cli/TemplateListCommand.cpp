// quillet template list: one line per listed template of the program folder's Templates/: the
// name, and after a tab the subject when there is one.
#include "Command.h"
#include "Terminal.h"

#include "mailing/TemplateStore.h"
#include "project/ProgramFolder.h"

namespace quillet::cli {

class TemplateListCommand : public Command {
public:
    TemplateListCommand() : Command("template list", "List the message templates") {}

    void defineOptions(QCommandLineParser&) override {}

    int execute(const QCommandLineParser& parser) override
    {
        positional(parser, 0, 0);
        std::string out;
        for (const TemplateRow& row : TemplateStore(templatesFolder()).list())
            out += row.name + (row.subject.empty() ? "" : "\t" + row.subject) + "\n";
        printOut(out);
        return 0;
    }
};

QUILLET_REGISTER_COMMAND(TemplateListCommand);

} // namespace quillet::cli
