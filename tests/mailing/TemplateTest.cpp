#include "support/TempFolder.h"
#include "mailing/MailingTexts.h"
#include "mailing/TemplateStore.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace quillet;
using quillet::test::TempFolder;
using ::testing::ElementsAre;
using ::testing::UnorderedElementsAre;

namespace {

const std::string kHeader(kTemplateHeader);

TEST(TemplateFile, EmptyTemplateIsFourLinesEachWithCrLf)
{
    TempFolder dir;
    TemplateStore store(dir.path());
    store.create({"Empty", "", "", {}});
    EXPECT_EQ(dir.read("Empty.tmpl"), kHeader + "\r\nEmpty\r\n\r\n\r\n");
}

TEST(TemplateFile, ReadingSplitsAtEveryLineBreakAndStopsAtZeroByte)
{
    EXPECT_THAT(SplitTemplateLines("a\r\nb\rc\nd"), ElementsAre("a", "b", "c", "d"));
    EXPECT_THAT(SplitTemplateLines("a\r\n"), ElementsAre("a"));
    EXPECT_THAT(SplitTemplateLines("a\n\n"), ElementsAre("a", ""));
    EXPECT_THAT(SplitTemplateLines("a\r\r\nb"), ElementsAre("a", "", "b"));
    EXPECT_THAT(SplitTemplateLines(std::string("a\r\nb\0c\r\nd", 10)), ElementsAre("a", "b"));
    EXPECT_THAT(SplitTemplateLines(""), ElementsAre());
}

TEST(TemplateFile, ShortFileReadsMissingLinesAsEmpty)
{
    const MessageTemplate tmpl = TemplateFromLines({kHeader, "OnlyName"});
    EXPECT_EQ(tmpl.name, "OnlyName");
    EXPECT_EQ(tmpl.subject, "");
    EXPECT_EQ(tmpl.replyTo, "");
    EXPECT_TRUE(tmpl.body.empty());
}

TEST(TemplateStore, ListsOnlyWritableTemplateFilesWithExactHeader)
{
    TempFolder dir;
    dir.write("a.tmpl", kHeader + "\r\nA\r\nSubject A\r\n\r\n");
    dir.write("lower.tmpl", "orv quillet template version 1.0\r\nLower\r\nS\r\n\r\n");
    dir.write("other.txt", kHeader + "\r\nTxt\r\nS\r\n\r\n");
    dir.write("ro.tmpl", kHeader + "\r\nReadOnly\r\nS\r\n\r\n");
    ::chmod((dir / "ro.tmpl").c_str(), 0444);
    dir.write(".tmpl", kHeader + "\r\n\r\nNo name\r\n\r\n");
    dir.write("lf.tmpl", kHeader + "\nUnix\nLF lines\n");
    std::filesystem::create_directory(dir / "folder.tmpl");
    // A listed file is known by its line 2, whatever its file name.
    dir.write("file-name.tmpl", kHeader + "\r\nInner name\r\nS2\r\n\r\n");

    TemplateStore store(dir.path());
    EXPECT_THAT(store.list(), UnorderedElementsAre(TemplateRow{"A", "Subject A"}, TemplateRow{"", "No name"},
                                                   TemplateRow{"Unix", "LF lines"}, TemplateRow{"Inner name", "S2"}));
    EXPECT_THROW(store.read("Inner name"), ETemplateError);
}

TEST(TemplateStore, MissingFolderListsNothingAndIsCreatedByTheFirstTemplate)
{
    TempFolder dir;
    TemplateStore store(dir / "Templates");
    EXPECT_TRUE(store.list().empty());
    try {
        store.read("X");
        FAIL();
    } catch (const ETemplateError& e) {
        EXPECT_EQ(std::string(e.what()),
                  "Cannot open file \"" + (dir / "Templates" / "X.tmpl").string() + "\". No such file or directory");
    }
    store.create({"X", "", "", {}});
    EXPECT_THAT(store.list(), ElementsAre(TemplateRow{"X", ""}));

    // Only the template folder is made: a program folder that is gone stays an error.
    TemplateStore orphan(dir / "gone" / "Templates");
    try {
        orphan.create({"Y", "", "", {}});
        FAIL();
    } catch (const ETemplateError& e) {
        EXPECT_EQ(std::string(e.what()), "Cannot create file \"" + (dir / "gone" / "Templates" / "Y.tmpl").string() +
                                             "\". No such file or directory");
    }
    EXPECT_FALSE(std::filesystem::exists(dir / "gone"));
}

TEST(TemplateStore, CreateRefusesExistingNameSaveReplaces)
{
    TempFolder dir;
    TemplateStore store(dir.path());
    store.create({"T", "first", "", {}});
    try {
        store.create({"T", "second", "", {}});
        FAIL();
    } catch (const ETemplateError& e) {
        EXPECT_STREQ(e.what(), "Template with this name already exists");
    }
    EXPECT_EQ(store.read("T").subject, "first");
    store.save({"T", "second", "", {}});
    EXPECT_EQ(store.read("T").subject, "second");

    // A read-only template is left as it is, and nothing else appears in the folder.
    ::chmod((dir / "T.tmpl").c_str(), 0444);
    try {
        store.save({"T", "third", "", {}});
        FAIL();
    } catch (const ETemplateError& e) {
        EXPECT_EQ(std::string(e.what()), "Cannot create file \"" + (dir / "T.tmpl").string() + "\". Permission denied");
    }
    ::chmod((dir / "T.tmpl").c_str(), 0644);
    EXPECT_EQ(store.read("T").subject, "second");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
}

TEST(TemplateStore, RenameKeepsTheOldFileAndEmptyNameIsDotTmpl)
{
    TempFolder dir;
    TemplateStore store(dir.path());
    store.create({"Old", "s", "", {}});
    MessageTemplate edited = store.read("Old");
    edited.name = "New";
    store.save(edited);
    EXPECT_THAT(store.list(), UnorderedElementsAre(TemplateRow{"Old", "s"}, TemplateRow{"New", "s"}));

    store.create({"", "nameless", "", {}});
    EXPECT_TRUE(std::filesystem::exists(dir / ".tmpl"));
    EXPECT_TRUE(store.remove(""));
    EXPECT_FALSE(store.remove(""));
    EXPECT_THAT(store.list(), UnorderedElementsAre(TemplateRow{"Old", "s"}, TemplateRow{"New", "s"}));
}

TEST(TemplateStore, ReplaceUnderANewNameRenamesWithTheHtmlBody)
{
    TempFolder dir;
    TemplateStore store(dir.path());
    MessageTemplate page{"Old", "s", "", {"plain"}};
    page.htmlBody = {"<p>x</p>"};
    store.create(page);
    store.create({"Taken", "t", "", {}});
    page.name = "Taken";
    EXPECT_THROW(store.replace("Old", page), ETemplateError);
    page.name = "New";
    store.replace("Old", page);
    EXPECT_THAT(store.list(), UnorderedElementsAre(TemplateRow{"New", "s"}, TemplateRow{"Taken", "t"}));
    EXPECT_EQ(store.read("New").htmlBody, std::vector<std::string>{"<p>x</p>"});
    EXPECT_FALSE(std::filesystem::exists(store.htmlPathOf("Old")));
}

} // namespace

