#include "ReceivedMessageSummary.h"

#include "project/CodePage.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <iconv.h>

namespace quillet {

namespace {

std::string lower(std::string_view text)
{
    std::string result(text);
    std::transform(result.begin(), result.end(), result.begin(),
                   [](unsigned char c) { return char(std::tolower(c)); });
    return result;
}

std::string_view trim(std::string_view text)
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    return text;
}

// Lines split at CR LF or LF.
std::vector<std::string_view> splitLines(std::string_view text)
{
    std::vector<std::string_view> lines;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        lines.push_back(line);
        if (end == std::string_view::npos)
            break;
        text.remove_prefix(end + 1);
    }
    return lines;
}

// Bytes in a named charset to UTF-8; false when iconv does not know the charset or the bytes.
bool convertToUtf8(std::string_view bytes, const std::string& charset, std::string& out)
{
    iconv_t cd = iconv_open("UTF-8", charset.c_str());
    if (cd == iconv_t(-1))
        return false;
    std::string input(bytes);
    std::string result(input.size() * 4 + 16, '\0');
    char* in = input.data();
    std::size_t inLeft = input.size();
    char* outPtr = result.data();
    std::size_t outLeft = result.size();
    const std::size_t rc = iconv(cd, &in, &inLeft, &outPtr, &outLeft);
    iconv_close(cd);
    if (rc == std::size_t(-1))
        return false;
    result.resize(result.size() - outLeft);
    out = std::move(result);
    return true;
}

std::string textToUtf8(std::string_view bytes, const std::string& charset)
{
    std::string out;
    if (!charset.empty() && convertToUtf8(bytes, charset, out))
        return out;
    return codePageToUtf8(bytes);
}

int base64Value(char c)
{
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return -1;
}

std::string decodeBase64(std::string_view text)
{
    std::string out;
    unsigned buffer = 0;
    int bits = 0;
    for (char c : text) {
        const int v = base64Value(c);
        if (v < 0)
            continue;
        buffer = (buffer << 6) | unsigned(v);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            out.push_back(char((buffer >> bits) & 0xFF));
        }
    }
    return out;
}

int hexValue(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// Quoted-printable; in encoded words "_" stands for a space.
std::string decodeQuoted(std::string_view text, bool underscoreIsSpace)
{
    std::string out;
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

// Quoted-printable body lines: a line ending in "=" continues on the next one.
std::string decodeQuotedPrintableBody(const std::vector<std::string_view>& lines)
{
    std::string out;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        std::string_view line = lines[i];
        if (!line.empty() && line.back() == '=') {
            line.remove_suffix(1);
            out += decodeQuoted(line, false);
        } else {
            out += decodeQuoted(line, false);
            if (i + 1 < lines.size())
                out += '\n';
        }
    }
    return out;
}

struct HeaderBlock {
    std::vector<std::pair<std::string, std::string>> fields; // lower-case name, unfolded value

    std::string value(std::string_view name) const
    {
        for (const auto& [n, v] : fields)
            if (n == name)
                return v;
        return {};
    }
};

// Reads header lines from the front of lines (up to the empty line, which is consumed).
HeaderBlock readHeaders(std::vector<std::string_view>& lines, std::size_t& pos)
{
    HeaderBlock block;
    while (pos < lines.size() && !lines[pos].empty()) {
        const std::string_view line = lines[pos++];
        if ((line.front() == ' ' || line.front() == '\t') && !block.fields.empty()) {
            block.fields.back().second += std::string(line);
            continue;
        }
        const std::size_t colon = line.find(':');
        if (colon == std::string_view::npos)
            continue;
        block.fields.emplace_back(lower(trim(line.substr(0, colon))), std::string(line.substr(colon + 1)));
    }
    if (pos < lines.size())
        ++pos; // the empty line
    return block;
}

// A parameter of a structured header value, e.g. boundary="abc" or charset=iso-8859-1.
std::string parameter(const std::string& headerValue, std::string_view name)
{
    const std::string lowered = lower(headerValue);
    std::size_t at = 0;
    while ((at = lowered.find(name, at)) != std::string::npos) {
        const bool wordStart = at == 0 || lowered[at - 1] == ';' || lowered[at - 1] == ' ' || lowered[at - 1] == '\t';
        std::size_t p = at + name.size();
        while (p < lowered.size() && (lowered[p] == ' ' || lowered[p] == '\t'))
            ++p;
        if (!wordStart || p >= lowered.size() || lowered[p] != '=') {
            at += name.size();
            continue;
        }
        ++p;
        while (p < lowered.size() && (lowered[p] == ' ' || lowered[p] == '\t'))
            ++p;
        if (p < headerValue.size() && headerValue[p] == '"') {
            const std::size_t end = headerValue.find('"', p + 1);
            return headerValue.substr(p + 1, end == std::string::npos ? std::string::npos : end - p - 1);
        }
        std::size_t end = p;
        while (end < headerValue.size() && headerValue[end] != ';' && headerValue[end] != ' ' && headerValue[end] != '\t')
            ++end;
        return headerValue.substr(p, end - p);
    }
    return {};
}

std::vector<std::string> decodeBodyLines(const std::vector<std::string_view>& lines, const HeaderBlock& headers)
{
    const std::string encoding = lower(trim(headers.value("content-transfer-encoding")));
    const std::string charset = parameter(headers.value("content-type"), "charset");
    std::string text;
    if (encoding == "base64") {
        std::string joined;
        for (auto line : lines)
            joined += line;
        text = decodeBase64(joined);
    } else if (encoding == "quoted-printable") {
        text = decodeQuotedPrintableBody(lines);
    } else {
        for (std::size_t i = 0; i < lines.size(); ++i) {
            // Leading-dot doubling is undone by the server; a line is kept as it arrived.
            text += lines[i];
            if (i + 1 < lines.size())
                text += '\n';
        }
    }
    std::vector<std::string> result;
    for (auto line : splitLines(text)) {
        if (result.size() == kMaxPreviewLines)
            break;
        result.push_back(textToUtf8(line, charset));
    }
    return result;
}

// The display forms of the To header's addresses, names decoded; empty when there is no usable
// To header.
std::string headerRecipients(const std::string& toHeader)
{
    if (trim(toHeader).empty())
        return {};
    TEMailAddressList list;
    try {
        list.SetAddressesText(trim(toHeader));
    } catch (const EEMailAddressError&) {
        return {};
    }
    std::string result;
    for (const TEMailAddressItem& item : list) {
        const TEMailAddressItem shown(codePageToUtf8(item.Address), DecodeHeaderValue(item.Name));
        if (!result.empty())
            result += ", ";
        result += shown.Text();
    }
    return result;
}

} // namespace

