// What the mail server window shows of a message the built-in server received: the recipients
// (the display forms of the To header's addresses joined by ", "; the envelope recipients when
// the message has no To header), the subject with its encoded words decoded, and
// the lines of the text body (for a multipart message the first text part, transfer encoding
// undone). Built on the connection thread from the received data file; every text is UTF-8.
// The window shows a preview, so only the first kMaxPreviewBytes of a message are read and at
// most kMaxPreviewLines body lines are kept.
#pragma once

#include "transport/EMailAddress.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace quillet {

inline constexpr std::size_t kMaxPreviewBytes = 1024 * 1024;
inline constexpr std::size_t kMaxPreviewLines = 2000;

struct ReceivedMessageSummary {
    std::string to;
    std::string subject;
    std::vector<std::string> body;
};

// The summary of raw message data (header block, empty line, body).
ReceivedMessageSummary SummariseReceivedMessage(std::string_view raw, const TEMailAddressList& recipients);
// Reads the start of the data file and summarises it. A file that cannot be read gives a summary
// whose body says so.
ReceivedMessageSummary ReadReceivedMessage(const std::string& path, const TEMailAddressList& recipients);

// Decodes the encoded words of a header value ("=?charset?B?...?=", "=?charset?Q?...?=") to UTF-8;
// the rest of the value is taken as code-page text.
std::string DecodeHeaderValue(std::string_view value);

} // namespace quillet
