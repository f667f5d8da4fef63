#include "MimeParts.h"

#include "MimeDecoding.h"

#include <algorithm>

namespace quillet {

std::vector<std::string_view> SplitMessageLines(std::string_view text)
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

std::string AsciiLower(std::string_view text)
{
    std::string result(text);
    for (char& c : result)
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
    return result;
}

std::string_view TrimBlanks(std::string_view text)
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    return text;
}

std::string MimeHeaders::Value(std::string_view lowerName) const
{
    for (const auto& [n, v] : fields)
        if (n.size() == lowerName.size() && AsciiLower(n) == lowerName)
            return v;
    return {};
}

MimeHeaders ReadHeaderBlock(const std::vector<std::string_view>& lines, std::size_t& pos)
{
    MimeHeaders block;
    while (pos < lines.size() && !lines[pos].empty()) {
        const std::string_view line = lines[pos++];
        if ((line.front() == ' ' || line.front() == '\t') && !block.fields.empty()) {
            block.fields.back().second += std::string(line);
            continue;
        }
        const std::size_t colon = line.find(':');
        if (colon == std::string_view::npos)
            continue;
        block.fields.emplace_back(std::string(TrimBlanks(line.substr(0, colon))), std::string(line.substr(colon + 1)));
    }
    if (pos < lines.size())
        ++pos; // the empty line
    return block;
}

std::string HeaderParameter(const std::string& headerValue, std::string_view name)
{
    const std::string lowered = AsciiLower(headerValue);
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
        while (end < headerValue.size() && headerValue[end] != ';' && headerValue[end] != ' ' &&
               headerValue[end] != '\t')
            ++end;
        return headerValue.substr(p, end - p);
    }
    return {};
}

namespace {

std::string mediaType(const std::string& contentType)
{
    std::string type = AsciiLower(TrimBlanks(contentType.substr(0, contentType.find(';'))));
    return type.empty() ? "text/plain" : type;
}

void readParts(const std::vector<std::string_view>& lines, MimePart& part, int depth, int maxDepth)
{
    const std::string boundary = HeaderParameter(part.headers.Value("content-type"), "boundary");
    if (part.type.rfind("multipart/", 0) != 0 || boundary.empty() || depth >= maxDepth)
        return;
    const std::string delimiter = "--" + boundary;
    std::size_t pos = part.begin;
    while (pos < part.end) {
        while (pos < part.end && lines[pos].rfind(delimiter, 0) != 0)
            ++pos;
        if (pos >= part.end || lines[pos].substr(delimiter.size()).rfind("--", 0) == 0)
            return;
        ++pos;
        MimePart child;
        child.headers = ReadHeaderBlock(lines, pos);
        pos = std::min(pos, part.end);
        child.type = mediaType(child.headers.Value("content-type"));
        child.begin = pos;
        while (pos < part.end && lines[pos].rfind(delimiter, 0) != 0)
            ++pos;
        child.end = pos;
        readParts(lines, child, depth + 1, maxDepth);
        part.parts.push_back(std::move(child));
    }
}

} // namespace

MimePart ParseMimeTree(const std::vector<std::string_view>& lines, int maxDepth)
{
    MimePart top;
    std::size_t pos = 0;
    top.headers = ReadHeaderBlock(lines, pos);
    top.type = mediaType(top.headers.Value("content-type"));
    top.begin = pos;
    top.end = lines.size();
    readParts(lines, top, 0, maxDepth);
    return top;
}

std::string DecodePartBody(const std::vector<std::string_view>& lines, const MimePart& part)
{
    const std::string encoding = AsciiLower(TrimBlanks(part.headers.Value("content-transfer-encoding")));
    const auto first = lines.begin() + std::ptrdiff_t(std::min(part.begin, lines.size()));
    const auto last = lines.begin() + std::ptrdiff_t(std::min(std::max(part.begin, part.end), lines.size()));
    if (encoding == "base64") {
        std::string joined;
        for (auto line = first; line != last; ++line)
            joined += *line;
        return DecodeBase64(joined);
    }
    if (encoding == "quoted-printable")
        return DecodeQuotedPrintableLines(std::vector<std::string_view>(first, last));
    std::string text;
    for (auto line = first; line != last; ++line) {
        if (line != first)
            text += '\n';
        text += *line;
    }
    return text;
}

} // namespace quillet
