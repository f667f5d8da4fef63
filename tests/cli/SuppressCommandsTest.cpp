// quillet suppress list|add|remove|import|export on a list chosen by --suppression-list.
#include "cli/CliHarness.h"

#include <gtest/gtest.h>

using namespace quillet::test;

TEST(SuppressCommands, AddListRemoveImportAndExport)
{
    CliHarness cli;
    const std::string list = cli.file("client.sqlite");
    const std::vector<std::string> chosen{"--suppression-list", list};
    auto run = [&](std::vector<std::string> args) {
        args.insert(args.end(), chosen.begin(), chosen.end());
        return cli.run(args);
    };
    ASSERT_EQ(run({"suppress", "add", "Ann@Example.org", "bob@example.org", "--note", "asked by phone"}).status, 0);
    EXPECT_EQ(run({"suppress", "add", "ann@example.org", "--reason", "angry"}).status, 2);

    const CliResult json = run({"suppress", "list", "--json"});
    ASSERT_EQ(json.status, 0) << json;
    EXPECT_NE(json.out.find(R"({"email": "Ann@Example.org", "reason": "manual", "first_seen": ")"), std::string::npos)
        << json.out;
    EXPECT_NE(json.out.find(R"("source": "by hand", "detail": "asked by phone"})"), std::string::npos);

    CliHarness::writeFile(cli.file("in.csv"),
                          "name;EMAIL;reason\nCarl;carl@example.org;bounced\nDora;dora@example.org;\n");
    const CliResult imported = run({"suppress", "import", cli.file("in.csv"), "--reason", "unsubscribed"});
    EXPECT_EQ(imported.out, "Added 2, updated 0.\n") << imported;
    EXPECT_EQ(run({"suppress", "remove", "BOB@example.org"}).status, 0);
    EXPECT_EQ(run({"suppress", "remove", "bob@example.org"}).status, 1);

    const CliResult unsubscribed = run({"suppress", "list", "--reason", "unsubscribed"});
    EXPECT_EQ(unsubscribed.out.substr(0, unsubscribed.out.find('\t')), "dora@example.org") << unsubscribed;

    ASSERT_EQ(run({"suppress", "export", "--output", cli.file("out.csv")}).status, 0);
    const std::string csv = CliHarness::readFile(cli.file("out.csv"));
    EXPECT_EQ(csv.substr(0, csv.find("\r\n")), "email,reason,first_seen,last_seen,source,detail");
    EXPECT_NE(csv.find("\r\ncarl@example.org,bounced,"), std::string::npos) << csv;
    EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 4);

    // QUILLET_SUPPRESSION names the same list.
    cli.setEnv("QUILLET_SUPPRESSION", list.c_str());
    EXPECT_EQ(cli.run({"suppress", "list", "--csv"}).out, csv);
}
