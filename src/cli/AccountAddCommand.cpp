// quillet account add FILE --host H ...: appends an SMTP account (port "25" and enabled "True"
// unless given otherwise). Texts are stored as typed.
#include "Command.h"
#include "ProjectFileAccess.h"

namespace quillet::cli {

class AccountAddCommand : public Command {
public:
    AccountAddCommand() : Command("account add", "Append an SMTP account to a project") {}

    void defineOptions(QCommandLineParser& parser) override
    {
        parser.addPositionalArgument("FILE", "The project file.");
        parser.addOption({"host", "The SMTP server's host name or address.", "H"});
        parser.addOption({"port", "Its port (default 25).", "P", "25"});
        parser.addOption({"user", "User name.", "U"});
        parser.addOption({"password", "Password (stored as plain text).", "P"});
        parser.addOption({"from-name", "Sender's display name.", "N"});
        parser.addOption({"from-address", "Sender's address.", "A"});
        parser.addOption({"reply-to", "Reply-to address.", "R"});
        parser.addOption({"disabled", "Add the account disabled."});
    }

    int execute(const QCommandLineParser& parser) override
    {
        const QString file = positional(parser, 1, 1).at(0);
        if (!parser.isSet("host"))
            throw UsageError("--host is required");
        SmtpAccount account;
        account.host = optionText(parser, "host");
        account.user = optionText(parser, "user");
        account.password = optionText(parser, "password");
        account.port = optionText(parser, "port");
        account.fromName = optionText(parser, "from-name");
        account.fromAddress = optionText(parser, "from-address");
        account.replyTo = optionText(parser, "reply-to");
        account.enabled = std::string(parser.isSet("disabled") ? kFalse : kTrue);
        for (std::string* text : {&account.host, &account.user, &account.password, &account.port, &account.fromName,
                                  &account.fromAddress, &account.replyTo})
            *text = ShortString255(*text).str();

        Project project = openProjectFile(file);
        project.accounts.push_back(std::move(account));
        project.setChanged(true);
        saveOpenProject(project);
        return 0;
    }
};

QUILLET_REGISTER_COMMAND(AccountAddCommand);

} // namespace quillet::cli
