// Harvesting addresses from text: delimiters, what encloses an address, line ends, NUL bytes, the
// file's encoding; the review of what was found.
#include "addressbook/AddressScanner.h"
#include "addressbook/HarvestReview.h"
#include "project/CodePage.h"
#include "project/ProjectFileError.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

using namespace quillet;
using List = std::vector<std::string>;

TEST(AddressScanner, SchemePrefixAndAngleBrackets)
{
    EXPECT_EQ(scanAddresses("<a href=\"mailto:ann@example.com\">write</a>"), List{"ann@example.com"});
    EXPECT_EQ(scanAddresses("From: Bob <bob@example.org>"), List{"bob@example.org"});
    EXPECT_EQ(scanAddresses("<a href='mailto:cy@example.org?subject=Hi'>"), List{"cy@example.org"});
    // An address written into a URL.
    EXPECT_EQ(scanAddresses("https://example.net/unsubscribe?u=dee%40example.org&list=4 "
                            "https://example.net/u/eve%40example.com/x"),
              (List{"dee@example.org", "eve@example.com"}));
}

TEST(AddressScanner, EnclosingQuotesBracketsAndSentenceEndsAreNotPartOfTheAddress)
{
    EXPECT_EQ(scanAddresses("x=\"cy@ex.com\" y"), List{"cy@ex.com"});
    EXPECT_EQ(scanAddresses("\"ivan@example.org kate@example.co.uk\" (bob@example.net). 'al@x.org'!"),
              (List{"ivan@example.org", "kate@example.co.uk", "bob@example.net", "al@x.org"}));
    // Quotes and brackets that belong to the address stay; tabs are not delimiters.
    EXPECT_EQ(scanAddresses("\"j d\"@x.org \"jd\"@x.org a@[192.0.2.1]. (tab\tde@ex.com)"),
              (List{"d\"@x.org", "\"jd\"@x.org", "a@[192.0.2.1]", "tab\tde@ex.com"}));
}

TEST(AddressScanner, DotsDoNotEndTheAddress)
{
    EXPECT_EQ(scanAddresses("grace.hopper@navy.example.mil, mary.ann.lee@example.co.uk."),
              (List{"grace.hopper@navy.example.mil", "mary.ann.lee@example.co.uk"}));
    EXPECT_EQ(scanAddresses("w.x.y.z@host.org"), List{"w.x.y.z@host.org"});
}

TEST(AddressScanner, LineEndsAndSeparators)
{
    EXPECT_EQ(scanAddresses("mail me at:someone@"), List{"someone@"});
    EXPECT_EQ(scanAddresses("one@a.com,two@b.com"), (List{"one@a.com", "two@b.com"}));
    EXPECT_EQ(scanAddresses("a@b\r\nc@d\re@f\ng@h"), (List{"a@b", "c@d", "e@f", "g@h"}));
    EXPECT_EQ(scanAddresses("x@y x@y"), (List{"x@y", "x@y"})); // duplicates stay
    EXPECT_EQ(scanAddresses("@"), List{"@"});
    EXPECT_EQ(scanAddresses("a@@b c"), List{"a@@b"});
    EXPECT_EQ(scanAddresses("no addresses here\r\n"), List{});
    EXPECT_EQ(scanAddresses(""), List{});
    // An address never spans two lines.
    EXPECT_EQ(scanAddresses("left\nhalf@x"), List{"half@x"});
    EXPECT_EQ(scanAddresses("left@\nhalf"), List{"left@"});
}

TEST(AddressScanner, NulEndsTheText)
{
    using namespace std::string_literals;
    EXPECT_EQ(scanAddresses("a@b\0c@d"s), List{"a@b"});
    // A 16-bit file: nothing beyond its first character is scanned.
    EXPECT_EQ(scanAddresses("a\0@\0b\0"s), List{});
}

TEST(AddressScanner, ReadsFilesAndReportsMissingOnes)
{
    const auto path = std::filesystem::temp_directory_path() / "quillet-scanner-test.txt";
    {
        std::ofstream out(path, std::ios::binary);
        out << "<p>Mail <a href=\"mailto:x@y.z\">x@y.z</a></p>\r\nsecond;line@here\r\n";
    }
    EXPECT_EQ(scanAddressFile(path.string()), (List{"x@y.z", "x@y.z", "line@here"}));
    // UTF-8 text gives its addresses in the code page.
    std::ofstream(path, std::ios::binary) << "J\xC3\xBCrgen <j\xC3\xBCrgen@example.de>\n";
    EXPECT_EQ(scanAddressFile(path.string()), List{utf8ToCodePage("j\xC3\xBCrgen@example.de")});
    std::filesystem::remove(path);
    EXPECT_THROW(scanAddressFile(path.string()), ProjectFileError);
}

TEST(HarvestReview, MarksInvalidEntriesAndRepeatsWithoutChangingTheList)
{
    const List found = scanAddresses("<a href=\"mailto:ann@example.com\\\">, someone@, bob@x.org, Bob@X.org bob@x.org");
    ASSERT_EQ(found, (List{"ann@example.com\\", "someone@", "bob@x.org", "Bob@X.org", "bob@x.org"}));
    const HarvestReview review = reviewHarvest(found);
    ASSERT_EQ(review.marks.size(), 5u);
    EXPECT_TRUE(review.marks[0].invalid); // the trailing backslash
    EXPECT_TRUE(review.marks[1].invalid); // nothing after the @
    EXPECT_FALSE(review.marks[2].marked());
    EXPECT_TRUE(review.marks[3].duplicate && !review.marks[3].invalid);
    EXPECT_TRUE(review.marks[4].duplicate);
    EXPECT_EQ(harvestCountsText(found.size(), review), "5 addresses found, 2 not valid, 2 duplicates");
    EXPECT_EQ(unmarkedEntries(found, review), List{"bob@x.org"});
    EXPECT_EQ(harvestRemoveMarkedQuestion(review),
              "Remove the 4 marked addresses (not valid or duplicates) before adding the others to the group?");
    EXPECT_EQ(harvestCountsText(1, reviewHarvest({"a@b.org"})), "1 address found, 0 not valid, 0 duplicates");
}
