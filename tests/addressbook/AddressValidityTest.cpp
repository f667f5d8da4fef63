// The one address rule: what RFC 5321 accepts as a mailbox, and why the rest is refused.
#include "addressbook/AddressValidity.h"

#include <gtest/gtest.h>

#include <string>

using namespace quillet;
using P = AddressProblem;

namespace {
P ascii(std::string_view a)
{
    return addressProblem(a, DomainCharset::Ascii);
}
P utf8(std::string_view a)
{
    return addressProblem(a, DomainCharset::Utf8);
}
} // namespace

TEST(AddressValidity, AcceptsDotAtomsQuotedLocalPartsAndAddressLiterals)
{
    for (const char* good :
         {"ann@example.org", "a@b", "first.last+tag@sub.example.co.uk", "!#$%&'*+-/=?^_`{|}~@x-y.example",
          "user@localhost", "x@123.example", "\"john doe\"@example.org", "\"a@b\\\"c\\\\\"@example.org",
          "\"\"@example.org", "a@[192.0.2.1]", "a@[010.0.0.255]", "a@[IPv6:2001:db8::1]", "a@[ipv6:::1]",
          "a@[IPv6:::ffff:192.0.2.1]", "a@[x-tag:anything!goes]"})
        EXPECT_EQ(ascii(good), P::None) << good;
}

TEST(AddressValidity, RefusesEachBrokenPartWithItsReason)
{
    EXPECT_EQ(ascii(""), P::Empty);
    EXPECT_EQ(ascii("not-an-address"), P::NoAtSign);
    EXPECT_EQ(ascii("ann@"), P::BadDomain);
    for (const char* bad : {"@example.org", ".ann@x.org", "ann.@x.org", "a..b@x.org", "a b@x.org", "\"open@x.org",
                            "\"a\"b@x.org", "\"tab\t\"@x.org", "<ann@x.org>", " ann@x.org", "Ann <ann@x.org>"})
        EXPECT_EQ(ascii(bad), P::BadLocalPart) << bad;
    for (const char* bad : {"a@-x.org", "a@x-.org", "a@x..org", "a@x.org.", "a@.x.org", "a@x_y.org", "a@x.org ",
                            "a@b@x.org", "a@[192.0.2.256]", "a@[192.0.2]", "a@[1.2.3.4.5]", "a@[IPv6:1::2::3]",
                            "a@[IPv6:zz::1]", "a@[tag-:x]", "a@[tag:]", "a@[tag:a]b]", "a@[]", "a@ex\xE4mple.org"})
        EXPECT_EQ(ascii(bad), P::BadDomain) << bad;
}

TEST(AddressValidity, SizeLimits)
{
    const std::string label63(63, 'd');
    EXPECT_EQ(ascii(std::string(64, 'l') + "@x.org"), P::None);
    EXPECT_EQ(ascii(std::string(65, 'l') + "@x.org"), P::LocalPartTooLong);
    EXPECT_EQ(ascii("a@" + label63 + ".org"), P::None);
    EXPECT_EQ(ascii("a@" + label63 + "d.org"), P::BadDomain);
    // 4 labels of 63 and the dots: 255 octets of domain is the most, and the whole stays <= 254.
    const std::string domain255 = label63 + "." + label63 + "." + label63 + "." + std::string(63, 'e');
    EXPECT_EQ(ascii("a@" + domain255.substr(0, 252)), P::None);
    EXPECT_EQ(ascii("ab@" + domain255.substr(0, 252)), P::TooLong);
    EXPECT_EQ(ascii("a@" + domain255 + ".x"), P::DomainTooLong);
}

