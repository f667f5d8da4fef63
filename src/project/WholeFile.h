// Reading a whole file into memory in one go, and writing one from memory, with the user's messages for the failures.
#pragma once

#include <functional>
#include <initializer_list>
#include <string>
#include <string_view>

namespace quillet {

// Every byte of the file. Throws ProjectFileError: CannotOpen ("Cannot open file ...") when it
// cannot be opened, CannotRead for a folder or a failed read.
std::string readWholeFile(const std::string& path);

// Writes the bytes to the file, replacing it. Throws ProjectFileError: CannotCreate ("Cannot
// create file ...") when it cannot be opened, CannotWrite when the bytes cannot be written.
void writeWholeFile(const std::string& path, std::string_view bytes);

// The same, but a regular file (or a new one) is replaced only by the completely written new
// one (AtomicFileWriter): a write that fails half-way leaves the old file, or none, in place. A
// target that is not a regular file (a device such as /dev/stdout, a pipe) is written as it is;
// a file the user may not write is refused as writeWholeFile refuses it.
void replaceWholeFile(const std::string& path, std::string_view bytes);
// The same for bytes held in several pieces, written one after the other (no joined copy).
void replaceWholeFile(const std::string& path, std::initializer_list<std::string_view> pieces);

// Writes one piece of a file being made.
using PieceWriter = std::function<void(std::string_view)>;
// Replaces a regular file (or makes a new one) as replaceWholeFile does, with the bytes that
// `produce` hands to the writer it is given, piece by piece as it makes them. Returns false and
// changes nothing when `produce` returns false, or when the target is not a regular file (a
// device or a pipe cannot be written again from its start): the caller then makes the bytes
// in memory and calls replaceWholeFile.
bool replaceWholeFileInPieces(const std::string& path, const std::function<bool(const PieceWriter&)>& produce);

} // namespace quillet
