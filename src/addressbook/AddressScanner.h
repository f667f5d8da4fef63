// Harvesting e-mail addresses from a text file.
//
// The text ends at its first NUL byte and is split into lines (CR LF, LF or CR); each line is
// scanned by itself. Delimiters are space , : ; < = > ? (tabs, quotes and brackets are not).
// While the rest of a line holds an "@" (or "%40", the at sign written into a URL): the address
// starts after the nearest delimiter left of it (or at the start of the rest) and ends before the
// next delimiter or at the end of the line; dots do not end it. The scan goes on from the
// character that ended it.
//
// What encloses an address or ends a sentence is not part of it: a quote, apostrophe or opening
// bracket before it (unless closed again before the "@"), and quotes, apostrophes, closing
// brackets (unless opened after the "@", as in a domain literal), full stops and exclamation
// marks after it. A "mailto:" before it ends at its colon. In an address found by "%40" (no "@"
// of its own), "/" and "&" also bound it, as in a URL's path and query, and "%40" reads as "@".
// Everything else between is listed as it stands, so that the review marks what is not valid.
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
// Reads the whole file and scans it; a file that cannot be read throws with its message. A file
// of UTF-8 text (a byte-order mark, or well-formed UTF-8 with characters beyond ASCII) gives its
// addresses in the program's code page; a character it cannot hold becomes "?".
std::vector<std::string> scanAddressFile(const std::string& path);

} // namespace quillet
