#include "transport/EMailAddress.h"
#include "transport/EncodedWords.h"
#include "transport/Iso2022Jp.h"

#include <gtest/gtest.h>

#include <iconv.h>

using namespace quillet;

namespace {

const EncodingParameters kWestern = EncodingParametersFor(LocaleLanguage::Other);
const EncodingParameters kJapanese = EncodingParametersFor(LocaleLanguage::Japanese);

std::vector<std::string> splitWords(const std::string& s)
{
    std::vector<std::string> out;
    std::size_t start = 0;
    for (;;) {
        const std::size_t brk = s.find("\r\n\t", start);
        out.push_back(s.substr(start, brk - start));
        if (brk == std::string::npos)
            return out;
        start = brk + 3;
    }
}

} // namespace

TEST(EncodingParameters, LocaleTable)
{
    const auto check = [](LocaleLanguage language, const char* charset, char encoding, TTransfer mode) {
        const auto p = EncodingParametersFor(language);
        EXPECT_EQ(p.WordCharSet, charset);
        EXPECT_EQ(p.WordEncoding, encoding);
        EXPECT_EQ(p.TransferMode, mode);
    };
    check(LocaleLanguage::Other, "ISO-8859-1", 'Q', TTransfer::bit8);
    check(LocaleLanguage::Japanese, "ISO-2022-JP", 'B', TTransfer::iso2022jp);
    check(LocaleLanguage::ChineseSimplified, "GB2312", 'B', TTransfer::bit8);
    check(LocaleLanguage::ChineseTraditional, "Big5", 'B', TTransfer::bit8);
    check(LocaleLanguage::Korean, "EUC-KR", 'B', TTransfer::bit8);
}

TEST(EncodedWords, PlainTextUnchanged)
{
    const std::string longText(300, 'x');
    EXPECT_EQ(EncodeHeaderWords(longText + " and  more\twords ", kTextSpecials, kWestern),
              longText + " and  more\twords ");
    EXPECT_EQ(EncodeHeaderWords("", kTextSpecials, kWestern), "");
    // Address specials only matter for names.
    EXPECT_EQ(EncodeHeaderWords("Doe, John.", kTextSpecials, kWestern), "Doe, John.");
}

TEST(EncodedWords, OnlyWordsThatNeedItAreEncoded)
{
    EXPECT_EQ(EncodeHeaderWords("Hello \xE9\xE8\xE0", kTextSpecials, kWestern), "Hello =?ISO-8859-1?Q?=E9=E8=E0?=");
    // Adjacent words that need encoding form one run; the space becomes "_".
    EXPECT_EQ(EncodeHeaderWords("Gr\xFC\xDF Gott \xE9t\xE9 \xE0 vous", kTextSpecials, kWestern),
              "=?ISO-8859-1?Q?Gr=FC=DF?= Gott =?ISO-8859-1?Q?=E9t=E9_=E0?= vous");
    // "=", "?" and "_" are escaped inside a run, plain characters are not.
    EXPECT_EQ(EncodeHeaderWords("a=b?_c\xE9 ", kTextSpecials, kWestern), "=?ISO-8859-1?Q?a=3Db=3F=5Fc=E9?= ");
    // With the address specials a comma or full stop among 8-bit characters is escaped too.
    EXPECT_EQ(EncodeHeaderWords("M\xFCller,Jr. (x)", kAddressSpecials, kWestern),
              "=?ISO-8859-1?Q?M=FCller=2CJr=2E_=28x=29?=");
    // A control character makes a word need encoding.
    EXPECT_EQ(EncodeHeaderWords("a b\x01", kTextSpecials, kWestern), "a =?ISO-8859-1?Q?b=01?=");
    // So does "=?": plain text shaped like an encoded word would be decoded by the receiver.
    EXPECT_EQ(EncodeHeaderWords("see =?utf-8?b?QUJD?= x=?", kTextSpecials, kWestern),
              "see =?ISO-8859-1?Q?=3D=3Futf-8=3Fb=3FQUJD=3F=3D_x=3D=3F?=");
    EXPECT_EQ(TEMailAddressItem("a@b.c", "=?utf-8?b?QUJD?=").HeaderForm(kWestern),
              "=?ISO-8859-1?Q?=3D=3Futf-8=3Fb=3FQUJD=3F=3D?= <a@b.c>");
}

