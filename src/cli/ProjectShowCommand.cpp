// quillet project show FILE [--json]: prints a project's properties, groups, recipients and
// accounts in file order.
#include "Command.h"
#include "JsonWriter.h"
#include "ProjectCommandTexts.h"
#include "ProjectFileAccess.h"
#include "RecipientOutput.h"
#include "Terminal.h"

#include "project/CodePage.h"

namespace quillet::cli {

namespace {

std::string utf8(const ShortString255& text)
{
    return codePageToUtf8(text.view());
}

std::string utf8(const std::string& text)
{
    return codePageToUtf8(text);
}

std::string projectJson(const Project& project)
{
    const ProjectProperties& p = project.properties;
    JsonWriter json;
    json.beginObject();
    json.key("name").value(utf8(p.Name));
    json.key("description").value(utf8(p.Description));
    json.key("author_name").value(utf8(p.AutorName));
    json.key("author_web").value(utf8(p.AutorWEB));
    json.key("author_email").value(utf8(p.AutorEmail));

    json.key("groups").beginArray();
    for (const GroupEntry& group : project.groups)
        json.beginObject()
            .key("name")
            .value(utf8(group.name))
            .key("description")
            .value(utf8(group.description))
            .endObject();
    json.endArray();

    json.key("recipients").beginArray();
    for (const RecipientRecord& r : project.recipients)
        writeRecipientJson(json, r);
    json.endArray();

    json.key("accounts").beginArray();
    for (const SmtpAccount& a : project.accounts) {
        json.beginObject();
        json.key("host").value(utf8(a.host));
        json.key("user").value(utf8(a.user));
        json.key("password").value(utf8(a.password));
        json.key("port").value(utf8(a.port));
        json.key("from_name").value(utf8(a.fromName));
        json.key("from_address").value(utf8(a.fromAddress));
        json.key("reply_to").value(utf8(a.replyTo));
        json.key("enabled").value(utf8(a.enabled));
        json.endObject();
    }
    json.endArray();
    json.endObject();
    return json.text() + "\n";
}

// The readable listing, in code-page text: one line per property, then one tab-separated line
// per group, recipient and account.
std::string projectListing(const Project& project)
{
    const ProjectProperties& p = project.properties;
    std::string out;
    out += "Name: " + p.Name.str() + "\n";
    out += "Description: " + p.Description.str() + "\n";
    out += "Author name: " + p.AutorName.str() + "\n";
    out += "Author web: " + p.AutorWEB.str() + "\n";
    out += "Author e-mail: " + p.AutorEmail.str() + "\n";

    out += "Groups: " + std::to_string(project.groups.size()) + "\n";
    for (const GroupEntry& group : project.groups)
        out += "  " + group.name + "\t" + group.description + "\n";

    out += "Recipients: " + std::to_string(project.recipients.size()) + "\n";
    for (const RecipientRecord& r : project.recipients)
        out += "  " + recipientLine(r) + "\n";

    out += "Accounts: " + std::to_string(project.accounts.size()) + "\n";
    for (const SmtpAccount& a : project.accounts)
        out += "  " + a.host + "\t" + a.port + "\t" + a.user + "\t" +
               (a.password.empty() ? "" : texts::kHiddenPassword) + "\t" + a.fromName + "\t" + a.fromAddress + "\t" +
               a.replyTo + "\t" + a.enabled + "\n";
    return out;
}

} // namespace

class ProjectShowCommand : public Command {
public:
    ProjectShowCommand() : Command("project show", "Print a project's properties, groups, recipients and accounts") {}

    void defineOptions(QCommandLineParser& parser) override
    {
        parser.addPositionalArgument("FILE", "The project file.");
        parser.addOption({"json", "Print one JSON object (UTF-8)."});
    }

    int execute(const QCommandLineParser& parser) override
    {
        const Project project = openProjectFile(positional(parser, 1, 1).at(0));
        if (parser.isSet("json")) {
            const std::string text = projectJson(project);
            std::fwrite(text.data(), 1, text.size(), stdout);
        } else {
            printOut(projectListing(project));
        }
        return 0;
    }
};

QUILLET_REGISTER_COMMAND(ProjectShowCommand);

} // namespace quillet::cli
