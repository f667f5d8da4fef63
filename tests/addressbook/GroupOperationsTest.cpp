// Group operations: duplicate names, renaming with the recipients, deleting with recipients,
// moving and copying recipients between groups.
#include "addressbook/GroupOperations.h"
#include "addressbook/RecipientOperations.h"
#include "addressbook/RecipientRows.h"
#include "ProjectBuilder.h"

#include <gtest/gtest.h>

using namespace quillet;
using quillet::test::emailAt;
using quillet::test::recipient;

namespace {

Project threeGroups()
{
    Project p;
    p.groups = {{"A", "a"}, {"B", "b"}, {"C", "c"}};
    p.recipients = {recipient("a1@x", "A"), recipient("b1@x", "B"), recipient("a2@x", "A"), recipient("c1@x", "C"),
                    recipient("a3@x", "A")};
    return p;
}

std::vector<std::string> groupsOf(const Project& p)
{
    std::vector<std::string> result;
    for (const auto& r : p.recipients)
        result.push_back(r.Group.str());
    return result;
}

} // namespace

TEST(GroupOperations, DuplicateNameIsRefusedAndNothingChanges)
{
    Project p = threeGroups();
    try {
        addGroup(p, "B", "other");
        FAIL() << "duplicate accepted";
    } catch (const AddressBookError& e) {
        EXPECT_STREQ(e.what(), "Group with \"B\" name already exist.");
    }
    EXPECT_EQ(p.groups.size(), 3u);
    EXPECT_FALSE(p.changed());
    addGroup(p, "b", ""); // names are case-sensitive
    addGroup(p, "", "");  // an empty name is accepted
    EXPECT_EQ(p.groups.size(), 5u);
    EXPECT_TRUE(p.changed());
}

TEST(GroupOperations, RenameCarriesRecipientsAndRefusesAnotherGroupsName)
{
    Project p = threeGroups();
    try {
        editGroup(p, 0, "C", "x");
        FAIL() << "rename accepted";
    } catch (const AddressBookError& e) {
        EXPECT_STREQ(e.what(), "I can't rename. Group with \"C\" name already exist.");
    }
    EXPECT_EQ(p.groups[0].name, "A");
    EXPECT_FALSE(p.changed());

    editGroup(p, 0, "A", "only the description"); // its own name is fine
    EXPECT_EQ(p.groups[0].description, "only the description");

    editGroup(p, 0, "b", "differs from B in case only");
    EXPECT_EQ(p.groups[0].name, "b");
    EXPECT_EQ(groupsOf(p), (std::vector<std::string>{"b", "B", "b", "C", "b"}));
    EXPECT_TRUE(p.changed());
}

TEST(GroupOperations, LongNamesAreStoredAsTheRecipientsStoreThem)
{
    Project p = threeGroups();
    const std::string longName(300, 'n');
    editGroup(p, 0, longName, "");
    EXPECT_EQ(p.groups[0].name.size(), 255u);
    EXPECT_EQ(sortedRecipientRows(p, p.groups[0].name).size(), 3u);
}

TEST(GroupOperations, DeleteRemovesAllItsRecipientsAndKeepsTheOthersInOrder)
{
    Project p = threeGroups();
    deleteGroup(p, 0);
    ASSERT_EQ(p.groups.size(), 2u);
    EXPECT_EQ(p.groups[0].name, "B");
    ASSERT_EQ(p.recipients.size(), 2u);
    EXPECT_EQ(emailAt(p, 0), "b1@x");
    EXPECT_EQ(emailAt(p, 1), "c1@x");
    EXPECT_TRUE(p.changed());
}

TEST(GroupOperations, MoveToOwnGroupChangesNothingButTheFlag)
{
    Project p = threeGroups();
    const auto before = groupsOf(p);
    moveRecipients(p, {0, 2}, "A");
    EXPECT_EQ(groupsOf(p), before);
    EXPECT_TRUE(p.changed());
    moveRecipients(p, {0, 2}, "C");
    EXPECT_EQ(sortedRecipientRows(p, "C"), (std::vector<std::size_t>{0, 2, 3}));
    EXPECT_EQ(sortedRecipientRows(p, "A"), (std::vector<std::size_t>{4}));
}

TEST(GroupOperations, CopyLeavesCopiesInTheSourceGroupAtTheEnd)
{
    Project p = threeGroups();
    p.recipients[2].Name.set("Second");
    copyRecipients(p, {0, 2}, "A", "B");
    ASSERT_EQ(p.recipients.size(), 7u);
    EXPECT_EQ(groupsOf(p), (std::vector<std::string>{"B", "B", "B", "C", "A", "A", "A"}));
    EXPECT_EQ(emailAt(p, 5), "a1@x");
    EXPECT_EQ(emailAt(p, 6), "a2@x");
    EXPECT_EQ(p.recipients[6].Name.str(), "Second");
}

TEST(GroupOperations, CopyIntoOwnGroupDoublesTheRows)
{
    Project p = threeGroups();
    copyRecipients(p, {0, 2}, "A", "A");
    std::vector<std::string> rows;
    for (std::size_t i : sortedRecipientRows(p, "A"))
        rows.push_back(emailAt(p, i));
    EXPECT_EQ(rows, (std::vector<std::string>{"a1@x", "a1@x", "a2@x", "a2@x", "a3@x"}));
}

TEST(RecipientOperations, NewEditToggleAndHarvested)
{
    Project p = threeGroups();
    RecipientRecord typed;
    typed.EMail.set(std::string(300, 'e'));
    typed.Enabled = 5;
    typed.Group.set("ignored");
    const std::size_t index = appendRecipient(p, typed, "B");
    EXPECT_EQ(index, 5u);
    EXPECT_EQ(p.recipients[5].EMail.length(), 255u);
    EXPECT_EQ(p.recipients[5].Enabled, 1);
    EXPECT_EQ(p.recipients[5].Group.str(), "B");

    RecipientRecord edited = p.recipients[5];
    edited.Name.set("Ann");
    edited.Enabled = 0;
    edited.Group.set("elsewhere");
    updateRecipient(p, 5, edited);
    EXPECT_EQ(p.recipients[5].Name.str(), "Ann");
    EXPECT_EQ(p.recipients[5].Group.str(), "B");

    // A mixed selection stays mixed; an odd stored value such as 7 counts as enabled.
    p.recipients[0].Enabled = 7;
    toggleEnabled(p, {0, 5});
    EXPECT_EQ(p.recipients[0].Enabled, 0);
    EXPECT_EQ(p.recipients[5].Enabled, 1);

    appendHarvested(p, {"h@x", "h@x"}, "C");
    ASSERT_EQ(p.recipients.size(), 8u);
    EXPECT_EQ(p.recipients[7].Group.str(), "C");
    EXPECT_TRUE(p.recipients[7].enabled());
    EXPECT_EQ(p.recipients[7].Name.length(), 0u);
}
