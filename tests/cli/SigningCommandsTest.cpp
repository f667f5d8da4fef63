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
