#include "AddressScanner.h"

#include "project/WholeFile.h"

#include <array>
#include <cstdint>
#include <cstring>

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
    std::size_t rest = 0; // the current line's text before this position has been removed
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
            start = end; // no delimiter lies between this dot and the "@"
        }
    }
    return found;
}

std::vector<std::string> scanAddressFile(const std::string& path)
{
    return scanAddresses(readWholeFile(path));
}

} // namespace quillet
