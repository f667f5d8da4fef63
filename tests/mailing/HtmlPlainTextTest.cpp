// "Make the plain text from the HTML": what a reader of the plain alternative sees of a page.
#include "mailing/HtmlPlainText.h"

#include "project/CodePage.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using namespace quillet;
using ::testing::ElementsAre;

TEST(HtmlPlainText, BlocksListsLinksAndHiddenPartsAsAReaderExpects)
{
    selectCodePage("windows-1252");
    const std::vector<std::string> page{
        "<!DOCTYPE html><html><head><title>Spring</title><style>p { color: red }</style></head>",
        "<body><h1>Hello   %NAME%,</h1>",
        "<p>Our <b>caf&eacute;</b> &amp; bar<br>opens &#8364;5 &#x41; &unknown; <!-- not this --></p>",
        "<ul><li>one</li><li>two<ol><li>first<li>second</ol></ul>",
        "<p><a href=\"https://x.org/u?e=%ADDRESS%\">Leave</a> or <a href='mailto:a@x.org'>a@x.org</a>"
        " <a href=\"#top\">up</a></p>",
        "<table><tr><td>1</td><td>2</td></tr><tr><th>3<th>4</tr></table>",
        "<pre>  keep\n    this</pre><hr><img src=\"l.png\" alt=\"Logo\"><script>if (a<b) x();</script>",
        "a < b</body></html>"};
    EXPECT_THAT(PlainTextFromHtml(page),
                ElementsAre("Hello %NAME%,", "", "Our caf\xE9 & bar",
                            "opens \x80"
                            "5 A &unknown;",
                            "", "- one", "- two", "", "1. first", "2. second", "",
                            "Leave (https://x.org/u?e=%ADDRESS%) or a@x.org up", "", "1 2", "3 4", "", "  keep",
                            "    this", "", std::string(40, '-'), "", "[Logo] a < b"));
    // A character the code page lacks is "?"; a page without text gives no lines.
    EXPECT_THAT(PlainTextFromHtml({"<p>&#x65E5; &#xD800;</p>"}), ElementsAre("? &#xD800;"));
    EXPECT_TRUE(PlainTextFromHtml({"<html><body><p> </p><br><br></body></html>"}).empty());
    EXPECT_THAT(PlainTextFromHtml({"end <p class=\"x"}), ElementsAre("end"));
    // An attribute's line breaks (found by fuzzing) are spaces in the text.
    EXPECT_THAT(PlainTextFromHtml({"<img alt=\"two", "lines&#10;here\">"}), ElementsAre("[two lines here]"));
    selectCodePage("utf-8");
    EXPECT_THAT(PlainTextFromHtml({"&#x65E5;&#26412; &euro;"}), ElementsAre("\xE6\x97\xA5\xE6\x9C\xAC \xE2\x82\xAC"));
    selectCodePage("auto");
}