std::string DecodeHeaderValue(std::string_view value)
{
    std::string out;
    std::string pendingSpace;
    bool lastWasEncoded = false;
    std::size_t i = 0;
    while (i < value.size()) {
        // Whitespace between two encoded words is dropped; elsewhere it stays.
        if (value[i] == ' ' || value[i] == '\t' || value[i] == '\r' || value[i] == '\n') {
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
                    const std::string bytes = kind == 'B' ? decodeBase64(payload) : decodeQuoted(payload, true);
                    if (!lastWasEncoded)
                        out += pendingSpace;
                    pendingSpace.clear();
                    out += textToUtf8(bytes, charset);
                    lastWasEncoded = true;
                    i = end + 2;
                    continue;
                }
            }
        }
        std::size_t next = i;
        while (next < value.size() && value[next] != ' ' && value[next] != '\t' && value[next] != '\r' &&
               value[next] != '\n')
            ++next;
        out += pendingSpace;
        pendingSpace.clear();
        out += codePageToUtf8(value.substr(i, next - i));
        lastWasEncoded = false;
        i = next;
    }
    return out;
}

ReceivedMessageSummary SummariseReceivedMessage(std::string_view raw, const TEMailAddressList& recipients)
{
    ReceivedMessageSummary summary;
    summary.to = codePageToUtf8(recipients.AddressesText());
    std::vector<std::string_view> lines = splitLines(raw);
    std::size_t pos = 0;
    const HeaderBlock headers = readHeaders(lines, pos);
    summary.subject = DecodeHeaderValue(trim(headers.value("subject")));
    if (std::string shown = headerRecipients(headers.value("to")); !shown.empty())
        summary.to = std::move(shown);

    const std::string contentType = headers.value("content-type");
    const std::string boundary = parameter(contentType, "boundary");
    if (lower(trim(contentType)).rfind("multipart/", 0) != 0 || boundary.empty()) {
        summary.body = decodeBodyLines({lines.begin() + std::ptrdiff_t(pos), lines.end()}, headers);
        return summary;
    }
    // The first text part that is not an attachment.
    const std::string delimiter = "--" + boundary;
    while (pos < lines.size()) {
        while (pos < lines.size() && lines[pos].rfind(delimiter, 0) != 0)
            ++pos;
        if (pos >= lines.size() || lines[pos].substr(delimiter.size()).rfind("--", 0) == 0)
            break;
        ++pos;
        const HeaderBlock part = readHeaders(lines, pos);
        std::size_t end = pos;
        while (end < lines.size() && lines[end].rfind(delimiter, 0) != 0)
            ++end;
        const std::string type = lower(trim(part.value("content-type")));
        const bool text = type.empty() || type.rfind("text/", 0) == 0;
        const bool attachment = lower(part.value("content-disposition")).find("attachment") != std::string::npos;
        if (text && !attachment) {
            summary.body = decodeBodyLines({lines.begin() + std::ptrdiff_t(pos), lines.begin() + std::ptrdiff_t(end)}, part);
            return summary;
        }
        pos = end;
    }
    return summary;
}

ReceivedMessageSummary ReadReceivedMessage(const std::string& path, const TEMailAddressList& recipients)
{
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        ReceivedMessageSummary summary;
        summary.to = codePageToUtf8(recipients.AddressesText());
        summary.body.push_back("(The received message could not be read: " + std::string(std::strerror(errno)) + ")");
        return summary;
    }
    std::string raw(kMaxPreviewBytes, '\0');
    file.read(raw.data(), std::streamsize(raw.size()));
    raw.resize(std::size_t(file.gcount()));
    return SummariseReceivedMessage(raw, recipients);
}

} // namespace quillet
