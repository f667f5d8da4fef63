// Record indices: a group's records by exact name, and indices kept right across deletes.
#include "project/RecipientIndex.h"

#include <gtest/gtest.h>

using namespace quillet;

namespace {

Project projectWith(std::initializer_list<std::pair<const char*, const char*>> emailsAndGroups)
{
    Project p;
    for (const auto& [email, group] : emailsAndGroups) {
        RecipientRecord r;
        r.EMail.set(email);
        r.Group.set(group);
        p.recipients.push_back(r);
    }
    return p;
}

} // namespace

TEST(RecipientIndex, GroupMembershipIsExactAndCaseSensitive)
{
    const Project p = projectWith({{"a", "Friends"}, {"b", "friends"}, {"c", "Friends "}, {"d", "Friends"}});
    EXPECT_EQ(recipientsOfGroup(p, "Friends"), (std::vector<std::size_t>{0, 3}));
    EXPECT_EQ(recipientsOfGroup(p, "friends"), (std::vector<std::size_t>{1}));
    EXPECT_TRUE(recipientsOfGroup(p, "FRIENDS").empty());
}

// Records zed, abc, mid of one group show as rows abc(1), mid(2), zed(0). Deleting abc leaves
// mid with index 1 and zed with index 0, and mid's index still names the mid record.
TEST(RecipientIndex, DeleteLowersIndicesByTheRemovedRecordsBeforeThem)
{
    Project p = projectWith({{"zed", "G"}, {"abc", "G"}, {"mid", "G"}});
    std::vector<std::size_t> rows{1, 2, 0}; // rows sorted by e-mail: abc, mid, zed
    const std::vector<std::size_t> removed{rows[0]};
    rows.erase(rows.begin());
    EXPECT_EQ(removeRecipients(p, removed), 1u);
    lowerIndicesAfterDelete(rows, removed);
    EXPECT_EQ(rows, (std::vector<std::size_t>{1, 0}));
    EXPECT_EQ(p.recipients[rows[0]].EMail.str(), "mid");
    EXPECT_EQ(p.recipients[rows[1]].EMail.str(), "zed");
    EXPECT_TRUE(p.changed());
}

TEST(RecipientIndex, RemovingSeveralRecordsGivenInAnyOrderKeepsTheOthersInOrder)
{
    Project p = projectWith({{"r0", "A"}, {"r1", "B"}, {"r2", "A"}, {"r3", "B"}, {"r4", "A"}, {"r5", "B"}});
    const std::vector<std::size_t> removed{4, 1, 4, 99};
    EXPECT_EQ(removeRecipients(p, removed), 2u);
    ASSERT_EQ(p.recipients.size(), 4u);
    EXPECT_EQ(p.recipients[0].EMail.str(), "r0");
    EXPECT_EQ(p.recipients[1].EMail.str(), "r2");
    EXPECT_EQ(p.recipients[2].EMail.str(), "r3");
    EXPECT_EQ(p.recipients[3].EMail.str(), "r5");
    std::vector<std::size_t> rows{5, 0, 3, 2};
    lowerIndicesAfterDelete(rows, removed);
    EXPECT_EQ(rows, (std::vector<std::size_t>{3, 0, 2, 1}));
}

TEST(RecipientIndex, RemovingAGroupTakesAllItsRecordsAndNothingElse)
{
    Project p = projectWith({{"r0", "A"}, {"r1", "a"}, {"r2", "A"}});
    EXPECT_EQ(removeRecipientsOfGroup(p, "A"), 2u);
    ASSERT_EQ(p.recipients.size(), 1u);
    EXPECT_EQ(p.recipients[0].EMail.str(), "r1");
    Project untouched = projectWith({{"r0", "A"}});
    EXPECT_EQ(removeRecipientsOfGroup(untouched, "B"), 0u);
    EXPECT_FALSE(untouched.changed());
}
