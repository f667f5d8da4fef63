// quillet harvest, find and export-html on real project files.
#include "cli/CliHarness.h"

#include "project/ProjectFileReader.h"

#include <gtest/gtest.h>

using quillet::test::CliHarness;
using namespace std::string_literals;

namespace {

class AddressBookCommands : public ::testing::Test {
protected:
    void SetUp() override
    {
        project = cli.file("p.oqf");
        ASSERT_EQ(cli.run({"project", "new", project, "--name", "P"}).status, 0);
        ASSERT_EQ(cli.run({"group", "add", project, "Friends"}).status, 0);
        ASSERT_EQ(
            cli.run({"recipient", "add", project, "--group", "Friends", "--email", "zed@x", "--name", "Zed"}).status,
            0);
        ASSERT_EQ(cli.run({"recipient", "add", project, "--group", "P", "--email", "Ann@Example.com", "--param",
                           "City=Zürich"})
                      .status,
                  0);
    }
    CliHarness cli;
    std::string project;
};

} // namespace

TEST_F(AddressBookCommands, HarvestPrintsAndAddsToTheGroup)
{
    const std::string text = cli.file("page.html");
    CliHarness::writeFile(text, "<a href=\"mailto:ann@ex.com\">x</a>\r\nbob@ex.org, bob@ex.org\nend\0nul@x"s);
    auto r = cli.run({"harvest", text});
    ASSERT_EQ(r.status, 0) << r;
    EXPECT_EQ(r.out, "ann@ex.com\nbob@ex.org\nbob@ex.org\n");

    r = cli.run({"harvest", text, "--project", project, "--group", "Friends"});
    ASSERT_EQ(r.status, 0) << r;
    const quillet::Project p = quillet::loadProjectFile(project);
    ASSERT_EQ(p.recipients.size(), 5u);
    EXPECT_EQ(p.recipients[2].EMail.str(), "ann@ex.com");
    EXPECT_EQ(p.recipients[4].Group.str(), "Friends");
    EXPECT_TRUE(p.recipients[4].enabled());
}

TEST_F(AddressBookCommands, HarvestFailures)
{
    auto r = cli.run({"harvest", cli.file("missing.txt")});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "File is not exists\n");

    const std::string text = cli.file("t.txt");
    CliHarness::writeFile(text, "a@b\n");
    const std::string before = CliHarness::readFile(project);
    r = cli.run({"harvest", text, "--project", project, "--group", "friends"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Group \"friends\" does not exist\n");
    EXPECT_EQ(CliHarness::readFile(project), before);
    EXPECT_EQ(cli.run({"harvest", text, "--project", project}).status, 2);
}

TEST_F(AddressBookCommands, FindWithTheWindowsFieldRules)
{
    auto r = cli.run({"find", project, "x"});
    ASSERT_EQ(r.status, 0) << r;
    EXPECT_EQ(r.out, "zed@x\tFriends\nAnn@Example.com\tP\n");

    r = cli.run({"find", project, "zürich"}); // parameter values, upper-cased by the locale
    EXPECT_EQ(r.out, "Ann@Example.com\tP\n");
    EXPECT_EQ(cli.run({"find", project, "ann@example.com", "--exact"}).out, "Ann@Example.com\tP\n");
    EXPECT_EQ(cli.run({"find", project, "x", "--group", "Friends"}).out, "zed@x\tFriends\n");

    r = cli.run({"find", project, "ann", "--case-sensitive"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Search string \"ann\" not found\n");
    EXPECT_EQ(cli.run({"find", project, "Friends"}).status, 1); // the group name is not searched
}

TEST_F(AddressBookCommands, ExportHtmlWritesTheGroupsPage)
{
    const std::string page = cli.file("out.htm");
    CliHarness::writeFile(page, std::string(5000, 'x'));
    auto r = cli.run({"export-html", project, "--group", "Friends", "--output", page});
    ASSERT_EQ(r.status, 0) << r;
    const std::string html = CliHarness::readFile(page);
    EXPECT_EQ(html.rfind("<HTML><HEAD><TITLE>Orv Software Labs. \"Friends\" group list</TITLE>\r\n", 0), 0u);
    EXPECT_NE(html.find("\r\n<TD WIDTH=25%>zed@x</TD>\r\n<TD WIDTH=25%>Zed</TD>\r\n"), std::string::npos);
    EXPECT_EQ(html.find("Ann@"), std::string::npos);
    EXPECT_EQ(html.substr(html.size() - 16), "</BODY></HTML>\r\n");

    r = cli.run({"export-html", project, "--group", "None", "--output", page});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(cli.run({"export-html", project, "--output", page}).status, 2);
}
