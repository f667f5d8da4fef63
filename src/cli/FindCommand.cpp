// quillet find FILE TEXT [--case-sensitive] [--exact] [--group G]: prints every recipient that
// the Find window would stop at (e-mail, a tab, group), in record order. Nothing found prints
// the window's "not found" message on standard error and exits with status 1.
#include "Command.h"
#include "ProjectFileAccess.h"
#include "Terminal.h"

#include "addressbook/AddressBookTexts.h"
#include "addressbook/RecipientSearch.h"

#include <stdexcept>

namespace quillet::cli {

class FindCommand : public Command {
public:
    FindCommand() : Command("find", "Find recipients by text") {}

    void defineOptions(QCommandLineParser& parser) override
    {
        parser.addPositionalArgument("FILE", "The project file.");
        parser.addPositionalArgument("TEXT", "The text to find.");
        parser.addOption({"case-sensitive", "Letter case must match."});
        parser.addOption({"exact", "A whole field must equal the text."});
        parser.addOption({"group", "Search only the recipients of this group.", "G"});
    }

    int execute(const QCommandLineParser& parser) override
    {
        const QStringList args = positional(parser, 2, 2);
        const std::string text = argumentText(args.at(1), "TEXT");
        const SearchOptions options{parser.isSet("case-sensitive"), parser.isSet("exact")};
        const Project project = openProjectFile(args.at(0));
        std::string group;
        if (parser.isSet("group")) {
            group = groupOption(parser);
            requireGroup(project, group);
        }

        std::string listing;
        bool found = false;
        for (std::size_t from = 0;;) {
            const auto hit = findRecipient(project, from, text, options, parser.isSet("group") ? &group : nullptr);
            if (!hit)
                break;
            found = true;
            const RecipientRecord& record = project.recipients[*hit];
            listing += record.EMail.str() + "\t" + record.Group.str() + "\n";
            from = *hit + 1;
        }
        if (!found)
            throw std::runtime_error(texts::searchStringNotFound(text));
        printOut(listing);
        return 0;
    }
};

QUILLET_REGISTER_COMMAND(FindCommand);

} // namespace quillet::cli
