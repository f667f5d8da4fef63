// The exported HTML page, byte for byte.
#include "addressbook/HtmlExport.h"
#include "addressbook/RecipientRows.h"
#include "project/ProjectFileError.h"
#include "ProjectBuilder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

using namespace quillet;
using quillet::test::recipient;

namespace {

const std::string kHead = "<HTML><HEAD><TITLE>Orv Software Labs. \"G\" group list</TITLE>\r\n"
                          "<meta charset=\"windows-1252\">\r\n"
                          "<style type=\"text/css\">\r\n"
                          "a:hover {text-decoration: underline; color: red;}\r\n"
                          "</style>\r\n"
                          "</HEAD>\r\n"
                          "<BODY><A NAME=\"LeftTop\">\r\n"
                          "<CENTER><h3> Recipients list in \"G\" group </CENTER>\r\n"
                          "<TABLE BORDER=1 CELLSPAN=10 COLS=8 WIDTH=\"100%\">\r\n"
                          "<TR ALIGN=CENTER VALIGN=CENTER>\r\n"
                          "<TD BGCOLOR=\"#AAAAAA\" WIDTH=25%><B>E-Mail</B></TD>\r\n"
                          "<TD BGCOLOR=\"#AAAAAA\" WIDTH=25%><B>Name</B></TD>\r\n"
                          "<TD BGCOLOR=\"#AAAAAA\" WIDTH=25%><B>Surname</B></TD>\r\n"
                          "<TD BGCOLOR=\"#AAAAAA\" WIDTH=25%><B>State</B></TD>\r\n"
                          "</TR>\r\n";
const std::string kTail = "</TABLE>\r\n"
                          "<CENTER><FONT SIZE=-1>Created by <A HREF=\"https://orv-quillet.example.org/\">Orv "
                          "Quillet</A>, <FONT COLOR=\"#0000FF\">Orv Software Labs</FONT></FONT></CENTER>\r\n"
                          "</BODY></HTML>\r\n";

} // namespace

TEST(HtmlExport, EmptyGroupHasTheHeadingRowOnly)
{
    EXPECT_EQ(htmlPage("G", std::vector<HtmlRecipientRow>{}, "CP1252"), kHead + kTail);
    // The charset line names the code page.
    EXPECT_NE(htmlPage("G", {}, "CP932").find("\r\n<meta charset=\"Shift_JIS\">\r\n"), std::string::npos);
    EXPECT_NE(htmlPage("G", {}, "UTF-8").find("\r\n<meta charset=\"UTF-8\">\r\n"), std::string::npos);
}

TEST(HtmlExport, RowsInDisplayOrderWithMarkupCharactersEscaped)
{
    Project p;
    p.recipients.push_back(recipient("zed@x", "G", "<b>Tom & \"Jerry\"</b>"));
    p.recipients.push_back(recipient("abc@x", "G", "A", false));
    p.recipients.push_back(recipient("other@x", "H"));
    p.recipients[0].Surname.set("S\xe9"); // code-page bytes go out unchanged
    const std::string page = htmlPage(p, "G", sortedRecipientRows(p, "G"), "CP1252");
    EXPECT_EQ(page, kHead +
                        "<TR ALIGN=CENTER VALIGN=CENTER>\r\n<TD WIDTH=25%>abc@x</TD>\r\n<TD WIDTH=25%>A</TD>\r\n"
                        "<TD WIDTH=25%></TD>\r\n<TD WIDTH=25%>False</TD>\r\n</TR>\r\n"
                        "<TR ALIGN=CENTER VALIGN=CENTER>\r\n<TD WIDTH=25%>zed@x</TD>\r\n"
                        "<TD WIDTH=25%>&lt;b&gt;Tom &amp; &quot;Jerry&quot;&lt;/b&gt;</TD>\r\n"
                        "<TD WIDTH=25%>S\xe9</TD>\r\n<TD WIDTH=25%>True</TD>\r\n</TR>\r\n" +
                        kTail);
}

TEST(HtmlExport, DoubleQuoteInGroupNameIsEscapedBetweenTheQuotes)
{
    const std::string page = htmlPage("a\"b", std::vector<HtmlRecipientRow>{});
    EXPECT_EQ(page.substr(0, page.find("\r\n")),
              "<HTML><HEAD><TITLE>Orv Software Labs. \"a&quot;b\" group list</TITLE>");
    EXPECT_NE(page.find("\r\n<CENTER><h3> Recipients list in \"a&quot;b\" group </CENTER>\r\n"), std::string::npos);
}

TEST(HtmlExport, WritingReplacesTheFile)
{
    const auto path = std::filesystem::temp_directory_path() / "quillet-export-test.htm";
    writeHtmlFile(path.string(), "a much longer first page\r\n");
    writeHtmlFile(path.string(), "second\r\n");
    std::ifstream in(path, std::ios::binary);
    std::stringstream content;
    content << in.rdbuf();
    EXPECT_EQ(content.str(), "second\r\n");
    std::filesystem::remove(path);
    EXPECT_THROW(writeHtmlFile((path / "no-such-folder" / "x.htm").string(), "x"), ProjectFileError);
}
