#include "Base64.h"

#include "MessageTexts.h"
#include "TransportError.h"

#include <array>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <memory>
#include <unistd.h>

namespace quillet {

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// Two output characters for every 12-bit value: one table lookup yields two characters.
struct PairTable {
    std::array<std::uint16_t, 4096> pairs{};
    PairTable()
    {
        for (unsigned v = 0; v < 4096; ++v) {
            char two[2] = {kAlphabet[v >> 6], kAlphabet[v & 63]};
            std::memcpy(&pairs[v], two, 2);
        }
    }
};

const PairTable& pairTable()
{
    static const PairTable table;
    return table;
}

// Encodes n bytes (n a multiple of 3) to 4n/3 characters at out.
inline void encodeGroups(const unsigned char* in, std::size_t n, char* out, const PairTable& t)
{
    for (std::size_t i = 0; i < n; i += 3) {
        const std::uint32_t v = (std::uint32_t(in[i]) << 16) | (std::uint32_t(in[i + 1]) << 8) | in[i + 2];
        std::memcpy(out, &t.pairs[v >> 12], 2);
        std::memcpy(out + 2, &t.pairs[v & 0xFFF], 2);
        out += 4;
    }
}

// Encodes any number of bytes, padding the last group; returns the end of the output.
char* encodeAll(const unsigned char* in, std::size_t n, char* out)
{
    const std::size_t whole = n - n % 3;
    encodeGroups(in, whole, out, pairTable());
    out += whole / 3 * 4;
    const std::size_t rest = n - whole;
    if (rest == 1) {
        const unsigned v = in[whole];
        *out++ = kAlphabet[v >> 2];
        *out++ = kAlphabet[(v & 3) << 4];
        *out++ = '=';
        *out++ = '=';
    } else if (rest == 2) {
        const unsigned v = (unsigned(in[whole]) << 8) | in[whole + 1];
        *out++ = kAlphabet[v >> 10];
        *out++ = kAlphabet[(v >> 4) & 63];
        *out++ = kAlphabet[(v & 15) << 2];
        *out++ = '=';
    }
    return out;
}

std::size_t encodedLength(std::size_t n)
{
    return (n + 2) / 3 * 4;
}

} // namespace

void TEncoderMIME::EncodeAppend(std::string_view bytes, std::string& out)
{
    const std::size_t start = out.size();
    out.resize(start + encodedLength(bytes.size()));
    encodeAll(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), out.data() + start);
}

std::string TEncoderMIME::Encode(std::string_view bytes)
{
    std::string out;
    EncodeAppend(bytes, out);
    return out;
}

void TMessageEncoderMIME::EncodeLines(std::string_view bytes, std::string& out)
{
    const std::size_t fullLines = bytes.size() / kBytesPerLine;
    const std::size_t rest = bytes.size() % kBytesPerLine;
    const std::size_t size = fullLines * (kCharsPerLine + 2) + (rest ? encodedLength(rest) + 2 : 0);
    const std::size_t start = out.size();
    out.resize(start + size);
    const auto* in = reinterpret_cast<const unsigned char*>(bytes.data());
    char* o = out.data() + start;
    const PairTable& t = pairTable();
    for (std::size_t line = 0; line < fullLines; ++line) {
        encodeGroups(in, kBytesPerLine, o, t);
        in += kBytesPerLine;
        o += kCharsPerLine;
        *o++ = '\r';
        *o++ = '\n';
    }
    if (rest) {
        o = encodeAll(in, rest, o);
        *o++ = '\r';
        *o++ = '\n';
    }
}

void TMessageEncoderMIME::Encode(int fd, LineWriter& out, std::string_view sourceName)
{
    const std::unique_ptr<char[]> block(new char[kBlockSize]);
    std::string lines;
    lines.reserve(kBlockSize / kBytesPerLine * (kCharsPerLine + 2));
    bool atEnd = false;
    while (!atEnd) {
        // Fill the block completely (or up to the end of the source), so that every block but
        // the last one holds whole 57-byte lines.
        std::size_t filled = 0;
        while (filled < kBlockSize) {
            const ssize_t got = ::read(fd, block.get() + filled, kBlockSize - filled);
            if (got < 0) {
                if (errno == EINTR)
                    continue;
                throw ETransportError(FormatText(kCannotReadFileFormat, sourceName, std::strerror(errno)));
            }
            if (got == 0) {
                atEnd = true;
                break;
            }
            filled += static_cast<std::size_t>(got);
        }
        if (filled == 0)
            break;
        lines.clear();
        EncodeLines(std::string_view(block.get(), filled), lines);
        out.Write(lines);
    }
}

} // namespace quillet
