// The project file: exact bytes written, every field kept through a save and a load, and the
// refusal of files that are not project files or are damaged.
#include "support/TempFolder.h"

#include "project/CodePageMismatch.h"
#include "project/ProjectFileLayout.h"
#include "project/ProjectFileReader.h"
#include "project/ProjectFileWriter.h"
#include "project/ProjectLoading.h"

#include <gtest/gtest.h>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace quillet;
using quillet::test::readFileBytes;
using quillet::test::TempFolder;
using quillet::test::writeFileBytes;

namespace {

RecipientRecord recipient(std::string_view email, std::string_view group)
{
    RecipientRecord r;
    r.EMail.set(email);
    r.Group.set(group);
    return r;
}

// 2 groups, 3 recipients, 1 account, every field filled with a distinct text.
Project sampleProject()
{
    Project p;
    p.properties.Name.set("Mail list");
    p.properties.Description.set("Customers");
    p.properties.AutorName.set("Ann");
    p.properties.AutorWEB.set("http://example.org");
    p.properties.AutorEmail.set("ann@example.org");
    p.groups = {{"Friends", "close ones"}, {"friends", "others"}};
    for (int i = 0; i < 3; ++i) {
        RecipientRecord r = recipient("r" + std::to_string(i) + "@example.org", i == 2 ? "friends" : "Friends");
        r.Name.set("Name" + std::to_string(i));
        r.Surname.set("Surname" + std::to_string(i));
        r.Enabled = i == 1 ? 0 : 1;
        for (int k = 0; k < 4; ++k) {
            r.paramName(k).set(std::string("P").append(std::to_string(k)));
            r.paramValue(k).set(std::string("V").append(std::to_string(i)).append(std::to_string(k)));
        }
        p.recipients.push_back(r);
    }
    p.accounts.push_back(
        {"smtp.example.org", "user", "secret", "587", "Ann", "ann@example.org", "reply@example.org", "True"});
    return p;
}

std::string countBytes(std::int32_t n)
{
    unsigned char b[4];
    layout::putCount(b, n);
    return std::string(reinterpret_cast<char*>(b), 4);
}

std::string field(std::string_view text)
{
    ShortString255 s(text);
    return std::string(reinterpret_cast<const char*>(s.bytes), 256);
}

// An empty project file with the given counts and no entries behind them.
std::string headerWithCounts(std::int32_t groups, std::int32_t recipients, std::int32_t accounts)
{
    std::string bytes(layout::kHeader);
    bytes += std::string(1280, '\0');
    return bytes + countBytes(groups) + countBytes(recipients) + countBytes(accounts);
}

mode_t fileMode(const std::string& path)
{
    struct stat st {};
    EXPECT_EQ(::stat(path.c_str(), &st), 0);
    return st.st_mode & 0777;
}

} // namespace

TEST(ProjectFileLayout, EmptyProjectIsExactly1304BytesWithHeaderAndZeroCounts)
{
    TempFolder dir;
    Project p;
    p.properties.Name.set("x");
    saveProjectFile(p, dir.file("empty.oqf"));
    const std::string bytes = readFileBytes(dir.file("empty.oqf"));
    ASSERT_EQ(bytes.size(), 1304u);
    EXPECT_EQ(bytes.substr(0, 12), std::string("\x0BOrvQuillet1", 12));
    EXPECT_EQ(bytes.substr(12, 256), field("x"));
    EXPECT_EQ(bytes.substr(1292), std::string(12, '\0'));
}

TEST(ProjectFileLayout, BlocksFollowOneAnotherByteForByte)
{
    TempFolder dir;
    const Project p = sampleProject();
    saveProjectFile(p, dir.file("p.oqf"));
    const std::string bytes = readFileBytes(dir.file("p.oqf"));
    ASSERT_EQ(bytes.size(), 13595u);
    EXPECT_EQ(bytes.substr(1292, 4), countBytes(2));
    EXPECT_EQ(bytes.substr(1296, 512), field("Friends") + field("close ones"));
    EXPECT_EQ(bytes.substr(1296 + 1024, 4), countBytes(3));
    const std::size_t records = 1296 + 1024 + 4;
    EXPECT_EQ(bytes.substr(records, 3073), std::string(reinterpret_cast<const char*>(&p.recipients[0]), 3073));
    EXPECT_EQ(static_cast<unsigned char>(bytes[records + 3073 + 768]), 0u); // r1 disabled
    const std::size_t accounts = records + 3 * 3073;
    EXPECT_EQ(bytes.substr(accounts, 4), countBytes(1));
    EXPECT_EQ(bytes.substr(accounts + 4, 2048), field("smtp.example.org") + field("user") + field("secret") +
                                                    field("587") + field("Ann") + field("ann@example.org") +
                                                    field("reply@example.org") + field("True"));
}

