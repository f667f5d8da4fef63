#include "MimeDecoding.h"

#include "project/CodePage.h"

#include <cctype>
#include <optional>

namespace quillet {

namespace {

int base64Value(char c)
{
    if (c >= 'A' && c <= 'Z')
        return c - 'A';
    if (c >= 'a' && c <= 'z')
        return c - 'a' + 26;
    if (c >= '0' && c <= '9')
        return c - '0' + 52;
    if (c == '+')
        return 62;
    if (c == '/')
        return 63;
    return -1;
}

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

bool isHeaderSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

} // namespace

std::string DecodeBase64(std::string_view text)
{
    std::string out;
    out.reserve(text.size() / 4 * 3 + 3);
    unsigned buffer = 0;
    int bits = 0;
    for (const char c : text) {
        const int v = base64Value(c);
        if (v < 0)
            continue;
        buffer = ((buffer << 6) | unsigned(v)) & 0xFFFFFF;
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            out.push_back(char((buffer >> bits) & 0xFF));
        }
    }
    return out;
}

std::string DecodeQuotedPrintable(std::string_view text, bool underscoreIsSpace)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '=' && i + 2 < text.size() && hexValue(text[i + 1]) >= 0 && hexValue(text[i + 2]) >= 0) {
            out.push_back(char(hexValue(text[i + 1]) * 16 + hexValue(text[i + 2])));
            i += 2;
        } else if (c == '_' && underscoreIsSpace) {
            out.push_back(' ');
        } else {
            out.push_back(c);
        }
    }
    return out;
}

std::string DecodeQuotedPrintableLines(const std::vector<std::string_view>& lines)
{
    std::string out;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        std::string_view line = lines[i];
        if (!line.empty() && line.back() == '=') {
            line.remove_suffix(1);
            out += DecodeQuotedPrintable(line);
        } else {
            out += DecodeQuotedPrintable(line);
            if (i + 1 < lines.size())
                out += '\n';
        }
    }
    return out;
}

std::string MessageTextToUtf8(std::string_view bytes, const std::string& charset)
{
    if (!charset.empty())
        if (std::optional<std::string> text = charsetToUtf8(bytes, charset.c_str()))
            return std::move(*text);
    return codePageToUtf8(bytes);
}

std::string DecodeHeaderValue(std::string_view value)
{
    std::string out;
    std::string pendingSpace;
    bool lastWasEncoded = false;
    std::size_t i = 0;
    while (i < value.size()) {
        if (isHeaderSpace(value[i])) {
            if (value[i] == ' ' || value[i] == '\t')
                pendingSpace += value[i];
            ++i;
            continue;
        }
        if (value.substr(i, 2) == "=?") {
            const std::size_t q1 = value.find('?', i + 2);
            const std::size_t q2 = q1 == std::string_view::npos ? q1 : value.find('?', q1 + 1);
            const std::size_t end = q2 == std::string_view::npos ? q2 : value.find("?=", q2 + 1);
            if (end != std::string_view::npos && q2 == q1 + 2) {
                std::string charset(value.substr(i + 2, q1 - i - 2));
                if (const std::size_t star = charset.find('*'); star != std::string::npos)
                    charset.resize(star); // a language suffix
                const char kind = char(std::toupper(static_cast<unsigned char>(value[q1 + 1])));
                const std::string_view payload = value.substr(q2 + 1, end - q2 - 1);
                if (kind == 'B' || kind == 'Q') {
                    const std::string bytes =
                        kind == 'B' ? DecodeBase64(payload) : DecodeQuotedPrintable(payload, true);
                    if (!lastWasEncoded)
                        out += pendingSpace;
                    pendingSpace.clear();
                    out += MessageTextToUtf8(bytes, charset);
                    lastWasEncoded = true;
                    i = end + 2;
                    continue;
                }
            }
        }
        std::size_t next = i;
        while (next < value.size() && !isHeaderSpace(value[next]))
            ++next;
        out += pendingSpace;
        pendingSpace.clear();
        out += codePageToUtf8(value.substr(i, next - i));
        lastWasEncoded = false;
        i = next;
    }
    return out;
}

} // namespace quillet
