#include "ActionList.h"

#include <algorithm>

namespace quillet {

const std::vector<ActionDefinition>& actionDefinitions()
{
    // Ctrl+E belongs to "E-mail to all recipient in group", which stands earlier in the list; a
    // key is shown only beside the command it runs.
    static const std::vector<ActionDefinition> list = {
        {"CreateDefaultAction", "File", "&Create default", "Ctrl+Shift+N", "Create default project", true},
        {"NewProjectAction", "File", "&New project", "Ctrl+N", "Create new project", true},
        {"OpenDefaultAction", "File", "O&pen default", "Ctrl+Shift+O", "Open default project", true},
        {"OpenProjectAction", "File", "&Open project", "Ctrl+O", "Open project existing project", true},
        {"SaveProjectAction", "File", "&Save project", "Ctrl+S", "Save current project", false},
        {"SaveAsAction", "File", "S&ave as", "", "Save current project as ..", true},
        {"ProjectPropAction", "File", "P&roject properties", "Alt+Return", "Edit project properties", true},
        {"ExitAction", "File", "&Exit", "Alt+F4", "Close Orv Quillet", true},
        {"HowToUseAction", "Help", "H&ow to use program", "F1", "How to use Orv Quillet", true},
        {"HomePageAction", "Help", "&Home Page", "Ctrl+H", "Go to Orv Quillet home page", true},
        {"MailToUsAction", "Help", "&E-Mail to us", "", "E-Mail to us", true},
        {"AboutAction", "Help", "&About program", "Ctrl+F1", "Information about program", true},
        {"ProgOptionsAction", "Options", "&Program options", "", "Edit program options", true},
        {"CustomizeActionBars", "Options", "&Customize toolbar", "", "Customize toolbar buttons", true},
        {"MailServerAction", "Options", "&Mail server", "", "Show the mail server status window", true},
        {"NewRecipientGroupAction", "Group", "&New group", "Ctrl+G", "Create new recipient group", true},
        {"EditGroupAction", "Group", "&Edit Group", "", "Edit group parameters", false},
        {"DeleteGroupAction", "Group", "&Delete group", "", "Delete selected group", false},
        {"EMailToGroupAction", "Group", "E-&mail to all recipient in group", "Ctrl+E",
         "E-mail to all recipient in group", false},
        {"NewRecipientAction", "Recipient", "Ne&w recipient", "Ins", "Create new recipient", false},
        {"EditRecipientAction", "Recipient", "E&dit recipient", "", "Edit selected recipient", false},
        {"DeleteRecipientAction", "Recipient", "De&lete recipient", "Del", "Delete selected Recipient", false},
        {"EnableRecipientAction", "Recipient", "En&able/Disable", "", "Enable/Disable current recipient", false, true,
         true},
        {"SelectAllAction", "Recipient", "S&elect all", "", "Select all recipients in current list", false},
        {"CopyToGroupAction", "Recipient", "&Copy to group", "", "Copy to another group", false},
        {"MoveToGroupAction", "Recipient", "&Move to group", "", "Move to another group", false},
        {"EMailToCurrentAction", "Recipient", "Send e-mail to selected recipients", "Ctrl+M",
         "Send e-mail to selected recipients with template", false},
        {"NewSMTPAction", "SMTP", "&Create SMTP Server", "", "Create new SMTP Server", true},
        {"EditSMTPAction", "SMTP", "&Edit SMTP Server", "", "Edit current SMTP Server", false},
        {"DelSMTPAction", "SMTP", "&Delete SMTP Server", "", "Delete current SMTP Server", false},
        {"EnableSMTPAction", "SMTP", "E&nable/Disable", "", "Enable/Disable current SMTP server", false, true},
        {"NewTemplateAction", "Templates", "&New template", "", "Create new E-Mail template", true},
        {"EditTemplateAction", "Templates", "&Edit template", "", "Edit current E-Mail template", false},
        {"DeltemplateAction", "Templates", "&Delete template", "", "Delete current template", false},
        {"FindRecipientAction", "Recipient", "&Find recipient", "Ctrl+F", "Find recipient", true},
        {"FindInFilesAction", "Tools", "&Find e-mail in files", "", "Find e-mails in text file", true},
        {"ExportToAHTMLAction", "Tools", "E&xport to HTML", "", "Export to recipiets list to HTML", false},
        {"ImportRecipientsAction", "Tools", "&Import recipients...", "", "Import recipients from a CSV file", true},
        {"ExportRecipientsAction", "Tools", "Export &recipients...", "",
         "Export the recipients of the selected group (or of every group) to a CSV file", true},
        {"RunsAction", "Mailing", "&Runs...", "", "Show the mailing runs: their reports, and Resume", true},
    };
    return list;
}

std::vector<QString> actionCategories()
{
    std::vector<QString> categories;
    for (const auto& definition : actionDefinitions()) {
        const QString category = QString::fromLatin1(definition.category);
        if (std::find(categories.begin(), categories.end(), category) == categories.end())
            categories.push_back(category);
    }
    return categories;
}

} // namespace quillet
