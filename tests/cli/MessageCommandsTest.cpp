// The send command's message options, run as the real binary with --dry-run, --preview and
// --check: body files in the terminal's or a named encoding, HTML, List-Unsubscribe, extra
// headers, From from the sender, the pre-flight findings, and a UTF-8 project end to end.
#include "cli/CliHarness.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using quillet::test::CliHarness;
using quillet::test::CliResult;
using ::testing::HasSubstr;
using ::testing::Not;

namespace {

class MessageCommands : public ::testing::Test {
protected:
    CliResult quillet(std::vector<std::string> args) { return cli.run(args); }
    void ok(std::vector<std::string> args)
    {
        const CliResult r = quillet(args);
        ASSERT_EQ(r.status, 0) << r;
    }
    void prepare()
    {
        project = cli.file("p.oqf");
        ok({"project", "new", project, "--author-name", "Orv"});
        ok({"group", "add", project, "Club"});
        ok({"recipient", "add", project, "--group", "Club", "--email", "zoe@x.org", "--name", "Zoe", "--param",
            "CITY=Oslo"});
        ok({"recipient", "add", project, "--group", "Club", "--email", "max@x.org", "--name", "M<a>x", "--param",
            "CITY=Lima"});
    }
    CliHarness cli;
    std::string project;
};

} // namespace

TEST_F(MessageCommands, BodyFilesAreTextOfTheirEncodingAndHeadersAreAdded)
{
    prepare();
    CliHarness::writeFile(cli.file("body.txt"), "Caf\xC3\xA9 for %NAME% in %CITY%\n");
    CliHarness::writeFile(cli.file("latin1.txt"), "Caf\xE9\n");
    CliHarness::writeFile(cli.file("page.html"), "<p>Hi %NAME%</p>\n");
    const CliResult r = quillet({"send", project, "--group", "Club", "--subject", "Caf\xC3\xA9 %NAME%", "--body-file",
                                 cli.file("body.txt"), "--html-file", cli.file("page.html"), "--from-sender",
                                 "--sender", "news@x.org", "--unsubscribe-url", "https://x.org/u?e=%ADDRESS%",
                                 "--header", "X-Campaign: spring", "--preview", "1"});
    ASSERT_EQ(r.status, 0) << r;
    EXPECT_THAT(r.out, HasSubstr("From: news@x.org\r\n"));
    EXPECT_THAT(r.out, HasSubstr("Subject: =?ISO-8859-1?Q?Caf=E9?= M<a>x\r\n"));
    EXPECT_THAT(r.out, HasSubstr("Message-ID: <"));
    EXPECT_THAT(r.out, HasSubstr("List-Unsubscribe: <https://x.org/u?e=max%40x.org>\r\n"
                                 "List-Unsubscribe-Post: List-Unsubscribe=One-Click\r\nX-Campaign: spring\r\n"));
    EXPECT_THAT(r.out, HasSubstr("charset=windows-1252\r\nContent-Transfer-Encoding: quoted-printable\r\n\r\n"
                                 "Caf=E9 for M<a>x in Lima\r\n"));
    EXPECT_THAT(r.out, HasSubstr("<p>Hi M&lt;a&gt;x</p>"));

    // The same file read as Latin-1, and a character the code page lacks, named by place.
    CliResult named = quillet({"send", project, "--group", "Club", "--body-file", cli.file("latin1.txt"),
                               "--body-encoding", "ISO-8859-1", "--preview", "1"});
    EXPECT_THAT(named.out, HasSubstr("\r\n\r\nCaf=E9\r\n"));
    CliHarness::writeFile(cli.file("polish.txt"), "ok\nPan \xC5\x81ukasz\n");
    named = quillet({"send", project, "--group", "Club", "--body-file", cli.file("polish.txt"), "--preview", "1"});
    EXPECT_EQ(named.status, 1);
    EXPECT_THAT(named.err, HasSubstr("line 2, column 5: the character U+0141 has no code in code page CP1252"));
    for (const char* bad : {"Bad Name: x", "X-A", "Content-Type: text/html"})
        EXPECT_EQ(quillet({"send", project, "--group", "Club", "--header", bad, "--check"}).status, 1) << bad;
}

