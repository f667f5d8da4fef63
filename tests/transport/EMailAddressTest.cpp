#include "transport/EMailAddress.h"

#include <gtest/gtest.h>

using namespace quillet;

namespace {

TEMailAddressItem parsed(std::string_view text)
{
    TEMailAddressItem item("old@x", "Old");
    item.SetText(text);
    return item;
}

} // namespace

TEST(EMailAddressParse, NameAndAngleAddress)
{
    EXPECT_EQ(parsed("John Doe <john@example.org>"), TEMailAddressItem("john@example.org", "John Doe"));
    EXPECT_EQ(parsed("  \"Doe, John\"  <john@example.org> "), TEMailAddressItem("john@example.org", "Doe, John"));
    EXPECT_EQ(parsed("<john@example.org>"), TEMailAddressItem("john@example.org", ""));
    EXPECT_EQ(parsed("<john.doe@mail.example.org>"), TEMailAddressItem("john.doe@mail.example.org", ""));
}

TEST(EMailAddressParse, BareAddressesAndComments)
{
    EXPECT_EQ(parsed("john@example.org"), TEMailAddressItem("john@example.org", ""));
    EXPECT_EQ(parsed(""), TEMailAddressItem());
    EXPECT_EQ(parsed(" \t "), TEMailAddressItem());
    // A comment after a bare address is dropped.
    EXPECT_EQ(parsed("john@example.org (John Doe)"), TEMailAddressItem("john@example.org", ""));
    // A word before a bare address becomes the name, with its trailing space.
    EXPECT_EQ(parsed("word john@example.org"), TEMailAddressItem("john@example.org", "word "));
    // No special character at all: the whole text is the address, even without an at sign.
    EXPECT_EQ(parsed("nobody"), TEMailAddressItem("nobody", ""));
}

TEST(EMailAddressParse, QuotedPartsAndEscapes)
{
    EXPECT_EQ(parsed("\"A \\\"B\\\"\" <a@b.c>"), TEMailAddressItem("a@b.c", "A \"B\""));
    EXPECT_EQ(parsed("<\"john doe\"@example.org>"), TEMailAddressItem("john doe@example.org", ""));
}

TEST(EMailAddressParse, AtSignAfterClosedAngleAddressFails)
{
    TEMailAddressItem item("old@x", "Old");
    try {
        item.SetText("<a@b.c> d@e.f");
        FAIL() << "no error";
    } catch (const EEMailAddressError& e) {
        EXPECT_STREQ(e.what(), "@ Outside address");
    }
    EXPECT_EQ(item, TEMailAddressItem());
}

TEST(EMailAddressDisplay, Forms)
{
    EXPECT_EQ(TEMailAddressItem("john@example.org").Text(), "john@example.org");
    EXPECT_EQ(TEMailAddressItem("john@example.org", "John Doe").Text(), "John Doe <john@example.org>");
    EXPECT_EQ(TEMailAddressItem("john@example.org", "Doe, John").Text(), "\"Doe, John\" <john@example.org>");
    EXPECT_EQ(TEMailAddressItem("john@example.org", "A \"q\" \\").Text(), "\"A \\\"q\\\" \\\\\" <john@example.org>");
    // Without an at sign the address form is empty; with a name it is "<>".
    EXPECT_EQ(TEMailAddressItem("nobody").Text(), "");
    EXPECT_EQ(TEMailAddressItem("nobody", "Some One").Text(), "Some One <>");
    EXPECT_EQ(TEMailAddressItem("", "Some One").Text(), "Some One <>");
    EXPECT_EQ(TEMailAddressItem().Text(), "");
    // A local part with a non-atom character other than a full stop is quoted.
    EXPECT_EQ(TEMailAddressItem("john doe@x.org").Text(), "<\"john doe\"@x.org>");
    EXPECT_EQ(TEMailAddressItem("john.doe@x.org").Text(), "john.doe@x.org");
    // A name equal to the upper-cased address is not shown.
    EXPECT_EQ(TEMailAddressItem("ab@x.org", "AB@X.ORG").Text(), "<ab@x.org>");
}