TEST(ProjectFileReading, AWatchedLoadCountsItsBytesAndStopsWhenAsked)
{
    TempFolder dir;
    Project project;
    project.groups = {{"G", ""}};
    project.recipients.resize(20000); // more than one block of records
    saveProjectFile(project, dir.file("big.oqf"));

    LoadWatch watch;
    const LoadedProject loaded = loadProjectFileWatched(dir.file("big.oqf"), watch);
    EXPECT_EQ(loaded.project.recipients.size(), 20000u);
    EXPECT_EQ(loaded.project.path, dir.file("big.oqf"));
    EXPECT_FALSE(loaded.project.changed());
    EXPECT_EQ(watch.bytesRead.load(), watch.fileBytes.load());
    EXPECT_EQ(watch.fileBytes.load(), std::filesystem::file_size(dir.file("big.oqf")));

    // Asked to stop, the load ends with nothing kept.
    LoadWatch stopping;
    stopping.stopRequested = true;
    EXPECT_THROW(loadProjectFileWatched(dir.file("big.oqf"), stopping), ProjectLoadStopped);
}

TEST(ProjectFileRoundTrip, KeepsEveryField)
{
    TempFolder dir;
    Project p = sampleProject();
    p.recipients.push_back(recipient("orphan@example.org", "No such group")); // survives unchanged
    p.recipients.back().Enabled = 7;
    const std::string path = dir.file("p.oqf");
    saveProjectFile(p, path);
    const Project q = loadProjectFile(path);
    EXPECT_EQ(q.path, path);
    EXPECT_FALSE(q.changed());
    EXPECT_EQ(std::memcmp(&q.properties, &p.properties, sizeof p.properties), 0);
    ASSERT_EQ(q.groups.size(), 2u);
    EXPECT_EQ(q.groups[1].name, "friends");
    EXPECT_EQ(q.groups[1].description, "others");
    ASSERT_EQ(q.recipients.size(), 4u);
    EXPECT_EQ(std::memcmp(q.recipients.data(), p.recipients.data(), 4 * sizeof(RecipientRecord)), 0);
    EXPECT_TRUE(q.recipients[3].enabled());
    ASSERT_EQ(q.accounts.size(), 1u);
    EXPECT_EQ(q.accounts[0].replyTo, "reply@example.org");
    EXPECT_EQ(q.accounts[0].enabled, "True");
    // Writing what was read gives the same bytes.
    saveProjectFile(q, dir.file("again.oqf"));
    EXPECT_EQ(readFileBytes(dir.file("again.oqf")), readFileBytes(path));
}

TEST(ProjectFileReading, AppendingToALoadedProjectDoesNotMoveItsRecords)
{
    // A move would copy a million-recipient list into one twice its size for a single append.
    TempFolder dir;
    const std::string path = dir.file("p.oqf");
    saveProjectFile(sampleProject(), path);
    Project q = loadProjectFile(path);
    const RecipientRecord* before = q.recipients.data();
    for (int i = 0; i < 100; ++i)
        q.recipients.push_back(recipient("new@example.org", "friends"));
    EXPECT_EQ(q.recipients.data(), before);
}

TEST(ProjectFileReading, EveryRecipientBlockIsJudgedForTheCodePageWhileRead)
{
    // Under a Western code page, texts beyond ASCII that are all valid UTF-8 look written under
    // UTF-8; one text that is not valid UTF-8 anywhere (here in the last block) says otherwise.
    const std::string before = codePageName();
    selectCodePage("windows-1252");
    TempFolder dir;
    const std::string path = dir.file("p.oqf");
    Project p = sampleProject();
    for (int i = 0; i < 300; ++i)
        p.recipients.push_back(recipient("m" + std::to_string(i) + "@example.org", "Friends"));
    p.recipients[5].Name.set("Caf\xC3\xA9");
    for (const bool withWesternText : {false, true}) {
        p.recipients.back().Surname.set(withWesternText ? "Caf\xE9" : "");
        saveProjectFile(p, path);
        bool judged = withWesternText; // the opposite of the answer expected
        const Project q = loadProjectFileJudgingCodePage(path, judged);
        EXPECT_EQ(judged, !withWesternText);
        EXPECT_EQ(projectLooksLikeOtherCodePage(q), judged);
        EXPECT_EQ(q.recipients.size(), p.recipients.size());
    }
    selectCodePage("auto");
    EXPECT_EQ(codePageName(), before);
}

