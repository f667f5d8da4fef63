// quillet import-csv, export-csv, recipient list/delete/edit, group delete/rename and the address
// checks of recipient add, on real project files.
#include "cli/CliHarness.h"

#include "project/ProjectFileReader.h"
#include "support/FileSizeLimit.h"

#include <gtest/gtest.h>

using quillet::test::CliHarness;

namespace {

class RecipientCommands : public ::testing::Test {
protected:
    void SetUp() override
    {
        project = cli.file("p.oqf");
        ASSERT_EQ(cli.run({"project", "new", project, "--name", "Club"}).status, 0);
        ASSERT_EQ(cli.run({"recipient", "add", project, "--group", "Club", "--email", "zed@example.org", "--name",
                           "Zed", "--param", "CITY=Faro"})
                      .status,
                  0);
    }
    std::string csv(const std::string& name, const std::string& text)
    {
        const std::string path = cli.file(name);
        CliHarness::writeFile(path, text);
        return path;
    }
    quillet::Project load() const { return quillet::loadProjectFile(project); }

    CliHarness cli;
    std::string project;
};

} // namespace

TEST_F(RecipientCommands, ImportReportsRowsAndSavesOnce)
{
    const std::string file = csv("in.csv", "Email;First name;Last name;City\n"
                                           "ann@example.org;Ann;Lee;Lisbon\n"
                                           "ZED@example.org;Zed;Again;Porto\n"
                                           "broken;No;One;X\n");
    auto r = cli.run({"import-csv", project, file, "--group", "Club"});
    ASSERT_EQ(r.status, 0) << r;
    EXPECT_EQ(r.out, "imported 1, updated 0, duplicates skipped 1, invalid 1\n");
    EXPECT_EQ(r.err, "4: Invalid e-mail address \"broken\": the address has no @\n");
    quillet::Project p = load();
    ASSERT_EQ(p.recipients.size(), 2u);
    EXPECT_EQ(p.recipients[1].Surname.str(), "Lee");
    EXPECT_EQ(p.recipients[1].ParamName1.str(), "City");

    r = cli.run({"import-csv", project, file, "--group", "Club", "--duplicates", "update"});
    ASSERT_EQ(r.status, 0) << r;
    EXPECT_EQ(r.out, "imported 0, updated 2, duplicates skipped 0, invalid 1\n");
    EXPECT_EQ(load().recipients[0].Surname.str(), "Again");
}

