// E-mail collation under real locales, checked against the C library's own wide-character
// comparison of the same texts. The locale tests skip when the locale is not installed
// (scripts/install-deps brings the locales package; generate en_US.UTF-8 and de_DE.UTF-8).
#include "addressbook/EmailCollation.h"

#include <gtest/gtest.h>

#include <iconv.h>
#include <locale.h>
#include <random>
#include <stdexcept>
#include <wchar.h>

using namespace quillet;

namespace {

int sign(int v)
{
    return (v > 0) - (v < 0);
}

// The reference: Windows-1252 bytes to wide characters by iconv, compared by wcscoll_l.
class Reference {
public:
    explicit Reference(const char* localeName)
        : locale_(newlocale(LC_ALL_MASK, localeName, static_cast<locale_t>(nullptr))),
          toWide_(iconv_open("WCHAR_T", "CP1252"))
    {
    }
    ~Reference()
    {
        if (locale_)
            freelocale(locale_);
        if (toWide_ != reinterpret_cast<iconv_t>(-1))
            iconv_close(toWide_);
    }
    bool available() const { return locale_ && toWide_ != reinterpret_cast<iconv_t>(-1); }

    int compare(const std::string& a, const std::string& b) const
    {
        return sign(wcscoll_l(wide(a).c_str(), wide(b).c_str(), locale_));
    }

private:
    std::wstring wide(const std::string& text) const
    {
        std::wstring out(text.size() + 1, L'\0');
        char* in = const_cast<char*>(text.data());
        std::size_t inLeft = text.size();
        char* outPtr = reinterpret_cast<char*>(out.data());
        std::size_t outLeft = text.size() * sizeof(wchar_t);
        if (iconv(toWide_, &in, &inLeft, &outPtr, &outLeft) == static_cast<std::size_t>(-1))
            throw std::runtime_error("iconv");
        out.resize(static_cast<std::size_t>(reinterpret_cast<wchar_t*>(outPtr) - out.data()));
        return out;
    }

    locale_t locale_;
    iconv_t toWide_;
};

// Random texts: mostly printable ASCII as in addresses, some control characters and some
// defined Windows-1252 letters above 0x7F.
std::string randomText(std::mt19937& random)
{
    static const std::string alphabet = "abcdeABCDEzZ019@.-_+' \t\x01\x7f"
                                        "\xe9\xc9\xe4\xc4\xdf\xf6\xfc\xe0";
    std::string text;
    const std::size_t length = random() % 9;
    for (std::size_t i = 0; i < length; ++i)
        text.push_back(alphabet[random() % alphabet.size()]);
    return text;
}

void expectSameOrderAsReference(const char* localeName, bool asciiOnly)
{
    Reference reference(localeName);
    if (!reference.available())
        GTEST_SKIP() << localeName << " is not installed";
    const EmailCollation collation(localeName);
    ASSERT_TRUE(collation.usesLocale());
    std::mt19937 random(11);
    for (int i = 0; i < 20000; ++i) {
        std::string a = randomText(random);
        std::string b = randomText(random);
        if (asciiOnly) {
            for (std::string* s : {&a, &b})
                for (char& c : *s)
                    c = static_cast<unsigned char>(c) < 0x80 ? c : 'x';
        }
        const int expected = reference.compare(a, b);
        const int got = sign(collation.compare(a, b));
        if (expected != 0)
            ASSERT_EQ(got, expected) << "\"" << a << "\" vs \"" << b << "\"";
        else
            ASSERT_EQ(got == 0, a == b) << "\"" << a << "\" vs \"" << b << "\""; // ties broken by bytes
        ASSERT_EQ(sign(collation.compare(b, a)), -got);
    }
}

TEST(EmailCollation, UsEnglishUtf8LocaleOrdersAsTheCLibrary)
{
    expectSameOrderAsReference("en_US.UTF-8", false);
    expectSameOrderAsReference("en_US.UTF-8", true);
}

TEST(EmailCollation, GermanLocalesOrderAsTheCLibraryWhateverTheirCharacterSet)
{
    expectSameOrderAsReference("de_DE.UTF-8", false);
    expectSameOrderAsReference("de_DE", false); // ISO-8859-1
}

TEST(EmailCollation, CodePageLettersSortAmongTheirBaseLettersCaseSensitively)
{
    if (!Reference("en_US.UTF-8").available())
        GTEST_SKIP() << "en_US.UTF-8 is not installed";
    const EmailCollation collation("en_US.UTF-8");
    // Windows-1252 e-acute (0xE9) and E-acute (0xC9) sit between e and f, not after z.
    EXPECT_LT(collation.compare("e@x", "\xe9@x"), 0);
    EXPECT_LT(collation.compare("\xe9@x", "f@x"), 0);
    EXPECT_LT(collation.compare("\xc9@x", "f@x"), 0);
    EXPECT_NE(collation.compare("\xe9@x", "\xc9@x"), 0);
    EXPECT_NE(collation.compare("a@x", "A@x"), 0);
    EXPECT_LT(collation.compare("a@x", "b@x"), 0);
    EXPECT_LT(collation.compare("A@x", "b@x"), 0);
}

TEST(EmailCollation, UndefinedCodePageBytesStillOrderTotally)
{
    // 0x81 and 0x8D are undefined in Windows-1252 and both read as U+FFFD.
    for (const char* name : {"", "C.UTF-8"}) {
        const EmailCollation collation(name);
        EXPECT_NE(collation.compare("\x81@x", "\x8d@x"), 0) << name;
        EXPECT_EQ(sign(collation.compare("\x81@x", "\x8d@x")), -sign(collation.compare("\x8d@x", "\x81@x"))) << name;
        EXPECT_LT(collation.compare("z@x", "\x81@x"), 0) << name;
    }
}

TEST(EmailCollation, MissingLocaleFallsBackToCodePointOrder)
{
    const EmailCollation collation("xx_NOWHERE.UTF-8");
    EXPECT_FALSE(collation.usesLocale());
    EXPECT_LT(collation.compare("B@x", "a@x"), 0);
}

} // namespace
