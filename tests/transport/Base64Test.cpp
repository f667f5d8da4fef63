#include "transport/Base64.h"
#include "transport/StringLineWriter.h"
#include "transport/TransportError.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <random>
#include <thread>
#include <unistd.h>

using namespace quillet;

namespace {

std::string randomBytes(std::size_t n, unsigned seed = 7)
{
    std::mt19937 gen(seed);
    std::string s(n, '\0');
    for (auto& c : s)
        c = static_cast<char>(gen() & 0xFF);
    return s;
}

// The lines as if every 57-byte chunk were encoded and written on its own.
std::string chunkedReference(const std::string& data)
{
    std::string out;
    for (std::size_t i = 0; i < data.size(); i += 57)
        out += TEncoderMIME::Encode(std::string_view(data).substr(i, 57)) + "\r\n";
    return out;
}

// Counts the Write calls and checks that each one hands over whole lines only.
class RecordingWriter : public StringLineWriter {
public:
    void Write(std::string_view bytes) override
    {
        ++writes;
        EXPECT_TRUE(bytes.empty() || bytes.ends_with("\r\n"));
        StringLineWriter::Write(bytes);
    }
    int writes = 0;
};

// Feeds data through a pipe from another thread, so reads come back short.
std::string encodeThroughPipe(const std::string& data, int* writes = nullptr)
{
    int fds[2];
    EXPECT_EQ(::pipe(fds), 0);
    std::thread feeder([&] {
        std::size_t done = 0;
        while (done < data.size()) {
            const ssize_t n = ::write(fds[1], data.data() + done, std::min<std::size_t>(data.size() - done, 10000));
            if (n <= 0)
                break;
            done += static_cast<std::size_t>(n);
        }
        ::close(fds[1]);
    });
    RecordingWriter writer;
    TMessageEncoderMIME::Encode(fds[0], writer);
    feeder.join();
    ::close(fds[0]);
    if (writes)
        *writes = writer.writes;
    return writer.text;
}

} // namespace

TEST(Base64, WholeTextVectors)
{
    EXPECT_EQ(TEncoderMIME::Encode(""), "");
    EXPECT_EQ(TEncoderMIME::Encode("f"), "Zg==");
    EXPECT_EQ(TEncoderMIME::Encode("fo"), "Zm8=");
    EXPECT_EQ(TEncoderMIME::Encode("foo"), "Zm9v");
    EXPECT_EQ(TEncoderMIME::Encode("foob"), "Zm9vYg==");
    EXPECT_EQ(TEncoderMIME::Encode("fooba"), "Zm9vYmE=");
    EXPECT_EQ(TEncoderMIME::Encode("foobar"), "Zm9vYmFy");
    EXPECT_EQ(TEncoderMIME::Encode(std::string("\x00\xFF\xFE\x3F", 4)), "AP/+Pw==");
    EXPECT_EQ(TEncoderMIME::Encode("user@example.org"), "dXNlckBleGFtcGxlLm9yZw==");
}

TEST(Base64, AttachmentLineLengths)
{
    EXPECT_EQ(encodeThroughPipe(""), "");
    const std::string one = encodeThroughPipe(std::string(57, 'a'));
    std::string expected;
    for (int i = 0; i < 19; ++i)
        expected += "YWFh";
    EXPECT_EQ(one, expected + "\r\n");

    const std::string two = encodeThroughPipe(std::string(58, 'a'));
    EXPECT_EQ(two, expected + "\r\nYQ==\r\n");

    const std::string s56 = encodeThroughPipe(std::string(56, 'a'));
    EXPECT_EQ(s56.size(), 76u + 2u);
    EXPECT_TRUE(s56.ends_with("=\r\n"));
}

TEST(Base64, LargeSourceWithShortReadsKeepsLineFraming)
{
    // More than two blocks, not a multiple of 57, delivered in 10000-byte pieces.
    const std::string data = randomBytes(TMessageEncoderMIME::kBlockSize * 2 + 1000);
    int writes = 0;
    const std::string encoded = encodeThroughPipe(data, &writes);
    EXPECT_EQ(encoded, chunkedReference(data));
    EXPECT_EQ(writes, 3);
    // No line starts with a full stop, so the lines need no dot-stuffing.
    EXPECT_EQ(encoded.find("\n."), std::string::npos);
}

TEST(Base64, ReadFailureIsReported)
{
    const int fd = ::open("/", O_RDONLY | O_DIRECTORY);
    ASSERT_GE(fd, 0);
    StringLineWriter writer;
    try {
        TMessageEncoderMIME::Encode(fd, writer, "/");
        FAIL() << "no error";
    } catch (const ETransportError& e) {
        EXPECT_EQ(std::string(e.what()).rfind("Cannot read file \"/\". ", 0), 0u) << e.what();
    }
    ::close(fd);
}