TEST(ProjectFileRoundTrip, LongTextsAreCutTo255BytesAndStayCut)
{
    TempFolder dir;
    Project p;
    const std::string longText(300, 'a');
    p.groups.push_back({longText, longText});
    p.recipients.push_back(recipient(longText, longText));
    p.accounts.push_back({longText, "", "", "25", "", "", "", "True"});
    saveProjectFile(p, dir.file("p.oqf"));
    const Project q = loadProjectFile(dir.file("p.oqf"));
    EXPECT_EQ(q.groups[0].name, std::string(255, 'a'));
    EXPECT_EQ(q.recipients[0].EMail.str(), std::string(255, 'a'));
    EXPECT_EQ(q.accounts[0].host, std::string(255, 'a'));
}

TEST(ProjectFileReading, IgnoresBytesAfterEachText)
{
    TempFolder dir;
    std::string bytes(layout::kHeader);
    std::string name = field("Abc");
    name[10] = 'Z'; // garbage after the text
    bytes += name + std::string(1024, '\0') + countBytes(1);
    std::string group = field("G");
    group[100] = 'x';
    bytes += group + field("D") + countBytes(0) + countBytes(-5); // a negative count means none
    writeFileBytes(dir.file("g.oqf"), bytes);
    const Project q = loadProjectFile(dir.file("g.oqf"));
    EXPECT_EQ(q.properties.Name.str(), "Abc");
    ASSERT_EQ(q.groups.size(), 1u);
    EXPECT_EQ(q.groups[0].name, "G");
    EXPECT_TRUE(q.accounts.empty());
}

TEST(ProjectFileRefusal, WrongHeaderIsNotAProjectFile)
{
    TempFolder dir;
    std::string bytes = headerWithCounts(0, 0, 0);
    bytes[0] = 0x0A; // the length byte differs even though "OrvQuillet1" follows
    writeFileBytes(dir.file("a.oqf"), bytes);
    writeFileBytes(dir.file("short.oqf"), "\x0BOrv");
    for (const char* name : {"a.oqf", "short.oqf"}) {
        try {
            loadProjectFile(dir.file(name));
            FAIL() << name;
        } catch (const ProjectFileError& e) {
            EXPECT_EQ(e.kind(), ProjectFileError::Kind::NotProjectFile);
            EXPECT_STREQ(e.what(), "Is not are Orv Quillet file or this file broken");
        }
    }
}

TEST(ProjectFileRefusal, MissingFileNamesThePathAndTheSystemReason)
{
    TempFolder dir;
    const std::string path = dir.file("missing.oqf");
    try {
        loadProjectFile(path);
        FAIL();
    } catch (const ProjectFileError& e) {
        EXPECT_EQ(e.kind(), ProjectFileError::Kind::CannotOpen);
        EXPECT_EQ(std::string(e.what()), "Cannot open file \"" + path + "\". No such file or directory");
    }
}

TEST(ProjectFileRefusal, TruncatedFileAndAbsurdCountsAreDamaged)
{
    TempFolder dir;
    const std::string path = dir.file("p.oqf");
    saveProjectFile(sampleProject(), path);
    const std::string whole = readFileBytes(path);

    std::vector<std::string> damaged;
    for (std::size_t cut :
         {std::size_t(20), std::size_t(1300), std::size_t(1400), whole.size() - 3073, whole.size() - 1})
        damaged.push_back(whole.substr(0, cut));
    damaged.push_back(headerWithCounts(0, 0x7fffffff, 0)); // two billion records promised
    damaged.push_back(headerWithCounts(0, 1, 0));          // one record promised, none there
    damaged.push_back(headerWithCounts(0x10000000, 0, 0));

    for (const std::string& bytes : damaged) {
        const std::string file = dir.file("damaged.oqf");
        writeFileBytes(file, bytes);
        try {
            loadProjectFile(file);
            FAIL() << "accepted " << bytes.size() << " bytes";
        } catch (const ProjectFileError& e) {
            EXPECT_EQ(e.kind(), ProjectFileError::Kind::Damaged) << bytes.size();
            EXPECT_EQ(std::string(e.what()),
                      "The file \"" + file + "\" is damaged: it ends before the end of its data");
        }
        EXPECT_EQ(readFileBytes(file), bytes) << "the file was touched";
    }
}

// A pipe has no size to check counts against: the entries are taken as they arrive (no list is
// reserved for a count of two billion) and a stream that stops early is still refused.
TEST(ProjectFileReading, ReadsFromAPipeAndRefusesOneThatStopsEarly)
{
    TempFolder dir;
    saveProjectFile(sampleProject(), dir.file("p.oqf"));
    const std::string whole = readFileBytes(dir.file("p.oqf"));
    const std::string fifo = dir.file("fifo");
    std::signal(SIGPIPE, SIG_IGN); // a reader that stops early must not end the test
    for (const std::string& bytes : {whole, whole.substr(0, 5000), headerWithCounts(0, 0x7fffffff, 0),
                                     headerWithCounts(0x7fffffff, 0, 0), headerWithCounts(0, 0, 0x7fffffff)}) {
        ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
        std::thread writer([&] { writeFileBytes(fifo, bytes); });
        if (bytes == whole) {
            EXPECT_EQ(loadProjectFile(fifo).recipients.size(), 3u);
        } else {
            try {
                loadProjectFile(fifo);
                ADD_FAILURE() << "accepted " << bytes.size() << " bytes";
            } catch (const ProjectFileError& e) {
                EXPECT_EQ(e.kind(), ProjectFileError::Kind::Damaged) << bytes.size();
            }
        }
        writer.join();
        std::filesystem::remove(fifo);
    }
}

