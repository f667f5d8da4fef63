// What a message the built-in server received says, for showing it: the recipients (the display
// forms of the To header's addresses joined by ", "; the envelope recipients when the message has
// no usable To header), the subject with its encoded words decoded, and the lines of the text
// body (for a multipart message the first text part that is not an attachment, transfer encoding
// undone). Every text is UTF-8. Only the first kMaxReceivedPreviewBytes of a message are read
// and at most kMaxReceivedPreviewLines body lines are kept: the message is previewed, not stored.
// For showing a whole message (the send window's preview) it also gives every header with its
// encoded words decoded, the first HTML part and the attachments' file names; parts nested in
// parts (multipart/alternative inside multipart/mixed) are looked into, kMaxMimeDepth deep.
#pragma once

#include "transport/EMailAddress.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace quillet {

inline constexpr std::size_t kMaxReceivedPreviewBytes = 1024 * 1024;
inline constexpr std::size_t kMaxReceivedPreviewLines = 2000;
// Nesting of multipart parts looked into: our messages use two levels, mail clients rarely more
// than four; a deeper message is shown as far as this.
inline constexpr int kMaxMimeDepth = 8;

struct ReceivedMessage {
    std::string to;
    std::string subject;
    std::vector<std::string> body;
    // The message's headers in order: the name as written and the unfolded value, decoded.
    std::vector<std::pair<std::string, std::string>> headers = {};
    // The lines of the first text/html part that is not an attachment (none: no HTML).
    std::vector<std::string> html = {};
    // The file names of the attached parts, in order.
    std::vector<std::string> attachments = {};
};

// Parses raw message data (header block, empty line, body) as it arrived.
ReceivedMessage ParseReceivedMessage(std::string_view raw, const TEMailAddressList& recipients);
// Reads the start of a received data file and parses it. A file that cannot be read gives a
// message whose body says so.
ReceivedMessage ReadReceivedMessage(const std::string& path, const TEMailAddressList& recipients);

} // namespace quillet
