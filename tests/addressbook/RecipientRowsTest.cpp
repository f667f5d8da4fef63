// The recipient rows and their record indices through new, edit, delete and regrouping.
#include "addressbook/EmailCollation.h"
#include "addressbook/RecipientRows.h"
#include "ProjectBuilder.h"

#include <gtest/gtest.h>

using namespace quillet;
using quillet::test::emailAt;
using quillet::test::recipient;

namespace {

std::vector<std::string> rowEmails(const Project& project, const RecipientRows& rows)
{
    std::vector<std::string> result;
    for (std::size_t i = 0; i < rows.size(); ++i)
        result.push_back(emailAt(project, rows.recordIndex(i)));
    return result;
}

Project zedAbcMid()
{
    Project p;
    p.groups.push_back({"G", ""});
    p.recipients.push_back(recipient("zed@x", "G"));
    p.recipients.push_back(recipient("abc@x", "G"));
    p.recipients.push_back(recipient("mid@x", "G"));
    return p;
}

} // namespace

TEST(RecipientRows, SortedByEmailWithRecordIndices)
{
    Project p = zedAbcMid();
    p.recipients.insert(p.recipients.begin() + 1, recipient("other@x", "H"));
    RecipientRows rows;
    rows.rebuild(p, "G");
    EXPECT_EQ(rows.recordIndices(), (std::vector<std::size_t>{2, 3, 0}));
    EXPECT_EQ(sortedRecipientRows(p, "G"), (std::vector<std::size_t>{2, 3, 0}));
    EXPECT_EQ(sortedRecipientRows(p, "g"), std::vector<std::size_t>{}); // names are case-sensitive
}

TEST(RecipientRows, DeletingKeepsTheOtherRowsOnTheirRecords)
{
    Project p = zedAbcMid();
    RecipientRows rows;
    rows.rebuild(p, "G");
    rows.removeRecords(p, {0}); // abc
    ASSERT_EQ(p.recipients.size(), 2u);
    EXPECT_EQ(rows.recordIndices(), (std::vector<std::size_t>{1, 0}));
    EXPECT_EQ(rowEmails(p, rows), (std::vector<std::string>{"mid@x", "zed@x"}));
    // Editing mid afterwards reaches the mid record and no other.
    p.recipients[rows.recordIndex(0)].EMail.set("mad@x");
    EXPECT_EQ(emailAt(p, 0), "zed@x");
    EXPECT_EQ(emailAt(p, 1), "mad@x");
}

TEST(RecipientRows, DeletingRowsWhoseRecordsStandInOppositeOrder)
{
    Project p;
    for (const char* e : {"e@x", "d@x", "c@x", "b@x", "a@x"})
        p.recipients.push_back(recipient(e, "G"));
    p.recipients.insert(p.recipients.begin() + 2, recipient("elsewhere@x", "H"));
    RecipientRows rows;
    rows.rebuild(p, "G");          // rows: a b c d e -> records 5 4 3 1 0
    rows.removeRecords(p, {1, 3}); // b (record 4) and d (record 1)
    std::vector<std::string> left;
    for (const auto& r : p.recipients)
        left.push_back(r.EMail.str());
    EXPECT_EQ(left, (std::vector<std::string>{"e@x", "elsewhere@x", "c@x", "a@x"}));
    EXPECT_EQ(rowEmails(p, rows), (std::vector<std::string>{"a@x", "c@x", "e@x"}));
    EXPECT_EQ(rows.recordIndices(), (std::vector<std::size_t>{3, 2, 0}));
}

TEST(RecipientRows, NewRecipientSortingFirstThenEdited)
{
    Project p = zedAbcMid();
    RecipientRows rows;
    rows.rebuild(p, "G");
    p.recipients.push_back(recipient("aaa@x", "G"));
    EXPECT_EQ(rows.addRow(p, 3), 0u);
    EXPECT_EQ(rows.recordIndex(0), 3u);
    // Editing the top row edits the new record, not the first record of the project.
    p.recipients[rows.recordIndex(0)].EMail.set("zzz@x");
    EXPECT_EQ(rows.resortRow(p, 0), 3u);
    EXPECT_EQ(emailAt(p, 0), "zed@x");
    EXPECT_EQ(rowEmails(p, rows), (std::vector<std::string>{"abc@x", "mid@x", "zed@x", "zzz@x"}));
}

TEST(RecipientRows, EqualAddressesKeepRecordOrderAndFindFirstRowIgnoringCase)
{
    Project p;
    p.recipients.push_back(recipient("zzz@x", "G")); // last in every locale's order
    p.recipients.push_back(recipient("Same@X", "G", "first"));
    p.recipients.push_back(recipient("Same@X", "G", "second"));
    RecipientRows rows;
    rows.rebuild(p, "G");
    EXPECT_EQ(rows.recordIndices(), (std::vector<std::size_t>{1, 2, 0}));
    EXPECT_EQ(rows.firstRowWithEmail(p, "same@x"), 0u);
    EXPECT_EQ(rows.firstRowWithEmail(p, "none@x"), std::nullopt);
}

TEST(RecipientRows, CaseSensitiveCollationIsTotal)
{
    Project p;
    p.recipients.push_back(recipient("b@x", "G"));
    p.recipients.push_back(recipient("B@x", "G"));
    p.recipients.push_back(recipient("a@x", "G"));
    const auto order = sortedRecipientRows(p, "G");
    ASSERT_EQ(order.size(), 3u);
    // Whatever the locale, upper and lower case are different rows and the order is stable.
    EXPECT_EQ(sortedRecipientRows(p, "G"), order);
    EXPECT_NE(emailAt(p, order[0]), emailAt(p, order[1]));
}

TEST(EmailCollation, LocaleKeysOrderByCollationAndBreakTiesByBytes)
{
    const EmailCollation codePoints("");
    const EmailCollation locale("C.UTF-8"); // goes through the locale's collation keys
    for (const EmailCollation* c : {&codePoints, &locale}) {
        EXPECT_LT(c->compare("B@x", "a@x"), 0);
        EXPECT_LT(c->compare("a@x", "b@x"), 0);
        EXPECT_LT(c->compare("z@x", "\xe9@x"), 0); // code-page e-acute sorts after ASCII letters
        EXPECT_EQ(c->compare("same@x", "same@x"), 0);
        EXPECT_LT(c->compare("a", "ab"), 0);
    }
}
