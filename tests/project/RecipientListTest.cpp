#include "project/RecipientList.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

using namespace quillet;

namespace {

RecipientRecord numbered(std::size_t n)
{
    RecipientRecord r;
    r.EMail.set("r" + std::to_string(n) + "@x");
    r.Enabled = static_cast<std::uint8_t>(n % 2);
    return r;
}

// The texts in order, for comparing lists.
std::string emails(const RecipientList& list)
{
    std::string text;
    for (const RecipientRecord& r : list)
        text += r.EMail.str() + (r.enabled() ? "+ " : "- ");
    return text;
}

bool isDefault(const RecipientRecord& r)
{
    static const RecipientRecord blank;
    return std::memcmp(&r, &blank, sizeof r) == 0;
}

} // namespace

// Growing past several large pages moves the mapping; the records come along unchanged, and
// records reused after clear() or erase() are default records again, not old bytes.
TEST(RecipientListTest, GrowsAndReusesMemoryLikeAVector)
{
    RecipientList list;
    std::string expected;
    for (std::size_t i = 0; i < 3000; ++i) { // 9 MB: several remaps
        list.push_back(numbered(i));
        expected += "r" + std::to_string(i) + "@x" + (i % 2 ? "+ " : "- ");
    }
    EXPECT_EQ(emails(list), expected);

    const std::size_t capacity = list.capacity();
    list.erase(list.begin() + 1, list.end());
    list.resize(3);
    EXPECT_EQ(list.capacity(), capacity);
    EXPECT_EQ(list[0].EMail.str(), "r0@x");
    EXPECT_TRUE(isDefault(list[1]) && isDefault(list[2]));
    list.clear();
    RecipientRecord* blank = list.appendBlank(2);
    EXPECT_TRUE(isDefault(blank[0]) && isDefault(blank[1]));
    list.shrink_to_fit();
    EXPECT_EQ(list.size(), 2u);
    EXPECT_LT(list.capacity(), capacity);

    // Shrinking keeps the last page whole, and with it the start of a record written before:
    // a record appended there later is a default record all the same.
    RecipientList shrunk;
    for (std::size_t i = 0; i < 10; ++i)
        shrunk.push_back(numbered(i));
    shrunk.resize(2);
    shrunk.shrink_to_fit();
    shrunk.appendBlank(1);
    EXPECT_TRUE(isDefault(shrunk[2]));
}

// Operations whose argument is a record of the list itself keep working when the list moves.
TEST(RecipientListTest, TakesItsOwnRecordsAsArguments)
{
    RecipientList list{numbered(0), numbered(1)};
    list.shrink_to_fit();
    list.resize(4, list[1]);
    list.push_back(list[0]);
    list.insert(list.begin() + 1, list.begin(), list.end());
    EXPECT_EQ(emails(list), "r0@x- r0@x- r1@x+ r1@x+ r1@x+ r0@x- r1@x+ r1@x+ r1@x+ r0@x- ");
    EXPECT_EQ(erase_if(list, [](const RecipientRecord& r) { return r.enabled(); }), 6u);
    EXPECT_EQ(emails(list), "r0@x- r0@x- r0@x- r0@x- ");
    EXPECT_THROW(list.at(4), std::out_of_range);

    RecipientList copy = list;
    copy[0].EMail.set("changed@x");
    RecipientList moved = std::move(list);
    EXPECT_EQ(emails(moved), "r0@x- r0@x- r0@x- r0@x- ");
    EXPECT_TRUE(list.empty());
    list = {numbered(5)};
    EXPECT_EQ(emails(list) + emails(copy), "r5@x+ changed@x- r0@x- r0@x- r0@x- ");
}
