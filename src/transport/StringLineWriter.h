// A line writer that collects the bytes in memory: for rendering a message to a file and for
// checking rendered bytes.
#pragma once

#include "LineWriter.h"

#include <string>

namespace quillet {

class StringLineWriter : public LineWriter {
public:
    void Write(std::string_view bytes) override { text.append(bytes); }
    void WriteLn(std::string_view line) override
    {
        text.append(line);
        text.append("\r\n");
    }

    std::string text;
};

} // namespace quillet