TEST(EMailAddressDisplay, RoundTripThroughText)
{
    for (const auto& item :
         {TEMailAddressItem("john@example.org", "John Doe"), TEMailAddressItem("john@example.org", "Doe, John"),
          TEMailAddressItem("john@example.org", "")}) {
        TEMailAddressItem back;
        back.SetText(item.Text());
        EXPECT_EQ(back, item) << item.Text();
    }
}

TEST(EMailAddressHeader, Forms)
{
    const EncodingParameters western;
    EXPECT_EQ(TEMailAddressItem("a@b.c").HeaderForm(western), "a@b.c");
    EXPECT_EQ(TEMailAddressItem("a@b.c", "John Doe").HeaderForm(western), "\"John Doe\" <a@b.c>");
    EXPECT_EQ(TEMailAddressItem("a@b.c", "Jo \"x\" \\").HeaderForm(western), "\"Jo \\\"x\\\" \\\\\" <a@b.c>");
    // An 8-bit name is encoded word by word with the address specials.
    EXPECT_EQ(TEMailAddressItem("a@b.c", "Ren\xE9 M\xFCller, Jr.").HeaderForm(western),
              "=?ISO-8859-1?Q?Ren=E9_M=FCller=2C_Jr=2E?= <a@b.c>");
    EXPECT_EQ(TEMailAddressItem("a@b.c", "Plain Ren\xE9").HeaderForm(western), "Plain =?ISO-8859-1?Q?Ren=E9?= <a@b.c>");

    TEMailAddressList list;
    EXPECT_EQ(list.HeaderForm(western), "");
    list.Add({"a@b.c", "A"});
    list.Add({"d@e.f"});
    EXPECT_EQ(list.HeaderForm(western), "\"A\" <a@b.c>, d@e.f");
}

TEST(EMailAddressHeader, LineBreaksInDataNeverLeaveTheValue)
{
    const EncodingParameters western;
    const std::string plain = TEMailAddressItem("a@b.c\r\nBcc: x@y.z", "Evil\r\nBcc: x@y.z").HeaderForm(western);
    EXPECT_EQ(plain.find_first_of("\r\n"), std::string::npos) << plain;
    const std::string encoded = TEMailAddressItem("a@b.c", "\xE9vil\r\nBcc: x@y.z\n").HeaderForm(western);
    EXPECT_EQ(encoded.find_first_of("\r\n"), std::string::npos) << encoded;
}

TEST(EMailAddressList, Parse)
{
    TEMailAddressList list;
    list.Add({"stale@x"});
    list.SetAddressesText("john@example.org");
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0], TEMailAddressItem("john@example.org"));

    // The first item's display form is empty (no at sign), so only the second one is kept.
    list.SetAddressesText("word, john@example.org");
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0], TEMailAddressItem("john@example.org"));

    list.SetAddressesText("\"Doe, John\" <john@x.org>, Jane <jane@y.org>; team: a@b.c, (x, y) d@e.f");
    ASSERT_EQ(list.size(), 4u);
    EXPECT_EQ(list[0], TEMailAddressItem("john@x.org", "Doe, John"));
    EXPECT_EQ(list[1], TEMailAddressItem("jane@y.org", "Jane"));
    EXPECT_EQ(list[2], TEMailAddressItem("a@b.c"));
    EXPECT_EQ(list[3], TEMailAddressItem("d@e.f"));
    EXPECT_EQ(list.AddressesText(), "\"Doe, John\" <john@x.org>, Jane <jane@y.org>, a@b.c, d@e.f");

    list.SetAddressesText("   ");
    EXPECT_TRUE(list.empty());
    list.SetAddressesText(" , ,");
    EXPECT_TRUE(list.empty());

    // A display form built for the check outlives the check (found by fuzzing, under ASan).
    list.SetAddressesText("@b, x");
    EXPECT_EQ(list.AddressesText(), "@b");
}
