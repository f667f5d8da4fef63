// The search over recipient records: the four option combinations, scope, empty text.
#include "addressbook/RecipientSearch.h"
#include "ProjectBuilder.h"

#include <gtest/gtest.h>

using namespace quillet;
using quillet::test::recipient;

namespace {

Project sample()
{
    Project p;
    p.recipients.push_back(recipient("JOHN@EXAMPLE.COM", "A", "Johnny")); // 0
    p.recipients.push_back(recipient("mary@example.com", "B", "Mary"));   // 1
    p.recipients.push_back(recipient("john@example.com", "B", "Jo"));     // 2
    p.recipients.push_back(recipient("searchme@x", "Friends"));           // 3
    p.recipients[1].ParamName2.set("City");
    p.recipients[1].ParamValue4.set("Z\xfcrich"); // code-page text
    for (auto& r : p.recipients)                  // only record 2 has every parameter value filled
        for (int i = 0; i < 4; ++i)
            r.paramValue(i).set(r.paramValue(i).length() ? r.paramValue(i).str() : std::string("v"));
    p.recipients[0].ParamValue4.set("");
    return p;
}

std::optional<std::size_t> find(const Project& p, std::string_view text, bool caseSensitive, bool exact,
                                std::size_t from = 0)
{
    return findRecipient(p, from, text, {caseSensitive, exact});
}

} // namespace

TEST(RecipientSearch, CaseInsensitivePartial)
{
    const Project p = sample();
    EXPECT_EQ(find(p, "john@", false, false), 0u);    // lower-case text, upper-case address
    EXPECT_EQ(find(p, "john@", false, false, 1), 2u); // find next
    EXPECT_EQ(find(p, "john@", false, false, 3), std::nullopt);
    EXPECT_EQ(find(p, "ohnn", false, false), 0u);       // part of a name
    EXPECT_EQ(find(p, "z\xdcRICH", false, false), 1u);  // accented letters are upper-cased too
    EXPECT_EQ(find(p, "", false, false), std::nullopt); // an empty text occurs nowhere
}

TEST(RecipientSearch, CaseInsensitiveExact)
{
    const Project p = sample();
    EXPECT_EQ(find(p, "Mary@Example.com", false, true), 1u);
    EXPECT_EQ(find(p, "city", false, true), 1u); // a parameter name is searched
    EXPECT_EQ(find(p, "mary", false, true), 1u);
    EXPECT_EQ(find(p, "example.com", false, true), std::nullopt); // a part of a field is no hit
    EXPECT_EQ(find(p, "", false, true), 0u);                      // the first record with an empty field
}

TEST(RecipientSearch, CaseSensitiveModes)
{
    const Project p = sample();
    EXPECT_EQ(find(p, "john@", true, false), 2u);
    EXPECT_EQ(find(p, "JOHN@", true, false), 0u);
    EXPECT_EQ(find(p, "", true, false), std::nullopt);
    EXPECT_EQ(find(p, "Jo", true, true), 2u);
    EXPECT_EQ(find(p, "jo", true, true), std::nullopt);
    // The text is cut to 255 bytes before a partial search.
    Project longOne;
    longOne.recipients.push_back(recipient(std::string(255, 'a'), "A"));
    EXPECT_EQ(find(longOne, std::string(300, 'a'), true, false), 0u);
    EXPECT_EQ(find(longOne, std::string(300, 'a'), true, true), std::nullopt);
}

TEST(RecipientSearch, GroupNameIsNotSearchedAndScopeLimitsToOneGroup)
{
    const Project p = sample();
    EXPECT_EQ(find(p, "Friends", false, false), std::nullopt);
    const std::string groupB = "B";
    EXPECT_EQ(findRecipient(p, 0, "john", {}, &groupB), 2u);
    const std::string groupb = "b";
    EXPECT_EQ(findRecipient(p, 0, "john", {}, &groupb), std::nullopt);
}