TEST(AddressValidity, InternationalDomainsOnlyAsUtf8InAUtf8CodePage)
{
    const std::string idn = "ann@b\xC3\xBC\x63her.example";                                    // bücher.example
    const std::string cjk = "x@\xE4\xBE\x8B\xE3\x81\x88.\xE3\x83\x86\xE3\x82\xB9\xE3\x83\x88"; // 例え.テスト
    EXPECT_EQ(utf8(idn), P::None);
    EXPECT_EQ(utf8(cjk), P::None);
    EXPECT_EQ(ascii(idn), P::BadDomain);
    EXPECT_EQ(utf8("ann@b\xFC"
                   "cher.example"),
              P::BadDomain);                                   // Latin-1 byte, not UTF-8
    EXPECT_EQ(utf8("ann@\xC0\xAF.example"), P::BadDomain);     // overlong form
    EXPECT_EQ(utf8("ann@\xED\xA0\x80.example"), P::BadDomain); // surrogate
    EXPECT_EQ(utf8("b\xC3\xBC@example.org"), P::BadLocalPart); // the local part stays ASCII
}

TEST(AddressValidity, ReasonsReadAsText)
{
    EXPECT_EQ(describeAddressProblem(P::None), "");
    EXPECT_EQ(describeAddressProblem(P::BadDomain), "the domain is not valid");
    EXPECT_EQ(describeAddressProblem(P::NoAtSign), "the address has no @");
}

// The quick check of plain addresses against the full one: over the bytes of dot-atoms and
// host names they agree on every text of up to seven bytes; with quotes, brackets, blanks and
// 8-bit bytes it never calls valid what the full check refuses; and at the size limits.
TEST(AddressValidity, QuickCheckOfPlainAddressesAgreesWithTheFullCheck)
{
    const auto agree = [](const std::string& a) {
        if (isPlainAddress(a))
            return addressProblem(a, DomainCharset::Ascii) == P::None &&
                   addressProblem(a, DomainCharset::Utf8) == P::None;
        return addressProblem(a, DomainCharset::Ascii) != P::None;
    };
    const auto every = [](std::string_view alphabet, std::size_t maxLength, const auto& check) {
        std::string text;
        std::vector<std::size_t> digits;
        for (;;) {
            check(text);
            std::size_t i = 0;
            while (i < digits.size() && digits[i] + 1 == alphabet.size())
                digits[i++] = 0;
            if (i == digits.size()) {
                if (digits.size() == maxLength)
                    return;
                digits.push_back(0);
            } else {
                ++digits[i];
            }
            text.clear();
            for (const std::size_t d : digits)
                text += alphabet[d];
        }
    };
    every("a-.@", 7, [&](const std::string& a) { EXPECT_TRUE(agree(a)) << a; });
    every("a.@\"[] \xC3\xBC", 5, [&](const std::string& a) {
        EXPECT_TRUE(!isPlainAddress(a) || addressProblem(a, DomainCharset::Ascii) == P::None) << a;
    });
    const std::string label63(63, 'd'), domain255 = label63 + "." + label63 + "." + label63 + "." + label63;
    for (const std::string& a :
         {std::string(64, 'l') + "@x.org", std::string(65, 'l') + "@x.org", "a@" + label63 + ".org",
          "a@" + label63 + "d.org", "a@" + domain255.substr(0, 252), "ab@" + domain255.substr(0, 252),
          "a@" + domain255 + ".x", std::string("first.last+tag@sub.example.co.uk"),
          std::string("!#$%&'*+-/=?^_`{|}~@x-y.example")})
        EXPECT_TRUE(agree(a)) << a;
    // Dots, hyphens and at signs on either side of the quick check's 16-byte steps and its 64-byte limit.
    for (std::size_t n = 1; n < 70; ++n)
        for (const std::string& a :
             {std::string(n, 'l') + "@x.org", std::string(n, 'l') + ".@x.org", "a@" + std::string(n, 'd') + ".org",
              "a@" + std::string(n, 'd') + "-.org", "a@" + std::string(n, 'd') + "..org",
              "a@" + std::string(n, 'd') + "@x.org", "a@b." + std::string(n, 'd') + "-"})
            EXPECT_TRUE(agree(a)) << a;
}
