// A numbered reply of a line protocol such as SMTP: one or more lines that begin with a
// three-digit code, all lines but the last with "-" after the code.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace quillet {

class TRFCReply {
public:
    int NumericCode = 0;           // the code as a number; 0 when it is not one
    std::string TextCode;          // the code as text, normally three digits
    std::vector<std::string> Text; // the text of every line, without the code and its separator

    void Clear();
    // Fills the reply from its lines (already trimmed, none empty; the first line decides the code).
    void Parse(const std::vector<std::string>& lines);
    // The text lines, each followed by CR LF: the message of a refused reply.
    std::string FormattedText() const;
};

// Whether a trimmed reply line is followed by more lines of the same reply.
bool IsReplyContinued(std::string_view firstLine);
// Whether a trimmed line ends the reply that began with firstLine: it begins with the first
// line's code and a space (compared without regard to letter case), or it is shorter than four
// characters.
bool IsReplyLastLine(std::string_view firstLine, std::string_view line);
// The text with characters up to and including space removed from both ends.
std::string TrimText(std::string_view text);
// The same part of the text, without a copy.
std::string_view TrimmedView(std::string_view text);

} // namespace quillet
