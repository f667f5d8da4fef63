// Where message text is written: the line connection, or a file when a run only renders.
#pragma once

#include <string_view>

namespace quillet {

class LineWriter {
public:
    virtual ~LineWriter() = default;
    // Writes the bytes unchanged; an empty text sends nothing.
    virtual void Write(std::string_view bytes) = 0;
    // Writes the text followed by CR LF.
    virtual void WriteLn(std::string_view line) = 0;
};

} // namespace quillet
