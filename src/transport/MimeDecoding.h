// Decoders of the transfer encodings in messages that arrive: base64, quoted-printable and the
// encoded words of header values. They never fail: what is not well formed is passed over
// (base64) or kept as it stands (quoted-printable, encoded words).
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace quillet {

// The bytes of base64 text; characters outside the alphabet (line breaks, "=") are skipped.
std::string DecodeBase64(std::string_view text);

// Quoted-printable text: "=XX" (two hex digits) is the byte XX; in an encoded word (Q) "_"
// stands for a space as well. Any other "=" stays.
std::string DecodeQuotedPrintable(std::string_view text, bool underscoreIsSpace = false);

// Quoted-printable body lines: a line ending in "=" continues on the next one, other lines are
// joined by LF.
std::string DecodeQuotedPrintableLines(const std::vector<std::string_view>& lines);

// A header value with its encoded words ("=?charset?B?...?=", "=?charset?Q?...?=") decoded, as
// UTF-8; the rest of the value is taken as code-page text. Whitespace between two encoded words
// is dropped, CR and LF too.
std::string DecodeHeaderValue(std::string_view value);

// Bytes in a charset named by a message to UTF-8; the program's code page where the charset is
// unknown, empty or does not fit the bytes.
std::string MessageTextToUtf8(std::string_view bytes, const std::string& charset);

} // namespace quillet