namespace {

TEST(TemplateStore, NameWithSlashNeverReachesAnotherFolder)
{
    TempFolder dir;
    TemplateStore store(dir.path() / "Templates");
    std::filesystem::create_directory(dir.path() / "Templates");
    for (const std::string name : {"../escape", "sub/inner", "/tmp/abs"}) {
        EXPECT_THROW(store.create({name, "S", "", {"body"}}), ETemplateError) << name;
        EXPECT_THROW(store.read(name), ETemplateError) << name;
        EXPECT_THROW(store.remove(name), ETemplateError) << name;
    }
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "escape.tmpl"));
}

} // namespace

TEST(TemplateStore, AFreshListingKeepsTheShownOrder)
{
    const std::vector<TemplateRow> shown{{"B", "b"}, {"A", "a"}, {"C", "c"}};
    // The folder now returns another order, A's subject was edited, C was renamed to D.
    EXPECT_THAT(keepShownOrder(shown, {{"A", "edited"}, {"D", "c"}, {"B", "b"}}),
                ElementsAre(TemplateRow{"B", "b"}, TemplateRow{"A", "edited"}, TemplateRow{"D", "c"}));
    // Two files with the same name: each shown row is matched once.
    EXPECT_THAT(keepShownOrder({{"X", "1"}}, {{"X", "2"}, {"X", "1"}}),
                ElementsAre(TemplateRow{"X", "2"}, TemplateRow{"X", "1"}));
}

TEST(TemplateStore, HtmlBodyLivesBesideTheTemplateWhoseFileStaysAsBefore)
{
    TempFolder dir;
    TemplateStore store(dir.path());
    const MessageTemplate plain{"T", "S", "", {"body"}};
    store.create(plain);
    const std::string before = dir.read("T.tmpl");
    MessageTemplate html = plain;
    html.htmlBody = {"<p>Hi %NAME%</p>"};
    store.save(html);
    EXPECT_EQ(dir.read("T.tmpl"), before);
    EXPECT_EQ(dir.read("T.tmpl.html"), "<p>Hi %NAME%</p>\r\n");
    EXPECT_THAT(store.list(), ElementsAre(TemplateRow{"T", "S"}));
    EXPECT_EQ(store.read("T").htmlBody, html.htmlBody);
    store.save(plain);
    EXPECT_FALSE(std::filesystem::exists(dir / "T.tmpl.html"));
    store.save(html);
    EXPECT_TRUE(store.remove("T"));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 0);
}