TEST_F(RecipientCommands, ImportThatChangesNothing)
{
    const std::string before = CliHarness::readFile(project);
    const std::string good = csv("good.csv", "email\nnew@example.org\nbad\n");
    auto r = cli.run({"import-csv", project, good, "--group", "Club", "--dry-run"});
    EXPECT_EQ(r.status, 0) << r;
    EXPECT_EQ(r.out, "imported 1, updated 0, duplicates skipped 0, invalid 1\n");
    EXPECT_EQ(r.err, "3: Invalid e-mail address \"bad\": the address has no @\nDry run: the project was not changed\n");

    r = cli.run({"import-csv", project, good, "--group", "Club", "--strict"});
    EXPECT_EQ(r.status, 1) << r;
    EXPECT_EQ(r.err, "3: Invalid e-mail address \"bad\": the address has no @\n"
                     "Nothing was imported: the file has invalid rows (--strict)\n");

    r = cli.run({"import-csv", project, csv("bad.csv", "email\nbad\n"), "--group", "Club"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "2: Invalid e-mail address \"bad\": the address has no @\nNothing could be imported\n");

    r = cli.run({"import-csv", project, cli.file("missing.csv"), "--group", "Club"});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.starts_with("Cannot open file \"" + cli.file("missing.csv") + "\".")) << r;

    r = cli.run({"import-csv", project, csv("e.csv", ""), "--group", "Club"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "The file holds no recipients\n");

    r = cli.run({"import-csv", project, good, "--group", "Nobody"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Group \"Nobody\" does not exist\n");
    EXPECT_EQ(cli.run({"import-csv", project, good, "--group", "Club", "--duplicates", "merge"}).status, 2);
    EXPECT_EQ(CliHarness::readFile(project), before);
}

TEST_F(RecipientCommands, ImportIntoANewGroupWithMapAndSeparator)
{
    const std::string file = csv("m.csv", "a|b|c\nAnn|ann@example.org|Lisbon\n");
    auto r = cli.run({"import-csv", project, file, "--group", "New", "--create-group", "--separator", "|", "--map",
                      "email=2,name=a", "--map", "TOWN=3"});
    ASSERT_EQ(r.status, 0) << r;
    const quillet::Project p = load();
    ASSERT_EQ(p.groups.size(), 2u);
    EXPECT_EQ(p.groups[1].name, "New");
    EXPECT_EQ(p.recipients[1].Name.str(), "Ann");
    EXPECT_EQ(p.recipients[1].ParamName1.str(), "TOWN");
    EXPECT_EQ(p.recipients[1].ParamValue1.str(), "Lisbon");
}

TEST_F(RecipientCommands, ExportAndImportBackGiveTheSameRecipients)
{
    ASSERT_EQ(cli.run({"recipient", "add", project, "--group", "Club", "--email", "amy@example.org", "--name",
                       "Amy, \"A\"", "--surname", "Müller", "--disabled", "--param", "CITY=São Paulo"})
                  .status,
              0);
    const std::string out = cli.file("out.csv");
    auto r = cli.run({"export-csv", project, "--group", "Club", "--output", out});
    ASSERT_EQ(r.status, 0) << r;
    EXPECT_EQ(CliHarness::readFile(out), "\xEF\xBB\xBF"
                                         "email,name,surname,enabled,group,CITY\r\n"
                                         "zed@example.org,Zed,,True,Club,Faro\r\n"
                                         "amy@example.org,\"Amy, \"\"A\"\"\",Müller,False,Club,São Paulo\r\n");
    const std::string copy = cli.file("copy.oqf");
    ASSERT_EQ(cli.run({"project", "new", copy, "--name", "Club"}).status, 0);
    ASSERT_EQ(cli.run({"import-csv", copy, out, "--group", "Club"}).status, 0);
    EXPECT_EQ(cli.run({"project", "show", copy, "--json"}).out, cli.run({"project", "show", project, "--json"}).out);
}

TEST_F(RecipientCommands, AFailedExportLeavesTheEarlierFile)
{
    std::string rows = "email\n";
    for (int i = 0; i < 300; ++i)
        rows += "member" + std::to_string(i) + "@example.org\n";
    ASSERT_EQ(cli.run({"import-csv", project, csv("in.csv", rows), "--group", "Club"}).status, 0);
    const std::string out = csv("out.csv", "earlier\r\n");
    quillet::test::CliResult r;
    {
        quillet::test::FileSizeLimit limit(4096); // like a full disk
        r = cli.run({"export-csv", project, "--output", out});
    }
    EXPECT_EQ(r.status, 1) << r;
    EXPECT_EQ(r.err, "Cannot write file \"" + out + "\". File too large\n");
    EXPECT_EQ(CliHarness::readFile(out), "earlier\r\n");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(cli.work()), std::filesystem::directory_iterator()), 3);
}

