#include "transport/EncodedWords.h"
#include "transport/HeaderList.h"

#include <gtest/gtest.h>

using namespace quillet;
using Lines = std::vector<std::string>;

TEST(HeaderFolding, CutAtTheLastSpaceBeforeTheLimit)
{
    // 68 letters, a space and three letters: 77 characters, then one space and the three.
    const std::string a68(68, 'a');
    EXPECT_EQ(THeaderList::FoldLine("Subject", a68 + " bbb"), (Lines{"Subject: " + a68, " bbb"}));
    // A single character left after the cut does not get a line of its own.
    EXPECT_EQ(THeaderList::FoldLine("Subject", a68 + " b"), (Lines{"Subject: " + a68 + " b"}));
    // A word of 100 letters: the name alone, then the whole word.
    const std::string a100(100, 'a');
    EXPECT_EQ(THeaderList::FoldLine("Subject", a100), (Lines{"Subject:", " " + a100}));
    // Short lines stay whole; trailing blanks are removed.
    EXPECT_EQ(THeaderList::FoldLine("Subject", "Hello   "), (Lines{"Subject: Hello"}));
    EXPECT_EQ(THeaderList::FoldLine("Subject", "Hello \t\x01"), (Lines{"Subject: Hello"}));
}

TEST(HeaderFolding, LongTextOfWords)
{
    std::string text;
    for (int i = 0; i < 60; ++i)
        text += (i ? " word" : "word") + std::to_string(i);
    const Lines lines = THeaderList::FoldLine("Subject", text);
    ASSERT_GT(lines.size(), 3u);
    std::string unfolded = lines[0];
    for (std::size_t i = 0; i < lines.size(); ++i) {
        EXPECT_LE(lines[i].size(), 79u) << lines[i];
        if (i > 0) {
            EXPECT_EQ(lines[i][0], ' ');
            EXPECT_NE(lines[i][1], ' ');
            unfolded += lines[i];
        }
    }
    EXPECT_EQ(unfolded, "Subject: " + text);
    // The first cut falls after the last space at or before the 78th character.
    EXPECT_EQ(lines[0], "Subject: word0 word1 word2 word3 word4 word5 word6 word7 word8 word9 word10");
}

TEST(HeaderFolding, CommasAndQuotes)
{
    // The 78th character is a comma: the cut is after it and the space after it stays.
    const std::string a73(73, 'a');
    EXPECT_EQ(THeaderList::FoldLine("To", a73 + ", bbb"), (Lines{"To: " + a73 + ",", "  bbb"}));
    // A quoted stretch is never cut, even at its spaces and commas.
    std::string quoted;
    for (int i = 0; i < 40; ++i)
        quoted += "x,";
    EXPECT_EQ(THeaderList::FoldLine("To", "\"" + quoted + " y\" <a@b.c>"),
              (Lines{"To:", " \"" + quoted + " y\" <a@b.c>"}));
}

TEST(HeaderFolding, EncodedWordBreaksAreKept)
{
    const std::string value = EncodeHeaderWords(std::string(30, '\xE9'), kTextSpecials, EncodingParameters());
    const Lines lines = THeaderList::FoldLine("Subject", value);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], "Subject:");
    EXPECT_EQ(lines[1].substr(0, 16), " =?ISO-8859-1?Q?");
    EXPECT_EQ(lines[2].substr(0, 16), "\t=?ISO-8859-1?Q?");
}

TEST(HeaderFolding, LineBreaksFromDataBecomeSpaces)
{
    EXPECT_EQ(THeaderList::FoldLine("Subject", "Hi\r\nBcc: victim@example.org\n\r"),
              (Lines{"Subject: Hi  Bcc: victim@example.org"}));
    // CR LF followed by a blank is a fold the value brings with it.
    EXPECT_EQ(THeaderList::FoldLine("Subject", "a\r\n\tb"), (Lines{"Subject: a", "\tb"}));
}

// AddHeader builds the short line in place; every value gives the lines FoldLine gives.
TEST(HeaderFolding, AddHeaderAddsTheFoldedLines)
{
    for (const std::string& value : Lines{"plain", "trailing blanks \t ", " \t", "a\r\n\tb", "Hi\nthere",
                                          std::string(70, 'x'), std::string(100, 'y') + " z"}) {
        THeaderList list;
        list.AddLine("First: 1");
        list.AddHeader("Subject", value);
        Lines expected{"First: 1"};
        for (const std::string& line : THeaderList::FoldLine("Subject", value))
            expected.push_back(line);
        EXPECT_EQ(list.Lines(), expected) << value;
    }
}

TEST(HeaderList, SetReplaceRemoveAndRead)
{
    THeaderList list;
    list.SetValue("X-One", "1");
    list.SetValue("Subject", std::string(100, 's'));
    list.SetValue("X-Two", "2");
    EXPECT_EQ(list.Lines().size(), 4u);
    EXPECT_EQ(list.Value("subject"), std::string(100, 's'));
    EXPECT_EQ(list.Value("X-TWO"), "2");
    EXPECT_EQ(list.Value("Missing"), "");

    // Replaced in place, continuation lines removed.
    list.SetValue("SUBJECT", "short");
    EXPECT_EQ(list.Lines(), (Lines{"X-One: 1", "SUBJECT: short", "X-Two: 2"}));
    list.SetValue("x-one", "");
    EXPECT_EQ(list.Lines(), (Lines{"SUBJECT: short", "X-Two: 2"}));
    list.SetValue("Absent", "");
    EXPECT_EQ(list.Lines().size(), 2u);

    THeaderList other;
    other.AddLine("X-Raw:   spaced  ");
    other.AddLine("\tcontinued ");
    list.Append(other);
    // The first line's value is not trimmed before the continuation is added.
    EXPECT_EQ(list.Value("X-Raw"), "spaced   continued");
}