TEST(EncodedWords, QRunSplitAt75)
{
    const std::string text(30, '\xE9');
    const std::string encoded = EncodeHeaderWords(text, kTextSpecials, kWestern);
    const auto words = splitWords(encoded);
    ASSERT_EQ(words.size(), 2u);
    // 15 characters of opening, 19 escapes, "?=": 74; a 20th escape would make 77.
    std::string first = "=?ISO-8859-1?Q?";
    for (int i = 0; i < 19; ++i)
        first += "=E9";
    EXPECT_EQ(words[0], first + "?=");
    std::string second = "=?ISO-8859-1?Q?";
    for (int i = 0; i < 11; ++i)
        second += "=E9";
    EXPECT_EQ(words[1], second + "?=");

    // Exactly 75 characters still fit: 15 + 58 + 2.
    const std::string fits = EncodeHeaderWords("\xE9" + std::string(55, 'a'), kTextSpecials, kWestern);
    EXPECT_EQ(fits.size(), 75u);
    EXPECT_EQ(splitWords(fits).size(), 1u);
    const std::string over = EncodeHeaderWords("\xE9" + std::string(56, 'a'), kTextSpecials, kWestern);
    EXPECT_EQ(splitWords(over).size(), 2u);
    for (const auto& word : splitWords(EncodeHeaderWords(std::string(200, '\xFC') + " x", kTextSpecials, kWestern)))
        EXPECT_LE(word.size(), 75u) << word;
}

TEST(EncodedWords, BRunSplitBetweenCharacters)
{
    const EncodingParameters korean = EncodingParametersFor(LocaleLanguage::Korean);
    // 11 characters of opening and "?=" leave room for 45 bytes; a double-byte character is never
    // split, so the first word takes 22 characters (44 bytes) and the second the other 8.
    const std::string text(60, '\xB0');
    const auto words = splitWords(EncodeHeaderWords(text, kTextSpecials, korean));
    ASSERT_EQ(words.size(), 2u);
    EXPECT_EQ(words[0].size(), 73u);
    EXPECT_EQ(
        words[0], "=?EUC-KR?B?" + std::string() + [] {
            std::string s;
            for (int i = 0; i < 14; ++i)
                s += "sLCw";
            return s;
        }() + "sLA=?=");
    EXPECT_EQ(words[1], "=?EUC-KR?B?sLCwsLCwsLCwsLCwsLCwsA==?=");
}

TEST(EncodedWords, CharsetLabelsFollowTheBytes)
{
    // The euro sign (0x80) is printable only in windows-1252.
    EXPECT_EQ(EncodeHeaderWords("5 \x80 caf\xE9", kTextSpecials, kWestern), "5 =?windows-1252?Q?=80_caf=E9?=");
    // UTF-8: Q while it is shorter, B for text of mostly non-ASCII characters; never a split
    // sequence.
    const EncodingParameters utf8 = EncodingParametersForCodePage("UTF-8");
    EXPECT_EQ(EncodeHeaderWords("Stra\xC3\x9F"
                                "enfest",
                                kTextSpecials, utf8),
              "=?UTF-8?Q?Stra=C3=9Fenfest?=");
    EXPECT_EQ(EncodeHeaderWords("\xE6\x97\xA5\xE6\x9C\xAC", kTextSpecials, utf8), "=?UTF-8?B?5pel5pys?=");
    std::string longText;
    for (int i = 0; i < 40; ++i)
        longText += "\xC5\x81"; // Ł
    for (const auto& word : splitWords(EncodeHeaderWords(longText, kTextSpecials, utf8))) {
        EXPECT_LE(word.size(), 75u);
        EXPECT_EQ(word.find("=C5?="), std::string::npos) << word;
    }
}

