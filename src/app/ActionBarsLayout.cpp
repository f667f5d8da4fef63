#include "ActionBarsLayout.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace quillet {

namespace {

const char* const kFormatName = "Orv Quillet menu and toolbar layout";
constexpr int kFormatVersion = 1;

BarLayout bar(const char* caption, std::initializer_list<const char*> items)
{
    BarLayout layout{QString::fromLatin1(caption), {}};
    for (const char* item : items)
        layout.items << QString::fromLatin1(item);
    return layout;
}

QJsonArray barsToJson(const std::vector<BarLayout>& bars)
{
    QJsonArray array;
    for (const BarLayout& b : bars)
        array.append(QJsonObject{{"caption", b.caption}, {"items", QJsonArray::fromStringList(b.items)}});
    return array;
}

bool barsFromJson(const QJsonValue& value, std::vector<BarLayout>& bars)
{
    if (!value.isArray())
        return false;
    bars.clear();
    for (const QJsonValue& entry : value.toArray()) {
        const QJsonObject object = entry.toObject();
        if (!object.value("caption").isString() || !object.value("items").isArray())
            return false;
        BarLayout b{object.value("caption").toString(), {}};
        for (const QJsonValue& item : object.value("items").toArray()) {
            if (!item.isString())
                return false;
            b.items << item.toString();
        }
        bars.push_back(std::move(b));
    }
    return true;
}

} // namespace

const QStringList& toolBarNames()
{
    static const QStringList names = {"ActionToolBar1", "ActionToolBar2", "ActionToolBar3", "ActionToolBar4"};
    return names;
}

ActionBarsLayout ActionBarsLayout::builtIn()
{
    ActionBarsLayout layout;
    layout.menus = {
        bar("&File", {"CreateDefaultAction", "NewProjectAction", "-", "OpenDefaultAction", "OpenProjectAction", "-",
                      "SaveProjectAction", "SaveAsAction", "-", "ProjectPropAction", "-", "ExitAction"}),
        bar("&Group", {"NewRecipientGroupAction", "EditGroupAction", "DeleteGroupAction", "-", "EMailToGroupAction",
                       "-", "ImportRecipientsAction", "ExportRecipientsAction"}),
        bar("&Recipient", {"NewRecipientAction", "EditRecipientAction", "DeleteRecipientAction", "-",
                           "EnableRecipientAction", "SelectAllAction", "-", "CopyToGroupAction", "MoveToGroupAction",
                           "-", "EMailToCurrentAction", "FindRecipientAction"}),
        bar("&SMTP", {"NewSMTPAction", "EditSMTPAction", "DelSMTPAction", "-", "EnableSMTPAction"}),
        bar("&Templates", {"NewTemplateAction", "EditTemplateAction", "DeltemplateAction"}),
        bar("&Mailing", {"RunsAction"}),
        bar("Too&ls",
            {"FindInFilesAction", "ExportToAHTMLAction", "-", "ImportRecipientsAction", "ExportRecipientsAction"}),
        bar("&Options", {"ProgOptionsAction", "CustomizeActionBars", "-", "MailServerAction"}),
        bar("&Help", {"HowToUseAction", "-", "HomePageAction", "MailToUsAction", "-", "AboutAction"}),
    };
    layout.toolBars = {
        bar("File",
            {"CreateDefaultAction", "NewProjectAction", "OpenDefaultAction", "OpenProjectAction", "SaveProjectAction",
             "-", "ProjectPropAction", "-", "FindInFilesAction", "ExportToAHTMLAction", "-", "ProgOptionsAction",
             "CustomizeActionBars", "-", "HomePageAction", "HowToUseAction", "AboutAction", "-", "ExitAction"}),
        bar("Recipients",
            {"NewRecipientGroupAction", "EditGroupAction", "DeleteGroupAction", "-", "EMailToGroupAction", "-",
             "NewRecipientAction", "EditRecipientAction", "DeleteRecipientAction", "EnableRecipientAction", "-",
             "CopyToGroupAction", "MoveToGroupAction", "-", "EMailToCurrentAction", "FindRecipientAction"}),
        bar("SMTP Server", {"NewSMTPAction", "EditSMTPAction", "DelSMTPAction", "-", "EnableSMTPAction"}),
        bar("Templates", {"NewTemplateAction", "EditTemplateAction", "DeltemplateAction", "-", "RunsAction"}),
    };
    return layout;
}

QByteArray ActionBarsLayout::toJson() const
{
    QJsonObject root{{"format", kFormatName},
                     {"version", kFormatVersion},
                     {"menuBar", barsToJson(menus)},
                     {"toolBars", barsToJson(toolBars)}};
    return QJsonDocument(root).toJson(QJsonDocument::Indented);
}

bool ActionBarsLayout::parse(const QByteArray& json, ActionBarsLayout& layout)
{
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return false;
    const QJsonObject root = document.object();
    if (root.value("format").toString() != kFormatName || root.value("version").toInt() != kFormatVersion)
        return false;
    ActionBarsLayout parsed;
    if (!barsFromJson(root.value("menuBar"), parsed.menus) || !barsFromJson(root.value("toolBars"), parsed.toolBars))
        return false;
    if (parsed.toolBars.size() != static_cast<std::size_t>(toolBarNames().size()))
        return false;
    layout = std::move(parsed);
    return true;
}

} // namespace quillet
