// Quoted-printable (RFC 2045, section 6.7) for text parts that hold bytes outside ASCII: every
// line of the text becomes one or more lines of at most 76 characters of printable ASCII, joined
// by soft line breaks ("=" at the end of a line). Text written this way passes every mail server
// unchanged, whether or not it announces 8BITMIME, and stays readable where it is ASCII.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace quillet {

// The longest encoded line, soft-break "=" included.
inline constexpr std::size_t kMaxQuotedPrintableLine = 76;

// Appends the encoded lines of one text line (which holds no CR or LF) to `out`. Spaces and
// TABs are kept except at the end of the line; "=", control and 8-bit bytes become "=XX".
void AppendQuotedPrintableLines(std::string_view line, std::vector<std::string>& out);

} // namespace quillet
