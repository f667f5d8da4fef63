// The code page: chosen from the locale name, and conversions that never lose a character
// silently.
#include "project/CodePage.h"
#include "project/ProgramFolder.h"

#include <gtest/gtest.h>

#include <cstdlib>

using namespace quillet;

TEST(CodePage, ChosenFromTheLocaleName)
{
    EXPECT_STREQ(codePageNameFor(languageOfLocaleName("")), "CP1252");
    EXPECT_STREQ(codePageNameFor(languageOfLocaleName("C.UTF-8")), "CP1252");
    EXPECT_STREQ(codePageNameFor(languageOfLocaleName("de_DE.UTF-8@euro")), "CP1252");
    EXPECT_STREQ(codePageNameFor(languageOfLocaleName("ja_JP.UTF-8")), "CP932");
    EXPECT_STREQ(codePageNameFor(languageOfLocaleName("zh_CN.GB18030")), "GBK");
    EXPECT_STREQ(codePageNameFor(languageOfLocaleName("zh_TW.UTF-8")), "BIG5");
    EXPECT_STREQ(codePageNameFor(languageOfLocaleName("zh_HK")), "BIG5");
    EXPECT_STREQ(codePageNameFor(languageOfLocaleName("ko_KR.UTF-8")), "CP949");
    EXPECT_EQ(languageOfLocaleName("jam_JM"), LocaleLanguage::Other);
}

TEST(CodePage, ConvertsBothWaysInWestern)
{
    EXPECT_EQ(codePageToUtf8("Caf\xE9 \x80", "CP1252"), "Caf\xC3\xA9 \xE2\x82\xAC");
    EXPECT_EQ(utf8ToCodePage("Caf\xC3\xA9 \xE2\x82\xAC", "CP1252"), "Caf\xE9 \x80");
    // 0x81 has no character in Windows-1252: shown as U+FFFD, the rest kept.
    EXPECT_EQ(codePageToUtf8("a\x81z", "CP1252"), "a\xEF\xBF\xBDz");
}

TEST(CodePage, ConvertsDoubleByteJapanese)
{
    const std::string nihon = "\xE6\x97\xA5\xE6\x9C\xAC"; // 日本 in UTF-8
    EXPECT_EQ(utf8ToCodePage(nihon, "CP932"), "\x93\xFA\x96\x7B");
    EXPECT_EQ(codePageToUtf8("\x93\xFA\x96\x7B", "CP932"), nihon);
    // A lead byte at the very end has no second half.
    EXPECT_EQ(codePageToUtf8("a\x93", "CP932"), "a\xEF\xBF\xBD");
}

TEST(CodePage, UnrepresentableTextIsReportedNotMangled)
{
    try {
        utf8ToCodePage("\xE6\x97\xA5", "CP1252");
        FAIL();
    } catch (const UnrepresentableText& e) {
        EXPECT_NE(std::string(e.what()).find("\xE6\x97\xA5"), std::string::npos);
    }
    EXPECT_THROW(utf8ToCodePage("bad \xFF utf-8", "CP1252"), UnrepresentableText);
}

TEST(ProgramFolder, QuilletHomeOverridesTheExecutablesFolder)
{
    ::setenv("QUILLET_HOME", "/opt/quillet/", 1);
    EXPECT_EQ(programFolder(), "/opt/quillet");
    EXPECT_EQ(defaultProjectPath(), "/opt/quillet/default.oqf");
    EXPECT_EQ(templatesFolder(), "/opt/quillet/Templates");
    ::unsetenv("QUILLET_HOME");
    EXPECT_EQ(defaultProjectPath(), std::string(QUILLET_BIN_DIR) + "/default.oqf"); // tests live in bin
}

TEST(CodePage, MessagesShowUnrepresentableCharactersAsQuestionMarks)
{
    if (std::string(codePageName()) != "CP1252")
        GTEST_SKIP() << "the test process runs in another code page";
    EXPECT_EQ(utf8ToCodePageForMessage("/tmp/caf\xC3\xA9-\xE6\x97\xA5.oqf"), "/tmp/caf\xE9-?.oqf");
}

TEST(CodePage, ChoiceOfTheUserWinsOverTheLocale)
{
    EXPECT_STREQ(codePageOfChoice("UTF-8"), "UTF-8");
    EXPECT_STREQ(codePageOfChoice("shift_jis"), "CP932");
    EXPECT_EQ(codePageOfChoice("auto"), nullptr);
    EXPECT_THROW(codePageOfChoice("latin9"), std::invalid_argument);
    const std::string before = codePageName();
    selectCodePage("utf-8");
    EXPECT_TRUE(codePageIsUtf8());
    EXPECT_EQ(utf8ToCodePage("\xC5\x81ukasz \xE6\x97\xA5"), "\xC5\x81ukasz \xE6\x97\xA5");
    // A 255-byte field never ends in half a character.
    const std::string names = std::string(254, 'a') + "\xC5\x81";
    EXPECT_EQ(cutAtCharacter(names, 255).size(), 254u);
    EXPECT_EQ(cutAtCharacter(names, 256).size(), 256u);
    EXPECT_TRUE(looksLikeOtherCodePage({"plain", "caf\xE9"}));
    EXPECT_FALSE(looksLikeOtherCodePage({"plain", "caf\xC3\xA9"}));
    selectCodePage("auto");
    EXPECT_EQ(codePageName(), before);
    EXPECT_EQ(cutAtCharacter(names, 255).size(), 255u);
    EXPECT_TRUE(looksLikeOtherCodePage({"caf\xC3\xA9", "\xE6\x97\xA5"}) == (before == "CP1252"));
    EXPECT_STREQ(registeredCharsetName("CP932"), "Shift_JIS");
    EXPECT_STREQ(registeredCharsetName("CP1252"), "windows-1252");
}

TEST(CodePage, TextConversionNamesLineAndColumn)
{
    EXPECT_EQ(convertText("a\nb \xC3\xA9", "UTF-8", "CP1252", "body"), "a\nb \xE9");
    auto failure = [](std::string_view bytes, const char* from, const char* to) {
        try {
            convertText(bytes, from, to, "the body file");
        } catch (const UnrepresentableText& e) {
            return std::string(e.what());
        }
        return std::string("no error");
    };
    EXPECT_EQ(failure("one\ntw\xC3\xA9 \xC5\x81ukasz", "UTF-8", "CP1252"),
              "the body file, line 2, column 5: the character U+0141 has no code in code page CP1252");
    EXPECT_EQ(failure("ok\n\xC3\xA9\xFFx", "UTF-8", "CP1252"),
              "the body file, line 2, column 2: the byte 0xFF is not valid UTF-8 text");
    EXPECT_EQ(failure("\x82\xA0\x82", "CP932", "UTF-8"),
              "the body file, line 1, column 2: the byte 0x82 is not valid CP932 text");
}
