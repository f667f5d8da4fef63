// The structure of a message as it arrived: its lines, header blocks, header parameters and the
// tree of its MIME parts, with a part's body decoded from its transfer encoding. Shared by the
// preview of received messages and the readers of reports that come back. Nothing here fails on
// a malformed message: what cannot be read is passed over.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace quillet {

// Lines split at CR LF or LF (the line ends left out).
std::vector<std::string_view> SplitMessageLines(std::string_view text);

std::string AsciiLower(std::string_view text);
// Spaces and tabs taken off both ends.
std::string_view TrimBlanks(std::string_view text);

struct MimeHeaders {
    // Name as written, unfolded value (the text after the colon, folding line breaks removed).
    std::vector<std::pair<std::string, std::string>> fields;

    // The first value of the field named (lower-case name); empty when there is none.
    std::string Value(std::string_view lowerName) const;
};

// Reads header lines from lines[pos] on, up to the empty line, which is consumed.
MimeHeaders ReadHeaderBlock(const std::vector<std::string_view>& lines, std::size_t& pos);

// A parameter of a structured header value, e.g. boundary="abc" or charset=iso-8859-1.
std::string HeaderParameter(const std::string& headerValue, std::string_view name);

// One part of a message: its headers, its media type in lower case without parameters
// ("text/plain" when none is given), its body as lines [begin, end) of the message, and for a
// multipart its parts.
struct MimePart {
    MimeHeaders headers;
    std::string type;
    std::size_t begin = 0;
    std::size_t end = 0;
    std::vector<MimePart> parts;
};

// The tree of a message's parts, nested at most maxDepth deep (deeper multiparts are kept as
// leaves). A message/rfc822 part is not opened: its body holds the message.
MimePart ParseMimeTree(const std::vector<std::string_view>& lines, int maxDepth);

// A part's body bytes with its transfer encoding (base64, quoted-printable) undone; lines are
// joined by LF.
std::string DecodePartBody(const std::vector<std::string_view>& lines, const MimePart& part);

} // namespace quillet
