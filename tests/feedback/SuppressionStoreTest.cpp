// The suppression list file: entries by address without regard to case, soft bounces, reports
// read, and two processes writing at once.
#include "feedback/SuppressionStore.h"

#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace quillet;

TEST(SuppressionStore, KeepsEntriesByAddressWithoutCaseAndTheirFirstDate)
{
    test::TempFolder folder;
    const auto path = folder.path() / "new" / "list.sqlite";
    {
        SuppressionStore store(path);
        EXPECT_TRUE(store.Add({"Ann@Example.org", "bounced", "2026-01-01T00:00:00Z", "", "run-1", "5.1.1 unknown"}));
        EXPECT_FALSE(store.Add({"ann@EXAMPLE.org", "manual", "", "", "by hand", "note"}));
        EXPECT_THROW(store.Add({"bob@example.org", "angry", "", "", "", ""}), ESuppressionError);
    }
    struct stat info {};
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    SuppressionStore store(path);
    const auto entry = store.Find("<ANN@example.ORG>");
    ASSERT_TRUE(entry);
    EXPECT_EQ(entry->address, "Ann@Example.org");
    EXPECT_EQ(entry->reason, "manual");
    EXPECT_EQ(entry->firstSeen, "2026-01-01T00:00:00Z");
    EXPECT_EQ(entry->detail, "note");
    EXPECT_TRUE(store.LoadAddresses().Contains("ANN@example.org"));
    EXPECT_EQ(store.List("bounced").size(), 0u);
    EXPECT_EQ(store.List().size(), 1u);
    EXPECT_TRUE(store.Remove("ann@example.org"));
    EXPECT_FALSE(store.Contains("ann@example.org"));
}

TEST(SuppressionStore, SoftBouncesSuppressAtTheLimitAndReportsAreReadOnce)
{
    test::TempFolder folder;
    SuppressionStore store(folder.path() / "list.sqlite");
    EXPECT_EQ(store.AddSoftBounce("c@example.org", "r1", "4.2.2 full", 3), 1);
    EXPECT_EQ(store.AddSoftBounce("C@example.org", "r2", "4.2.2 full", 3), 2);
    EXPECT_FALSE(store.Contains("c@example.org"));
    EXPECT_EQ(store.AddSoftBounce("c@example.org", "r3", "4.2.2 full", 3), 3);
    ASSERT_TRUE(store.Contains("c@example.org"));
    EXPECT_EQ(store.Find("c@example.org")->reason, "bounced");

    EXPECT_FALSE(store.ReportRead("<r1@mx>"));
    store.MarkReportRead("<r1@mx>");
    store.MarkReportRead("<r1@mx>");
    EXPECT_TRUE(SuppressionStore(store.Path()).ReportRead("<r1@mx>"));
}

TEST(SuppressionStore, TwoProcessesWritingAtOnceLoseNoEntry)
{
    test::TempFolder folder;
    const auto path = folder.path() / "list.sqlite";
    {
        SuppressionStore made(path);
    } // made before, so both writers open an existing list
    constexpr int kEach = 150;
    pid_t children[2];
    for (int writer = 0; writer < 2; ++writer) {
        children[writer] = ::fork();
        ASSERT_GE(children[writer], 0);
        if (children[writer] == 0) {
            try {
                SuppressionStore store(path);
                for (int i = 0; i < kEach; ++i) {
                    const std::string address = "w" + std::to_string(writer) + "-" + std::to_string(i) + "@example.org";
                    store.Add({address, "bounced", "", "", "", ""});
                    store.AddSoftBounce("shared@example.org", "", "", 1000);
                }
            } catch (...) {
                ::_exit(1);
            }
            ::_exit(0);
        }
    }
    for (pid_t child : children) {
        int status = 0;
        ::waitpid(child, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    SuppressionStore store(path);
    EXPECT_EQ(store.List().size(), 2u * kEach);
    EXPECT_EQ(store.SoftBounces("shared@example.org"), 2 * kEach);
}
