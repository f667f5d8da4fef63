// Signing keys made and checked on the command line: the owner-only private key, the TXT record
// printed and written, and a published record compared with the key.
#include "cli/CliHarness.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/stat.h>

using quillet::test::CliHarness;
using quillet::test::CliResult;
using ::testing::HasSubstr;

TEST(SigningCommands, KeygenWritesAnOwnerOnlyKeyAndItsRecordWhichCheckMatches)
{
    CliHarness cli;
    const std::string dir = cli.file("keys");
    CliResult r = cli.run({"dkim", "keygen", "--domain", "example.org", "--selector", "q", "--output", dir,
                           "--algorithm", "ed25519-sha256"});
    ASSERT_EQ(r.status, 0) << r;
    EXPECT_THAT(r.out, HasSubstr("q._domainkey.example.org. IN TXT ( \"v=DKIM1; k=ed25519; p="));
    struct stat info {};
    ASSERT_EQ(::stat((dir + "/q.private").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    std::ifstream record(dir + "/q.txt");
    const std::string zoneLine((std::istreambuf_iterator<char>(record)), {});
    EXPECT_EQ(zoneLine, r.out);

    // Pasted on standard input, in the zone-file form.
    r = cli.run({"dkim", "check", "--domain", "example.org", "--selector", "q", "--key", dir + "/q.private"}, zoneLine);
    EXPECT_EQ(r.status, 0) << r;
    ASSERT_EQ(cli.run({"dkim", "keygen", "--domain", "example.org", "--selector", "other", "--output", dir}).status, 0);
    r = cli.run({"dkim", "check", "--domain", "example.org", "--selector", "q", "--key", dir + "/other.private",
                 "--record", zoneLine});
    EXPECT_EQ(r.status, 1) << r;
    EXPECT_THAT(r.err, HasSubstr("is for another kind of key"));
    // A key is never written over.
    r = cli.run({"dkim", "keygen", "--domain", "example.org", "--selector", "q", "--output", dir});
    EXPECT_EQ(r.status, 1) << r;
    EXPECT_THAT(r.err, HasSubstr("already exists"));
}

TEST(SigningCommands, SentMessagesAreSignedWithTheKeyOfTheOptions)
{
    if (std::system("/usr/bin/python3 -c 'import dkim, nacl' 2>/dev/null") != 0)
        GTEST_SKIP() << "python3-dkim is not installed";
    CliHarness cli;
    const std::string project = cli.file("p.oqf");
    ASSERT_EQ(cli.run({"project", "new", project}).status, 0);
    ASSERT_EQ(cli.run({"group", "add", project, "Club"}).status, 0);
    ASSERT_EQ(cli.run({"recipient", "add", project, "--group", "Club", "--email", "zoe@example.net"}).status, 0);
    ASSERT_EQ(cli.run({"dkim", "keygen", "--domain", "example.org", "--selector", "q", "--output", cli.file("keys"),
                       "--algorithm", "ed25519-sha256"})
                  .status,
              0);
    const std::string zoneLine = CliHarness::readFile(cli.file("keys/q.txt"));
    const std::size_t open = zoneLine.find('"');
    CliHarness::writeFile(cli.file("record.txt"), zoneLine.substr(open + 1, zoneLine.find('"', open + 1) - open - 1));
    CliHarness::writeFile(cli.file("body.txt"), "Dear reader,\n\nnews.\n");
    CliResult r = cli.run({"send", project, "--group", "Club", "--subject", "Hello", "--from", "news@example.org",
                           "--body-file", cli.file("body.txt"), "--dry-run", cli.file("out"), "--dkim-key",
                           cli.file("keys/q.private"), "--dkim-selector", "q"});
    ASSERT_EQ(r.status, 0) << r;
    const std::string message = CliHarness::readFile(cli.file("out/000001.eml"));
    EXPECT_THAT(message, HasSubstr("DKIM-Signature: v=1; a=ed25519-sha256; c=relaxed/relaxed; d=example.org; s=q;"));
    const std::string verify = std::string("/usr/bin/python3 " QUILLET_SOURCE_DIR "/tests/transport/peers/"
                                           "dkim_verify.py '") +
                               cli.file("record.txt") + "' '" + cli.file("out/000001.eml") + "'";
    FILE* pipe = ::popen(verify.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    char line[256] = {};
    const bool read = std::fgets(line, sizeof line, pipe) != nullptr;
    ::pclose(pipe);
    ASSERT_TRUE(read);
    EXPECT_STREQ(line, "000001.eml ok fails\n");

    // A key of another kind than the algorithm asked for is refused before anything is sent.
    r = cli.run({"send", project, "--group", "Club", "--subject", "Hello", "--dry-run", cli.file("out2"), "--dkim-key",
                 cli.file("keys/q.private"), "--dkim-selector", "q", "--dkim-algorithm", "rsa-sha256"});
    EXPECT_EQ(r.status, 2) << r;
}