TEST(EncodedWords, JapaneseTextIsConvertedFirst)
{
    // "Re: " then the Shift_JIS word "あい": converted to ISO-2022-JP, then B-encoded.
    EXPECT_EQ(EncodeHeaderWords("Re: \x82\xA0\x82\xA2", kTextSpecials, kJapanese),
              "Re: =?ISO-2022-JP?B?GyRCJCIkJBsoQg==?=");
}

TEST(EncodedWords, SingleLineValue)
{
    EXPECT_EQ(SingleLineValue("a\r\nb\rc\nd"), "a  b c d");
}

TEST(Iso2022Jp, AsciiAndKanji)
{
    EXPECT_EQ(ConvertToIso2022Jp("plain text"), "plain text");
    EXPECT_EQ(ConvertToIso2022Jp("A\x82\xA0\x88\x9F"
                                 "B"),
              "A\x1b$B\x24\x22\x30\x21\x1b(BB");
    // A stretch open at the end is closed.
    EXPECT_EQ(ConvertToIso2022Jp("\x83\x41"), "\x1b$B\x25\x22\x1b(B");
}

TEST(Iso2022Jp, HalfWidthKatakana)
{
    // ｱ ｶﾞ ﾊﾟ ｳﾞ: plain, voiced, semi-voiced, ウ with voiced mark.
    EXPECT_EQ(ConvertToIso2022Jp("\xB1\xB6\xDE\xCA\xDF\xB3\xDE"), "\x1b$B\x25\x22\x25\x2C\x25\x51\x25\x74\x1b(B");
    // ｱ has no voiced form: the mark is written on its own; ｶ has no semi-voiced form.
    EXPECT_EQ(ConvertToIso2022Jp("\xB1\xDE\xB6\xDF"), "\x1b$B\x25\x22\x21\x2B\x25\x2B\x21\x2C\x1b(B");
    // ｡ ｰ ﾝ and ﾂﾞ
    EXPECT_EQ(ConvertToIso2022Jp("\xA1\xB0\xDD\xC2\xDE"), "\x1b$B\x21\x23\x21\x3C\x25\x73\x25\x45\x1b(B");
}

TEST(Iso2022Jp, DroppedBytes)
{
    // User-defined characters, 0x80, 0xA0, 0xFD..0xFF, a lead byte with a bad second byte and a
    // lead byte at the end are dropped.
    EXPECT_EQ(ConvertToIso2022Jp("a\xF0\x40"
                                 "b\x80\xA0\xFD\xFE\xFF"
                                 "c\x82\x20"
                                 "d\x82"),
              "abcd");
}

TEST(Iso2022Jp, AgreesWithIconvOnEveryJisX0208Character)
{
    iconv_t cd = iconv_open("EUC-JP", "SHIFT_JIS");
    ASSERT_NE(cd, reinterpret_cast<iconv_t>(-1));
    int checked = 0;
    for (int lead = 0x81; lead <= 0xEF; ++lead) {
        if (lead > 0x9F && lead < 0xE0)
            continue;
        for (int trail = 0x40; trail <= 0xFC; ++trail) {
            if (trail == 0x7F)
                continue;
            char in[2] = {static_cast<char>(lead), static_cast<char>(trail)};
            char out[8];
            char* inp = in;
            char* outp = out;
            std::size_t inLeft = 2, outLeft = sizeof out;
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
            if (iconv(cd, &inp, &inLeft, &outp, &outLeft) == static_cast<std::size_t>(-1) || outp - out != 2)
                continue;
            const auto a = static_cast<unsigned char>(out[0]), b = static_cast<unsigned char>(out[1]);
            if (a < 0xA1 || b < 0xA1)
                continue;
            const std::string expected =
                std::string("\x1b$B") + static_cast<char>(a & 0x7F) + static_cast<char>(b & 0x7F) + "\x1b(B";
            ASSERT_EQ(ConvertToIso2022Jp(std::string_view(in, 2)), expected) << std::hex << lead << " " << trail;
            ++checked;
        }
    }
    iconv_close(cd);
    EXPECT_GT(checked, 6000);
}
