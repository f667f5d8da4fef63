#include "HtmlExport.h"

#include "AddressBookTexts.h"
#include "project/CodePage.h"
#include "project/WholeFile.h"

namespace quillet {

namespace {

void line(std::string& page, std::string_view text)
{
    page += text;
    page += "\r\n";
}

std::string cell(std::string_view value)
{
    std::string text = "<TD WIDTH=25%>";
    text += htmlEscaped(value);
    text += "</TD>";
    return text;
}

} // namespace

std::string htmlEscaped(std::string_view text)
{
    std::string escaped;
    escaped.reserve(text.size());
    // Byte by byte: no trail byte of the double-byte code pages lies below 0x40, so none of them
    // is taken for one of these characters.
    for (const char c : text) {
        switch (c) {
        case '&': escaped += "&amp;"; break;
        case '<': escaped += "&lt;"; break;
        case '>': escaped += "&gt;"; break;
        case '"': escaped += "&quot;"; break;
        default: escaped += c;
        }
    }
    return escaped;
}

std::string htmlPage(std::string_view groupName, const std::vector<HtmlRecipientRow>& rows, const char* codePage)
{
    const std::string quotedGroup = texts::quoted(htmlEscaped(groupName));
    std::string page;
    page.reserve(1024 + rows.size() * 200);
    line(page, "<HTML><HEAD><TITLE>Orv Software Labs. " + quotedGroup + " group list</TITLE>");
    line(page, std::string("<meta charset=\"") + registeredCharsetName(codePage ? codePage : codePageName()) + "\">");
    line(page, "<style type=\"text/css\">");
    line(page, "a:hover {text-decoration: underline; color: red;}");
    line(page, "</style>");
    line(page, "</HEAD>");
    line(page, "<BODY><A NAME=\"LeftTop\">");
    line(page, "<CENTER><h3> Recipients list in " + quotedGroup + " group </CENTER>");
    line(page, "<TABLE BORDER=1 CELLSPAN=10 COLS=8 WIDTH=\"100%\">");
    line(page, "<TR ALIGN=CENTER VALIGN=CENTER>");
    line(page, "<TD BGCOLOR=\"#AAAAAA\" WIDTH=25%><B>E-Mail</B></TD>");
    line(page, "<TD BGCOLOR=\"#AAAAAA\" WIDTH=25%><B>Name</B></TD>");
    line(page, "<TD BGCOLOR=\"#AAAAAA\" WIDTH=25%><B>Surname</B></TD>");
    line(page, "<TD BGCOLOR=\"#AAAAAA\" WIDTH=25%><B>State</B></TD>");
    line(page, "</TR>");
    for (const HtmlRecipientRow& row : rows) {
        line(page, "<TR ALIGN=CENTER VALIGN=CENTER>");
        line(page, cell(row.email));
        line(page, cell(row.name));
        line(page, cell(row.surname));
        line(page, cell(row.enabled));
        line(page, "</TR>");
    }
    line(page, "</TABLE>");
    line(page, "<CENTER><FONT SIZE=-1>Created by <A HREF=\"" + std::string(kMakerHomePage) +
                   "\">Orv Quillet</A>, <FONT COLOR=\"#0000FF\">Orv Software Labs</FONT></FONT></CENTER>");
    line(page, "</BODY></HTML>");
    return page;
}

std::string htmlPage(const Project& project, std::string_view groupName, const std::vector<std::size_t>& rows,
                     const char* codePage)
{
    std::vector<HtmlRecipientRow> cells;
    cells.reserve(rows.size());
    for (std::size_t index : rows) {
        const RecipientRecord& r = project.recipients.at(index);
        cells.push_back({r.EMail.str(), r.Name.str(), r.Surname.str(), std::string(r.enabled() ? kTrue : kFalse)});
    }
    return htmlPage(groupName, cells, codePage);
}

void writeHtmlFile(const std::string& path, std::string_view page)
{
    replaceWholeFile(path, page);
}

} // namespace quillet
