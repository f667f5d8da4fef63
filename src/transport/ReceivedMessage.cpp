#include "ReceivedMessage.h"

#include "MessageTexts.h"
#include "MimeDecoding.h"

#include "project/CodePage.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <fstream>

namespace quillet {

namespace {

std::string lower(std::string_view text)
{
    std::string result(text);
    std::transform(result.begin(), result.end(), result.begin(), [](unsigned char c) { return char(std::tolower(c)); });
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

struct HeaderBlock {
    // Name as written, unfolded value.
    std::vector<std::pair<std::string, std::string>> fields;

    std::string value(std::string_view name) const
    {
        for (const auto& [n, v] : fields)
            if (lower(n) == name)
                return v;
        return {};
    }
};

// Reads header lines from lines[pos] on, up to the empty line, which is consumed.
HeaderBlock readHeaders(const std::vector<std::string_view>& lines, std::size_t& pos)
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
        block.fields.emplace_back(std::string(trim(line.substr(0, colon))), std::string(line.substr(colon + 1)));
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
        while (end < headerValue.size() && headerValue[end] != ';' && headerValue[end] != ' ' &&
               headerValue[end] != '\t')
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
        text = DecodeBase64(joined);
    } else if (encoding == "quoted-printable") {
        text = DecodeQuotedPrintableLines(lines);
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
        if (result.size() == kMaxReceivedPreviewLines)
            break;
        result.push_back(MessageTextToUtf8(line, charset));
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

// Looks into one part (lines [begin, end) after its header block) for the texts and the
// attachments; nested multiparts are looked into up to kMaxMimeDepth.
void readPart(const std::vector<std::string_view>& lines, std::size_t begin, std::size_t end,
              const HeaderBlock& headers, int depth, ReceivedMessage& message, bool& bodyFound)
{
    const std::string contentType = headers.value("content-type");
    const std::string type = lower(trim(contentType));
    const std::string boundary = parameter(contentType, "boundary");
    if (type.rfind("multipart/", 0) == 0 && !boundary.empty()) {
        if (depth >= kMaxMimeDepth)
            return;
        const std::string delimiter = "--" + boundary;
        std::size_t pos = begin;
        while (pos < end) {
            while (pos < end && lines[pos].rfind(delimiter, 0) != 0)
                ++pos;
            if (pos >= end || lines[pos].substr(delimiter.size()).rfind("--", 0) == 0)
                return;
            ++pos;
            const HeaderBlock part = readHeaders(lines, pos);
            pos = std::min(pos, end);
            std::size_t partEnd = pos;
            while (partEnd < end && lines[partEnd].rfind(delimiter, 0) != 0)
                ++partEnd;
            readPart(lines, pos, partEnd, part, depth + 1, message, bodyFound);
            pos = partEnd;
        }
        return;
    }
    // A message of one part is shown whatever it says of itself.
    const std::string disposition = headers.value("content-disposition");
    if (depth > 0 && lower(disposition).find("attachment") != std::string::npos) {
        std::string name = parameter(disposition, "filename");
        if (name.empty())
            name = parameter(contentType, "name");
        message.attachments.push_back(DecodeHeaderValue(name));
        return;
    }
    const bool text = type.empty() || type.rfind("text/", 0) == 0;
    if (!text && depth > 0)
        return;
    const std::vector<std::string_view> partLines(lines.begin() + std::ptrdiff_t(begin),
                                                  lines.begin() + std::ptrdiff_t(end));
    if (!bodyFound) {
        message.body = decodeBodyLines(partLines, headers);
        bodyFound = true;
    }
    if (message.html.empty() && type.rfind("text/html", 0) == 0)
        message.html = decodeBodyLines(partLines, headers);
}

} // namespace

ReceivedMessage ParseReceivedMessage(std::string_view raw, const TEMailAddressList& recipients)
{
    ReceivedMessage message;
    message.to = codePageToUtf8(recipients.AddressesText());
    const std::vector<std::string_view> lines = splitLines(raw);
    std::size_t pos = 0;
    const HeaderBlock headers = readHeaders(lines, pos);
    for (const auto& [name, value] : headers.fields)
        message.headers.emplace_back(codePageToUtf8(name), DecodeHeaderValue(trim(value)));
    message.subject = DecodeHeaderValue(trim(headers.value("subject")));
    if (std::string shown = headerRecipients(headers.value("to")); !shown.empty())
        message.to = std::move(shown);
    bool bodyFound = false;
    readPart(lines, pos, lines.size(), headers, 0, message, bodyFound);
    return message;
}

ReceivedMessage ReadReceivedMessage(const std::string& path, const TEMailAddressList& recipients)
{
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        ReceivedMessage message;
        message.to = codePageToUtf8(recipients.AddressesText());
        std::string text(kReceivedMessageUnreadable);
        text.replace(text.find("%s"), 2, std::strerror(errno));
        message.body.push_back(std::move(text));
        return message;
    }
    std::string raw(kMaxReceivedPreviewBytes, '\0');
    file.read(raw.data(), std::streamsize(raw.size()));
    raw.resize(std::size_t(file.gcount()));
    return ParseReceivedMessage(raw, recipients);
}

} // namespace quillet