TEST_F(MessageCommands, PreflightFindsEveryProblemOnceAndNothingOnACleanRun)
{
    prepare();
    CliHarness::writeFile(cli.file("body.txt"), "Hello %NAME% from %TOWN%\n");
    const CliResult clean = quillet({"send", project, "--group", "Club", "--subject", "Hi %NAME%", "--from", "me@x.org",
                                     "--body-file", cli.file("body.txt"), "--check"});
    EXPECT_EQ(clean.status, 1);
    EXPECT_EQ(clean.out, "warning: 2 recipient(s): %TOWN% is not replaced in the message (max@x.org, zoe@x.org)\n"
                         "2 message(s), about 1.2 KB in all\n");

    // An address that is not valid is kept with --force where recipient add checks addresses.
    if (quillet({"recipient", "add", project, "--group", "Club", "--email", "bad@@x", "--force"}).status != 0)
        ok({"recipient", "add", project, "--group", "Club", "--email", "bad@@x"});
    ok({"recipient", "add", project, "--group", "Club", "--email", "ZOE@x.org", "--disabled"});
    const CliResult found = quillet(
        {"send", project, "--group", "Club", "--subject", "%SURNAME%", "--attach", cli.file("body.txt"), "--check"});
    EXPECT_EQ(found.status, 1);
    EXPECT_EQ(found.out, "warning: 4 recipient(s): %SURNAME% is empty in the subject (ZOE@x.org, bad@@x, max@x.org, "
                         "zoe@x.org)\nwarning: The message has no text\n"
                         "warning: The message has no From: receivers may refuse it (use a template with a reply-to "
                         "line, --from, or the sender address as From)\n"
                         "warning: 1 recipient(s) with an address that is not valid (bad@@x)\n"
                         "warning: 1 address(es) chosen more than once (zoe@x.org)\n"
                         "warning: 1 disabled recipient(s) will receive the message (ZOE@x.org)\n"
                         "4 message(s), about 2.6 KB in all\n");

    CliHarness::writeFile(cli.file("plain.txt"), "Hello %NAME%\n");
    const CliResult good = quillet({"send", project, "--group", "Club", "--recipient", "max@x.org", "--subject", "Hi",
                                    "--from", "me@x.org", "--body-file", cli.file("plain.txt"), "--check"});
    EXPECT_EQ(good.status, 0) << good;
    EXPECT_EQ(good.out, "1 message(s), about 0.6 KB in all\n");
}

TEST_F(MessageCommands, Utf8ProjectSurvivesSaveLoadHarvestAndExport)
{
    cli.setEnv("QUILLET_CODEPAGE", "utf-8");
    prepare();
    const std::string name = "\xC5\x81ukasz \xE6\x97\xA5\xE6\x9C\xAC";
    ok({"recipient", "add", project, "--group", "Club", "--email", "lukasz@x.org", "--name", name});
    CliHarness::writeFile(cli.file("found.txt"), "Write to dvo\xC5\x99\xC3\xA1k@x.org or ann@x.org.\n");
    ok({"harvest", cli.file("found.txt"), "--project", project, "--group", "Club"});
    CliResult shown = quillet({"project", "show", project});
    EXPECT_THAT(shown.out, HasSubstr(name));
    EXPECT_THAT(shown.out, HasSubstr("ann@x.org"));
    ok({"export-html", project, "--group", "Club", "--output", cli.file("club.html")});
    EXPECT_THAT(CliHarness::readFile(cli.file("club.html")), HasSubstr(name));
    const CliResult preview = quillet({"send", project, "--group", "Club", "--recipient", "lukasz@x.org", "--subject",
                                       "Dla %NAME%", "--preview", "1"});
    EXPECT_THAT(preview.out, HasSubstr("Subject: Dla =?UTF-8?B?"));
    EXPECT_THAT(preview.err, Not(HasSubstr("code page")));

    // The same file under the Western code page: a warning, not silent mojibake.
    cli.setEnv("QUILLET_CODEPAGE", nullptr);
    shown = quillet({"--codepage", "windows-1252", "project", "show", project});
    EXPECT_EQ(shown.status, 0);
    EXPECT_THAT(shown.err, HasSubstr("do not look like text of this code page"));
    EXPECT_EQ(quillet({"--codepage", "latin9", "project", "show", project}).status, 2);
}

TEST_F(MessageCommands, TemplateHtmlIsTextBesideTheTemplateAndGoesOutWithIt)
{
    prepare();
    CliHarness::writeFile(cli.file("page.html"), "<p>Caf\xC3\xA9 for %NAME%</p>\n");
    ok({"template", "add", "Page", "--subject", "Hi", "--html-file", cli.file("page.html")});
    const std::filesystem::path folder = cli.home() / "Templates";
    EXPECT_EQ(CliHarness::readFile((folder / "Page.tmpl").string()),
              "Orv Quillet template Version 1.0\r\nPage\r\nHi\r\n\r\n");
    EXPECT_EQ(CliHarness::readFile((folder / "Page.tmpl.html").string()), "<p>Caf\xE9 for %NAME%</p>\r\n");
    const CliResult r = quillet({"send", project, "--group", "Club", "--template", "Page", "--preview", "2"});
    ASSERT_EQ(r.status, 0) << r;
    EXPECT_THAT(r.out, HasSubstr("Content-Type: text/html; charset=windows-1252"));
    EXPECT_THAT(r.out, HasSubstr("<p>Caf=E9 for Zoe</p>"));
    CliHarness::writeFile(cli.file("bad.html"), "<p>\xC5\x81</p>\n");
    const CliResult bad = quillet({"template", "add", "Bad", "--html-file", cli.file("bad.html")});
    EXPECT_EQ(bad.status, 1);
    EXPECT_THAT(bad.err, HasSubstr("line 1, column 4"));
    EXPECT_FALSE(std::filesystem::exists(folder / "Bad.tmpl"));
}
