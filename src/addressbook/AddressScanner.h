// Harvesting e-mail addresses from a text file.
//
// The text ends at its first NUL byte and is split into lines (CR LF, LF or CR); each line is
// scanned by itself. Delimiters are space , : ; < = > ? (tabs, quotes and brackets are not).
// While the rest of a line holds an "@": the address starts after the nearest delimiter left
// of the first "@" (or at the start of the rest) and ends before the first delimiter, before
// the third "." counted from its start, or at the end of the line, whichever comes first. The
// text between is listed unchanged, and the scan goes on from the character that ended it.
//
// The scan runs over the whole text in one pass: "@" is located with memchr, and every
// character is classified through one 256-entry table.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace quillet {

// Every address of the text, in order of discovery, duplicates kept.
std::vector<std::string> scanAddresses(std::string_view text);
// Reads the whole file and scans it; a file that cannot be read throws with its message.
std::vector<std::string> scanAddressFile(const std::string& path);

} // namespace quillet
