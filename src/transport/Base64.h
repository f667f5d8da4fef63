// Base64 (RFC 2045 alphabet, "=" fill): whole-text encoding for AUTH LOGIN and B encoded words,
// and the line framing of attached files: 57 input bytes per 76-character line, each line
// followed by CR LF, the last line holding the rest. Files are streamed in large blocks that
// are multiples of 57 bytes, so no file is ever held in memory whole and the lines on the wire
// are the same as if every 57-byte chunk were encoded and written on its own.
#pragma once

#include "LineWriter.h"

#include <cstddef>
#include <string>
#include <string_view>

namespace quillet {

class TEncoderMIME {
public:
    // The base64 text of the bytes, without line breaks; empty for empty input.
    static std::string Encode(std::string_view bytes);
    // Appends the base64 text of the bytes to out.
    static void EncodeAppend(std::string_view bytes, std::string& out);
};

class TMessageEncoderMIME {
public:
    static constexpr std::size_t kBytesPerLine = 57;
    static constexpr std::size_t kCharsPerLine = 76;
    // Bytes read from a file at a time: a multiple of the 57-byte line.
    static constexpr std::size_t kBlockSize = kBytesPerLine * 4096;

    // Appends the lines (76 characters and CR LF each, the last one shorter) of the bytes.
    static void EncodeLines(std::string_view bytes, std::string& out);

    // Writes the base64 lines of everything readable from the file descriptor, from its
    // current position to its end. An empty source writes nothing. A read failure raises
    // ETransportError with the system's reason; sourceName names the source in that message.
    static void Encode(int fd, LineWriter& out, std::string_view sourceName = {});
};

} // namespace quillet
