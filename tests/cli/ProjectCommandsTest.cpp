// The project commands of the command line, run as the real binary: files they write, what they
// print, their exit status, and files left untouched when they fail.
#include "cli/CliHarness.h"

#include "project/ProjectFileReader.h"
#include "project/ProjectFileWriter.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/stat.h>

using quillet::test::CliHarness;
using quillet::test::CliResult;
using ::testing::HasSubstr;
using ::testing::MatchesRegex;

namespace {

constexpr const char* kEmptyProjectJson =
    "{\"name\": \"p.oqf\", \"description\": \"\", \"author_name\": \"\", \"author_web\": \"\", \"author_email\": \"\", "
    "\"groups\": [{\"name\": \"p.oqf\", \"description\": \"\"}], \"recipients\": [], \"accounts\": []}\n";

class ProjectCommands : public ::testing::Test {
protected:
    CliResult quillet(std::vector<std::string> args) { return cli.run(args); }

    // A new project "p.oqf" in the work folder; returns its path.
    std::string newProject()
    {
        const CliResult r = quillet({"project", "new", "p.oqf"});
        EXPECT_EQ(r.status, 0) << r;
        return cli.file("p.oqf");
    }

    CliHarness cli;
};

} // namespace

TEST_F(ProjectCommands, HelpVersionAndUsageErrors)
{
    const CliResult help = quillet({"--help"});
    EXPECT_EQ(help.status, 0);
    for (const char* command :
         {"project new", "project show", "group list", "group add", "recipient add", "account add"})
        EXPECT_NE(help.out.find(command), std::string::npos) << command;
    const CliResult version = quillet({"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_THAT(version.out, MatchesRegex("quillet [0-9]+\\.[0-9]+\\.[0-9]+ \\(.+\\)\n")) << version;

    // Each command's help and usage errors name that command.
    const CliResult serveHelp = quillet({"serve", "--help"});
    EXPECT_EQ(serveHelp.status, 0);
    EXPECT_EQ(serveHelp.out.rfind("Usage: quillet serve [options]\n", 0), 0u) << serveHelp;
    const CliResult showHelp = quillet({"project", "show", "--help"});
    EXPECT_EQ(showHelp.status, 0);
    EXPECT_EQ(showHelp.out.rfind("Usage: quillet project show [options] FILE", 0), 0u) << showHelp;
    EXPECT_THAT(quillet({"group", "add", "--bogus"}).err, HasSubstr("\nUsage: quillet group add [options]"));
    EXPECT_EQ(quillet({"project", "show"}).status, 2);       // no FILE
    EXPECT_EQ(quillet({"project", "frobnicate"}).status, 2); // no such command
    EXPECT_EQ(quillet({"project", "show", "a.oqf", "--no-such-option"}).status, 2);
}

TEST_F(ProjectCommands, NewProjectIsOwnerOnlyWithOneGroupNamedAfterIt)
{
    const std::string path = newProject();
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_EQ(st.st_size, 1304 + 512);
    const CliResult show = quillet({"project", "show", "p.oqf", "--json"});
    EXPECT_EQ(show.status, 0) << show;
    EXPECT_EQ(show.out, kEmptyProjectJson);

    const CliResult named = quillet({"project", "new", "q.oqf", "--name", "Mailing", "--description", "D",
                                     "--author-name", "A", "--author-web", "W", "--author-email", "E"});
    ASSERT_EQ(named.status, 0) << named;
    const quillet::Project q = quillet::loadProjectFile(cli.file("q.oqf"));
    EXPECT_EQ(q.properties.Name.str(), "Mailing");
    EXPECT_EQ(q.properties.AutorEmail.str(), "E");
    ASSERT_EQ(q.groups.size(), 1u);
    EXPECT_EQ(q.groups[0].name, "Mailing");
}

TEST_F(ProjectCommands, NewProjectNeverReplacesAnExistingFile)
{
    const std::string path = newProject();
    ASSERT_EQ(quillet({"group", "add", "p.oqf", "Friends"}).status, 0);
    const std::string before = CliHarness::readFile(path);
    const CliResult again = quillet({"project", "new", "p.oqf"});
    EXPECT_EQ(again.status, 1);
    EXPECT_EQ(again.err, "File \"p.oqf\" already exists\n");
    EXPECT_EQ(CliHarness::readFile(path), before);
}

TEST_F(ProjectCommands, GroupsAreAppendedInOrderAndDuplicateNamesRefused)
{
    const std::string path = newProject();
    EXPECT_EQ(quillet({"group", "add", "p.oqf", "Friends", "--description", "close ones"}).status, 0);
    EXPECT_EQ(quillet({"group", "add", "p.oqf", "friends"}).status, 0); // names are case-sensitive
    const std::string before = CliHarness::readFile(path);

    const CliResult duplicate = quillet({"group", "add", "p.oqf", "Friends", "--description", "again"});
    EXPECT_EQ(duplicate.status, 1);
    EXPECT_EQ(duplicate.err, "Group with \"Friends\" name already exist.\n");
    EXPECT_EQ(duplicate.out, "");
    EXPECT_EQ(CliHarness::readFile(path), before);

    const CliResult list = quillet({"group", "list", "p.oqf"});
    EXPECT_EQ(list.status, 0);
    EXPECT_EQ(list.out, "p.oqf\nFriends\tclose ones\nfriends\n");

    // JSON escapes what would break a string.
    ASSERT_EQ(quillet({"group", "add", "p.oqf", "Say \"hi\"\\", "--description", "a\tb\x01"}).status, 0);
    EXPECT_NE(quillet({"project", "show", "p.oqf", "--json"})
                  .out.find("{\"name\": \"Say \\\"hi\\\"\\\\\", \"description\": \"a\\tb\\u0001\"}"),
              std::string::npos);
}

TEST_F(ProjectCommands, RecipientKeepsEveryFieldAndLongTextsAreCut)
{
    newProject();
    ASSERT_EQ(quillet({"group", "add", "p.oqf", "Friends"}).status, 0);
    // The address is not valid (its local part is too long), so it takes --force.
    const std::string longAddress = std::string(300, 'x') + "@example.org";
    const CliResult added =
        quillet({"recipient", "add", "p.oqf", "--force", "--group", "Friends", "--email", longAddress, "--name", "Ann",
                 "--surname", "Lee", "--disabled", "--param", "city=Oslo", "--param", "code=a=b"});
    ASSERT_EQ(added.status, 0) << added;
    const quillet::Project p = quillet::loadProjectFile(cli.file("p.oqf"));
    ASSERT_EQ(p.recipients.size(), 1u);
    const quillet::RecipientRecord& r = p.recipients[0];
    EXPECT_EQ(r.EMail.str(), std::string(255, 'x'));
    EXPECT_EQ(r.Surname.str(), "Lee");
    EXPECT_EQ(r.Enabled, 0);
    EXPECT_EQ(r.ParamName2.str(), "code");
    EXPECT_EQ(r.ParamValue2.str(), "a=b");
    EXPECT_EQ(r.ParamName3.length(), 0u);
    EXPECT_EQ(r.Group.str(), "Friends");

    const CliResult json = quillet({"project", "show", "--json", "p.oqf"});
    EXPECT_NE(json.out.find("\"enabled\": false, \"params\": [{\"name\": \"city\", \"value\": \"Oslo\"}, "
                            "{\"name\": \"code\", \"value\": \"a=b\"}, {\"name\": \"\", \"value\": \"\"}, "
                            "{\"name\": \"\", \"value\": \"\"}], \"group\": \"Friends\"}"),
              std::string::npos)
        << json;
}

TEST_F(ProjectCommands, RecipientRefusalsLeaveTheFileAlone)
{
    const std::string path = newProject();
    const std::string before = CliHarness::readFile(path);
    const CliResult unknown = quillet({"recipient", "add", "p.oqf", "--group", "P.OQF", "--email", "a@b"});
    EXPECT_EQ(unknown.status, 1);
    EXPECT_EQ(unknown.err, "Group \"P.OQF\" does not exist\n");
    std::vector<std::string> fiveParams{"recipient", "add", "p.oqf", "--group", "p.oqf", "--email", "a@b"};
    for (int i = 0; i < 5; ++i)
        fiveParams.insert(fiveParams.end(), {"--param", "n=v"});
    EXPECT_EQ(quillet(fiveParams).status, 2);
    EXPECT_EQ(quillet({"recipient", "add", "p.oqf", "--group", "p.oqf", "--email", "a@b", "--param", "novalue"}).status,
              2);
    EXPECT_EQ(quillet({"recipient", "add", "p.oqf", "--group", "p.oqf"}).status, 2);
    EXPECT_EQ(CliHarness::readFile(path), before);
}

TEST_F(ProjectCommands, AccountsDefaultToPort25AndEnabled)
{
    newProject();
    ASSERT_EQ(quillet({"account", "add", "p.oqf", "--host", "smtp.example.org", "--password", "pw"}).status, 0);
    ASSERT_EQ(quillet({"account", "add", "p.oqf", "--host", "b", "--port", "smtp", "--user", "u", "--from-name", "N",
                       "--from-address", "n@x", "--reply-to", "r@x", "--disabled"})
                  .status,
              0);
    const quillet::Project p = quillet::loadProjectFile(cli.file("p.oqf"));
    ASSERT_EQ(p.accounts.size(), 2u);
    EXPECT_EQ(p.accounts[0].port, "25");
    EXPECT_EQ(p.accounts[0].enabled, "True");
    EXPECT_EQ(p.accounts[0].password, "pw");
    EXPECT_EQ(p.accounts[1].port, "smtp");
    EXPECT_EQ(p.accounts[1].replyTo, "r@x");
    EXPECT_EQ(p.accounts[1].enabled, "False");
    EXPECT_EQ(quillet({"account", "add", "p.oqf"}).status, 2); // --host is required

    const CliResult show = quillet({"project", "show", "p.oqf"});
    EXPECT_EQ(show.out.find("pw"), std::string::npos) << "the readable listing hides passwords";
    const CliResult json = quillet({"project", "show", "p.oqf", "--json"});
    EXPECT_NE(json.out.find("{\"host\": \"smtp.example.org\", \"user\": \"\", \"password\": \"pw\", \"port\": \"25\", "
                            "\"from_name\": \"\", \"from_address\": \"\", \"reply_to\": \"\", \"enabled\": \"True\"}"),
              std::string::npos)
        << json;
}

TEST_F(ProjectCommands, ShowPrintsStoredValuesAsTheyStand)
{
    // A file written by someone else: an odd enabled byte, a recipient of no group, "true" in small letters.
    quillet::Project p;
    p.properties.Name.set("Odd");
    p.groups.push_back({"G", "d"});
    quillet::RecipientRecord r;
    r.EMail.set("orphan@x");
    r.Group.set("Nowhere");
    r.Enabled = 7;
    p.recipients.push_back(r);
    p.accounts.push_back({"h", "", "", "25", "", "", "", "true"});
    quillet::saveProjectFile(p, cli.file("odd.oqf"));

    const CliResult json = quillet({"project", "show", "odd.oqf", "--json"});
    ASSERT_EQ(json.status, 0) << json;
    EXPECT_NE(json.out.find("\"email\": \"orphan@x\", \"name\": \"\", \"surname\": \"\", \"enabled\": true"),
              std::string::npos);
    EXPECT_NE(json.out.find("\"group\": \"Nowhere\""), std::string::npos);
    EXPECT_NE(json.out.find("\"enabled\": \"true\"}"), std::string::npos);
    const CliResult text = quillet({"project", "show", "odd.oqf"});
    EXPECT_NE(text.out.find("  orphan@x\t\t\tTrue\tNowhere\n"), std::string::npos) << text;
}

TEST_F(ProjectCommands, RejectedAndDamagedFilesFailWithTheirMessage)
{
    CliHarness::writeFile(cli.file("text.oqf"), "hello, this is not a project file at all");
    const CliResult notProject = quillet({"project", "show", "text.oqf"});
    EXPECT_EQ(notProject.status, 1);
    EXPECT_EQ(notProject.err, "Is not are Orv Quillet file or this file broken\n");
    EXPECT_EQ(notProject.out, "");

    const std::string path = newProject();
    const std::string whole = CliHarness::readFile(path);
    CliHarness::writeFile(cli.file("cut.oqf"), whole.substr(0, whole.size() - 100));
    const CliResult cut = quillet({"group", "add", "cut.oqf", "New"});
    EXPECT_EQ(cut.status, 1);
    EXPECT_EQ(cut.err, "The file \"cut.oqf\" is damaged: it ends before the end of its data\n");
    EXPECT_EQ(CliHarness::readFile(cli.file("cut.oqf")), whole.substr(0, whole.size() - 100));

    const CliResult missing = quillet({"group", "list", "missing.oqf"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.err, "Cannot open file \"missing.oqf\". No such file or directory\n");
}

TEST_F(ProjectCommands, TextsAreStoredInTheCodePageAndPrintedAsUtf8)
{
    newProject();
    ASSERT_EQ(quillet({"group", "add", "p.oqf", "K\xC3\xB6ln"}).status, 0); // Köln
    const quillet::Project p = quillet::loadProjectFile(cli.file("p.oqf"));
    EXPECT_EQ(p.groups.back().name, "K\xF6ln"); // Windows-1252
    EXPECT_EQ(quillet({"group", "list", "p.oqf"}).out, "p.oqf\nK\xC3\xB6ln\n");
    EXPECT_NE(quillet({"project", "show", "p.oqf", "--json"}).out.find("\"K\xC3\xB6ln\""), std::string::npos);

    // A text the code page cannot hold is refused, not mangled.
    const std::string before = CliHarness::readFile(cli.file("p.oqf"));
    const CliResult japanese = quillet({"group", "add", "p.oqf", "\xE6\x97\xA5\xE6\x9C\xAC"});
    EXPECT_EQ(japanese.status, 1);
    EXPECT_NE(japanese.err.find("cannot represent"), std::string::npos) << japanese;
    EXPECT_EQ(CliHarness::readFile(cli.file("p.oqf")), before);

    // In a Japanese locale the same text is stored in Shift_JIS.
    cli.setEnv("LC_ALL", "ja_JP.UTF-8");
    ASSERT_EQ(quillet({"group", "add", "p.oqf", "\xE6\x97\xA5\xE6\x9C\xAC"}).status, 0);
    EXPECT_EQ(quillet::loadProjectFile(cli.file("p.oqf")).groups.back().name, "\x93\xFA\x96\x7B");
    EXPECT_EQ(quillet({"group", "list", "p.oqf"}).out.substr(quillet({"group", "list", "p.oqf"}).out.size() - 7),
              "\xE6\x97\xA5\xE6\x9C\xAC\n");
}
