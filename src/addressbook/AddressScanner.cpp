#include "AddressScanner.h"

#include "project/FileDescriptor.h"
#include "project/ProjectFileError.h"
#include "project/ProjectMessages.h"

#include <array>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <memory>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quillet {

namespace {

enum CharClass : std::uint8_t { Plain = 0, Delimiter = 1, LineBreak = 2, Dot = 3 };

constexpr std::array<std::uint8_t, 256> makeClassTable()
{
    std::array<std::uint8_t, 256> table{};
    for (unsigned char c : {' ', ',', ':', ';', '<', '=', '>', '?'})
        table[c] = Delimiter;
    table['\r'] = LineBreak;
    table['\n'] = LineBreak;
    table['.'] = Dot;
    return table;
}

constexpr std::array<std::uint8_t, 256> kClass = makeClassTable();

inline std::uint8_t classOf(char c)
{
    return kClass[static_cast<unsigned char>(c)];
}

inline bool endsAddress(char c)
{
    const std::uint8_t k = classOf(c);
    return k == Delimiter || k == LineBreak;
}

} // namespace

std::vector<std::string> scanAddresses(std::string_view text)
{
    if (const void* nul = std::memchr(text.data(), '\0', text.size()))
        text = text.substr(0, static_cast<std::size_t>(static_cast<const char*>(nul) - text.data()));

    std::vector<std::string> found;
    const char* const data = text.data();
    const std::size_t size = text.size();
    std::size_t rest = 0;  // the current line's text before this position has been removed
    while (rest < size) {
        const void* hit = std::memchr(data + rest, '@', size - rest);
        if (!hit)
            break;
        const auto at = static_cast<std::size_t>(static_cast<const char*>(hit) - data);

        // Going left from the "@": the nearest delimiter or line break, not before the rest.
        std::size_t start = at;
        while (start > rest && !endsAddress(data[start - 1]))
            --start;

        // Cut addresses until one reaches past the "@"; an address cut at its third dot before
        // the "@" leaves the rest of the line, from that dot, with the same "@" in it.
        for (;;) {
            std::size_t end = start;
            int dots = 0;
            while (end < size) {
                const std::uint8_t c = classOf(data[end]);
                if (c == Delimiter || c == LineBreak || (c == Dot && ++dots == 3))
                    break;
                ++end;
            }
            found.emplace_back(data + start, end - start);
            rest = end;
            if (end > at)
                break;
            start = end;  // no delimiter lies between this dot and the "@"
        }
    }
    return found;
}

std::vector<std::string> scanAddressFile(const std::string& path)
{
    FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!file.valid())
        throw ProjectFileError(ProjectFileError::Kind::CannotOpen,
                               formatFileMessage(messages::kCannotOpenFile, path, std::strerror(errno)));
    struct stat info {};
    if (::fstat(file.get(), &info) != 0 || S_ISDIR(info.st_mode))
        throw ProjectFileError(ProjectFileError::Kind::CannotRead,
                               formatFileMessage(messages::kCannotReadFile, path,
                                                 std::strerror(S_ISDIR(info.st_mode) ? EISDIR : errno)));
    // One byte more than the file's size, so that the read which sees the end needs no growth.
    std::size_t capacity = static_cast<std::size_t>(info.st_size) + 1;
    std::unique_ptr<char[]> text(new char[capacity]);
    std::size_t filled = 0;
    for (;;) {
        if (filled == capacity) {  // the file has grown since fstat
            std::unique_ptr<char[]> larger(new char[capacity * 2]);
            std::memcpy(larger.get(), text.get(), filled);
            text = std::move(larger);
            capacity *= 2;
        }
        const ssize_t n = ::read(file.get(), text.get() + filled, capacity - filled);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            throw ProjectFileError(ProjectFileError::Kind::CannotRead,
                                   formatFileMessage(messages::kCannotReadFile, path, std::strerror(errno)));
        }
        if (n == 0)
            break;
        filled += static_cast<std::size_t>(n);
    }
    file.reset();
    return scanAddresses(std::string_view(text.get(), filled));
}

} // namespace quillet