TEST(ProjectFileLifecycle, FailedLoadLeavesProjectEmptyWithPathAndFileName)
{
    TempFolder dir;
    const std::string path = dir.file("Mail list.oqf");
    writeFileBytes(path, headerWithCounts(1, 0, 0)); // a group promised but missing
    Project p;
    EXPECT_THROW(loadProjectFileInto(p, path), ProjectFileError);
    EXPECT_EQ(p.path, path);
    EXPECT_EQ(p.properties.Name.str(), "Mail list.oqf");
    EXPECT_TRUE(p.groups.empty());
    EXPECT_FALSE(p.changed());

    saveProjectFile(sampleProject(), path);
    p.setChanged(true);
    loadProjectFileInto(p, path);
    EXPECT_EQ(p.properties.Name.str(), "Mail list"); // the stored name wins
    EXPECT_EQ(p.recipients.size(), 3u);
    EXPECT_FALSE(p.changed());
}

TEST(ProjectFileSaving, NewFileIsOwnerOnlyAndReplacedFileKeepsItsMode)
{
    TempFolder dir;
    const mode_t oldMask = ::umask(022);
    const std::string path = dir.file("p.oqf");
    saveProjectFile(sampleProject(), path);
    EXPECT_EQ(fileMode(path), 0600u);
    ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
    saveProjectFile(Project(), path);
    EXPECT_EQ(fileMode(path), 0640u);
    EXPECT_EQ(readFileBytes(path).size(), 1304u);
    ::umask(oldMask);
    // Only the project file is left: no temporary file stays behind.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
}

TEST(ProjectFileSaving, FileNameAtTheSystemsLimitCanBeSaved)
{
    TempFolder dir;
    const std::string path = dir.file(std::string(251, 'n') + ".oqf"); // 255 bytes
    saveProjectFile(sampleProject(), path);
    EXPECT_EQ(loadProjectFile(path).recipients.size(), 3u);
}

TEST(ProjectFileSaving, SavingThroughASymbolicLinkReplacesTheLinkedFile)
{
    TempFolder dir;
    const std::string real = dir.file("real.oqf");
    const std::string link = dir.file("link.oqf");
    saveProjectFile(Project(), real);
    std::filesystem::create_symlink(real, link);
    saveProjectFile(sampleProject(), link);
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(readFileBytes(real).size(), 13595u);
}

TEST(ProjectFileSaving, UncreatableFileReportsAndKeepsTheChangedFlag)
{
    TempFolder dir;
    Project p = sampleProject();
    p.path = dir.file("no such folder/p.oqf");
    p.setChanged(true);
    try {
        saveProject(p);
        FAIL();
    } catch (const ProjectFileError& e) {
        EXPECT_EQ(e.kind(), ProjectFileError::Kind::CannotCreate);
        EXPECT_EQ(std::string(e.what()), "Cannot create file \"" + p.path + "\". No such file or directory");
    }
    EXPECT_TRUE(p.changed());
}

// A save that fails half-way (file size limit: like a full disk) or whose process is killed
// half-way leaves the previous file exactly as it was.
TEST(ProjectFileSaving, FailedOrInterruptedSaveLeavesTheOldFileIntact)
{
    TempFolder dir;
    const std::string path = dir.file("p.oqf");
    saveProjectFile(sampleProject(), path);
    const std::string before = readFileBytes(path);
    Project big = sampleProject();
    big.recipients.resize(200, big.recipients[0]);

    for (bool killed : {false, true}) {
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            std::signal(SIGXFSZ, killed ? SIG_DFL : SIG_IGN);
            const rlimit limit{20000, 20000};
            ::setrlimit(RLIMIT_FSIZE, &limit);
            try {
                saveProjectFile(big, path);
            } catch (const ProjectFileError& e) {
                _exit(e.kind() == ProjectFileError::Kind::CannotWrite ? 3 : 4);
            }
            _exit(0);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        if (killed) {
            EXPECT_TRUE(WIFSIGNALED(status));
        } else {
            ASSERT_TRUE(WIFEXITED(status));
            EXPECT_EQ(WEXITSTATUS(status), 3);
        }
        EXPECT_EQ(readFileBytes(path), before);
    }
}
