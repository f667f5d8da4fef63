#include "AddressScanner.h"

#include "project/CodePage.h"
#include "project/WholeFile.h"

#include <array>
#include <cstdint>
#include <cstring>

namespace quillet {

namespace {

enum CharClass : std::uint8_t { Plain = 0, Delimiter = 1, LineBreak = 2, Opener = 3, Closer = 4, Stop = 5, Quote = 6 };

constexpr std::array<std::uint8_t, 256> makeClassTable()
{
    std::array<std::uint8_t, 256> table{};
    for (unsigned char c : {' ', ',', ':', ';', '<', '=', '>', '?'})
        table[c] = Delimiter;
    table['\r'] = LineBreak;
    table['\n'] = LineBreak;
    for (unsigned char c : {'(', '[', '{'})
        table[c] = Opener;
    for (unsigned char c : {')', ']', '}'})
        table[c] = Closer;
    for (unsigned char c : {'.', '!'})
        table[c] = Stop;
    for (unsigned char c : {'"', '\'', '`'})
        table[c] = Quote;
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

// In a URL an address written with "%40" is also bounded by the path's and the query's separators.
inline bool endsEncodedAddress(char c)
{
    return endsAddress(c) || c == '/' || c == '&';
}

char closerOf(char opener)
{
    return opener == '(' ? ')' : opener == '[' ? ']' : opener == '{' ? '}' : opener;
}

char openerOf(char closer)
{
    return closer == ')' ? '(' : closer == ']' ? '[' : closer == '}' ? '{' : closer;
}

constexpr std::string_view kEncodedAt = "%40";

// The address of [start, end) around the at sign at `at` (`atEnd` past it) without what encloses
// it or ends the sentence after it.
std::string_view trimmed(std::string_view line, std::size_t start, std::size_t at, std::size_t atEnd, std::size_t end)
{
    while (start < at) {
        const std::uint8_t k = classOf(line[start]);
        // An opening quote or bracket closed again before the at sign belongs to the local part.
        if ((k != Quote && k != Opener) ||
            line.substr(start + 1, at - start - 1).find(closerOf(line[start])) != std::string_view::npos)
            break;
        ++start;
    }
    while (end > atEnd) {
        const char c = line[end - 1];
        const std::uint8_t k = classOf(c);
        // A closing bracket opened after the at sign ends a domain literal ("[192.0.2.1]").
        if (k == Closer && line.substr(atEnd, end - 1 - atEnd).find(openerOf(c)) != std::string_view::npos)
            break;
        if (k != Closer && k != Quote && k != Stop)
            break;
        --end;
    }
    return line.substr(start, end - start);
}

} // namespace

std::vector<std::string> scanAddresses(std::string_view text)
{
    if (const void* nul = std::memchr(text.data(), '\0', text.size()))
        text = text.substr(0, static_cast<std::size_t>(static_cast<const char*>(nul) - text.data()));

    std::vector<std::string> found;
    const char* const data = text.data();
    const std::size_t size = text.size();
    std::size_t rest = 0;                        // the current line's text before this position has been removed
    std::size_t encoded = text.find(kEncodedAt); // the next "%40" at or after `rest`, found once
    while (rest < size) {
        const void* hit = std::memchr(data + rest, '@', size - rest);
        std::size_t at = hit ? static_cast<std::size_t>(static_cast<const char*>(hit) - data) : std::string_view::npos;
        if (encoded != std::string_view::npos && encoded < rest)
            encoded = text.find(kEncodedAt, rest);
        const bool byEncoding = encoded < at;
        if (byEncoding)
            at = encoded;
        if (at == std::string_view::npos)
            break;
        const std::size_t atEnd = at + (byEncoding ? kEncodedAt.size() : 1);

        std::size_t start = at;
        std::size_t end = atEnd;
        if (byEncoding) {
            while (start > rest && !endsEncodedAddress(data[start - 1]))
                --start;
            while (end < size && !endsEncodedAddress(data[end]))
                ++end;
        } else {
            // Going left from the "@": the nearest delimiter or line break, not before the rest.
            while (start > rest && !endsAddress(data[start - 1]))
                --start;
            while (end < size && !endsAddress(data[end]))
                ++end;
        }
        const std::string_view address = trimmed(text, start, at, atEnd, end);
        if (byEncoding && address.find('@') == std::string_view::npos) {
            std::string decoded;
            for (std::size_t i = 0; i < address.size(); ++i) {
                if (address.substr(i, kEncodedAt.size()) == kEncodedAt) {
                    decoded += '@';
                    i += kEncodedAt.size() - 1;
                } else {
                    decoded += address[i];
                }
            }
            found.push_back(std::move(decoded));
        } else {
            found.emplace_back(address);
        }
        rest = end;
    }
    return found;
}

std::vector<std::string> scanAddressFile(const std::string& path)
{
    const std::string bytes = readWholeFile(path);
    constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
    const bool marked = std::string_view(bytes).substr(0, kUtf8Bom.size()) == kUtf8Bom;
    std::vector<std::string> found = scanAddresses(std::string_view(bytes).substr(marked ? kUtf8Bom.size() : 0));
    if (codePageIsUtf8())
        return found;
    // Only a file that gave an address beyond ASCII is checked for being UTF-8 text as a whole.
    bool eightBit = false;
    for (const std::string& address : found)
        eightBit = eightBit || !isPlainAscii(address);
    if (!eightBit || (!marked && !isValidUtf8(std::string_view(bytes).substr(0, bytes.find('\0')))))
        return found;
    for (std::string& address : found)
        address = utf8ToCodePageForMessage(address);
    return found;
}

} // namespace quillet