TEST_F(RecipientCommands, ListDeleteEditAndGroups)
{
    ASSERT_EQ(cli.run({"recipient", "add", project, "--group", "Club", "--email", "amy@example.org"}).status, 0);
    ASSERT_EQ(cli.run({"group", "add", project, "Other"}).status, 0);
    ASSERT_EQ(cli.run({"recipient", "add", project, "--group", "Other", "--email", "bo@example.org"}).status, 0);
    auto r = cli.run({"recipient", "list", project});
    EXPECT_EQ(r.out, "amy@example.org\t\t\tTrue\tClub\nzed@example.org\tZed\t\tTrue\tClub\tCITY=Faro\n"
                     "bo@example.org\t\t\tTrue\tOther\n");
    r = cli.run({"recipient", "list", project, "--group", "Other", "--json"});
    const std::string noParam = "{\"name\": \"\", \"value\": \"\"}";
    EXPECT_EQ(r.out,
              "[{\"email\": \"bo@example.org\", \"name\": \"\", \"surname\": \"\", \"enabled\": true, \"params\": [" +
                  noParam + ", " + noParam + ", " + noParam + ", " + noParam + "], \"group\": \"Other\"}]\n");
    r = cli.run({"recipient", "list", project, "--group", "Club", "--csv"});
    EXPECT_EQ(r.out, "email,name,surname,enabled,group,param1 name,param1 value\r\n"
                     "amy@example.org,,,True,Club,,\r\nzed@example.org,Zed,,True,Club,CITY,Faro\r\n");

    r = cli.run({"recipient", "edit", project, "--group", "Club", "--email", "ZED@example.org", "--new-email",
                 "zoe@example.org", "--disable", "--param", "CITY=Beja", "--param", "ZIP=7800"});
    ASSERT_EQ(r.status, 0) << r;
    EXPECT_EQ(cli.run({"recipient", "list", project, "--group", "Club"}).out,
              "amy@example.org\t\t\tTrue\tClub\nzoe@example.org\tZed\t\tFalse\tClub\tCITY=Beja\tZIP=7800\n");
    EXPECT_EQ(cli.run({"recipient", "edit", project, "--group", "Club", "--email", "zoe@example.org", "--new-email",
                       "nope"})
                  .err,
              "Invalid e-mail address \"nope\": the address has no @\n");

    r = cli.run({"recipient", "delete", project, "--group", "Club", "--email", "amy@example.org", "--email", "x@y.z"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Recipient \"x@y.z\" is not in group \"Club\"\n");
    ASSERT_EQ(cli.run({"recipient", "delete", project, "--group", "Club", "--email", "AMY@example.org"}).status, 0);
    EXPECT_EQ(load().recipients.size(), 2u);

    ASSERT_EQ(cli.run({"group", "rename", project, "Other", "Friends"}).status, 0);
    EXPECT_EQ(cli.run({"group", "rename", project, "Friends", "Club"}).err,
              "I can't rename. Group with \"Club\" name already exist.\n");
    ASSERT_EQ(cli.run({"group", "delete", project, "Club"}).status, 0);
    const quillet::Project p = load();
    ASSERT_EQ(p.groups.size(), 1u);
    ASSERT_EQ(p.recipients.size(), 1u);
    EXPECT_EQ(p.recipients[0].Group.str(), "Friends");
    EXPECT_EQ(cli.run({"group", "delete", project, "Club"}).err, "Group \"Club\" does not exist\n");
}

TEST_F(RecipientCommands, AddRefusesInvalidAddressesAndNotesDuplicates)
{
    auto r = cli.run({"recipient", "add", project, "--group", "Club", "--email", "not-an-address"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Invalid e-mail address \"not-an-address\": the address has no @\n");
    EXPECT_EQ(cli.run({"recipient", "add", project, "--group", "Club", "--email", "not-an-address", "--force"}).status,
              0);
    r = cli.run({"recipient", "add", project, "--group", "Club", "--email", "Zed@Example.org"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "Note: \"Zed@Example.org\" is already a recipient of group \"Club\"\n");
    EXPECT_EQ(load().recipients.size(), 3u);
}

TEST_F(RecipientCommands, ImportsAHundredThousandRows)
{
    std::string text = "email,name,surname,CITY\n";
    for (int i = 0; i < 100000; ++i)
        text += "user" + std::to_string(i) + "@example.org,Name" + std::to_string(i) + ",Surname,City\n";
    text += "user5@EXAMPLE.org,dup,,\n";
    auto r = cli.run({"import-csv", project, csv("big.csv", text), "--group", "Club"});
    ASSERT_EQ(r.status, 0) << r;
    EXPECT_EQ(r.out, "imported 100000, updated 0, duplicates skipped 1, invalid 0\n");
    const quillet::Project p = load();
    ASSERT_EQ(p.recipients.size(), 100001u);
    EXPECT_EQ(p.recipients[100000].EMail.str(), "user99999@example.org");
    EXPECT_EQ(p.recipients[100000].Name.str(), "Name99999");
}
