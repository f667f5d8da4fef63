#include "mailing/SmtpAccountUse.h"

#include <gtest/gtest.h>

using namespace quillet;

namespace {

SmtpAccount account(std::string enabled)
{
    SmtpAccount a;
    a.host = std::string("h");
    a.enabled = std::move(enabled);
    return a;
}

TEST(SmtpAccountUse, PortTextThatIsNotAPortGivesTheFallback)
{
    EXPECT_EQ(PortFromText("587", 25), 587);
    EXPECT_EQ(PortFromText(" 2525 ", 25), 2525);
    EXPECT_EQ(PortFromText("abc", 25), 25);
    EXPECT_EQ(PortFromText("abc", 1026), 1026);
    EXPECT_EQ(PortFromText("smtp", 25), 25);
    EXPECT_EQ(PortFromText("", 25), 25);
    EXPECT_EQ(PortFromText("25x", 1026), 1026);
    // Numbers that name no port do not wrap around to another port.
    EXPECT_EQ(PortFromText("70000", 25), 25);
    EXPECT_EQ(PortFromText("0", 25), 25);
    EXPECT_EQ(PortFromText("-1", 25), 25);
    EXPECT_EQ(PortFromText("65535", 25), 65535);
}

TEST(SmtpAccountUse, RotationSkipsExactlyFalse)
{
    const std::vector<SmtpAccount> accounts{account("True"), account("False"), account("True")};
    int index = kDefaultServerIndex;
    std::vector<int> used;
    for (int i = 0; i < 5; ++i) {
        used.push_back(index);
        index = NextAccountIndex(index, accounts);
    }
    EXPECT_EQ(used, (std::vector<int>{-1, 0, 2, -1, 0}));

    // Only the exact word "False" excludes an account.
    const std::vector<SmtpAccount> odd{account("true"), account("false"), account("FALSE"), account("")};
    EXPECT_EQ(NextAccountIndex(-1, odd), 0);
    EXPECT_EQ(NextAccountIndex(0, odd), 1);
    EXPECT_EQ(NextAccountIndex(3, odd), -1);

    // Without accounts, or with every account disabled, every message uses the default server.
    EXPECT_EQ(NextAccountIndex(-1, {}), -1);
    EXPECT_EQ(NextAccountIndex(-1, {account("False"), account("False")}), -1);
    // An index left over from a longer list returns to the default server.
    EXPECT_EQ(NextAccountIndex(7, accounts), -1);
}

} // namespace
