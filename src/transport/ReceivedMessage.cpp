#include "ReceivedMessage.h"

#include "MessageTexts.h"
#include "MimeDecoding.h"
#include "MimeParts.h"

#include "project/CodePage.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <fstream>

namespace quillet {

namespace {

std::vector<std::string> decodeBodyLines(const std::vector<std::string_view>& lines, const MimeHeaders& headers)
{
    const std::string encoding = AsciiLower(TrimBlanks(headers.Value("content-transfer-encoding")));
    const std::string charset = HeaderParameter(headers.Value("content-type"), "charset");
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
    for (auto line : SplitMessageLines(text)) {
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
    if (TrimBlanks(toHeader).empty())
        return {};
    TEMailAddressList list;
    try {
        list.SetAddressesText(TrimBlanks(toHeader));
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
              const MimeHeaders& headers, int depth, ReceivedMessage& message, bool& bodyFound)
{
    const std::string contentType = headers.Value("content-type");
    const std::string type = AsciiLower(TrimBlanks(contentType));
    const std::string boundary = HeaderParameter(contentType, "boundary");
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
            const MimeHeaders part = ReadHeaderBlock(lines, pos);
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
    const std::string disposition = headers.Value("content-disposition");
    if (depth > 0 && AsciiLower(disposition).find("attachment") != std::string::npos) {
        std::string name = HeaderParameter(disposition, "filename");
        if (name.empty())
            name = HeaderParameter(contentType, "name");
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
    const std::vector<std::string_view> lines = SplitMessageLines(raw);
    std::size_t pos = 0;
    const MimeHeaders headers = ReadHeaderBlock(lines, pos);
    for (const auto& [name, value] : headers.fields)
        message.headers.emplace_back(codePageToUtf8(name), DecodeHeaderValue(TrimBlanks(value)));
    message.subject = DecodeHeaderValue(TrimBlanks(headers.Value("subject")));
    if (std::string shown = headerRecipients(headers.Value("to")); !shown.empty())
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
