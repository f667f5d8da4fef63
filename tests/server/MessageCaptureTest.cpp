// Capture files: numbering, no overwriting, exact copies.
#include "server/MessageCapture.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace quillet::test {
namespace {

namespace fs = std::filesystem;

class MessageCaptureTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/quillet-capture-test-XXXXXX";
        root = ::mkdtemp(pattern);
        source = root / "data";
        std::ofstream(source, std::ios::binary) << std::string("line\r\n\0bin\xff", 11);
    }
    void TearDown() override { fs::remove_all(root); }

    static std::string Read(const fs::path& path)
    {
        std::ifstream in(path, std::ios::binary);
        std::ostringstream bytes;
        bytes << in.rdbuf();
        return bytes.str();
    }

    fs::path root;
    fs::path source;
};

TEST_F(MessageCaptureTest, NumbersFromOneAndCopiesExactly)
{
    MessageCapture capture((root / "new" / "folder").string());
    EXPECT_EQ(capture.Keep(source.string()), (root / "new" / "folder" / "000001.eml").string());
    EXPECT_EQ(capture.Keep(source.string()), (root / "new" / "folder" / "000002.eml").string());
    EXPECT_EQ(Read(root / "new" / "folder" / "000002.eml"), std::string("line\r\n\0bin\xff", 11));
}

TEST_F(MessageCaptureTest, ContinuesAfterEarlierCapturesAndNeverOverwrites)
{
    const fs::path folder = root / "kept";
    fs::create_directory(folder);
    std::ofstream(folder / "000007.eml") << "old seven";
    std::ofstream(folder / "notes.eml") << "other";
    std::ofstream(folder / "12345.eml") << "other";
    MessageCapture capture(folder.string());
    // A file appearing under the next name meanwhile is skipped, not replaced.
    std::ofstream(folder / "000008.eml") << "old eight";
    EXPECT_EQ(capture.Keep(source.string()), (folder / "000009.eml").string());
    EXPECT_EQ(Read(folder / "000007.eml"), "old seven");
    EXPECT_EQ(Read(folder / "000008.eml"), "old eight");
}

} // namespace
} // namespace quillet::test
