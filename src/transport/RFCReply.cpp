#include "transport/RFCReply.h"

#include <cctype>
#include <charconv>

namespace quillet {

namespace {

bool IsTrimmed(char c)
{
    return static_cast<unsigned char>(c) <= ' ';
}

bool SameLetters(char a, char b)
{
    return std::toupper(static_cast<unsigned char>(a)) == std::toupper(static_cast<unsigned char>(b));
}

int DecimalOrZero(std::string_view text)
{
    if (text.empty())
        return 0;
    size_t start = (text[0] == '+' || text[0] == '-') ? 1 : 0;
    if (start == text.size())
        return 0;
    for (size_t i = start; i < text.size(); ++i)
        if (text[i] < '0' || text[i] > '9')
            return 0;
    int value = 0;
    const char* first = text.data() + (text[0] == '+' ? 1 : 0);
    auto [ptr, ec] = std::from_chars(first, text.data() + text.size(), value);
    if (ec != std::errc() || ptr != text.data() + text.size())
        return 0;
    return value;
}

} // namespace

std::string_view TrimmedView(std::string_view text)
{
    size_t begin = 0;
    size_t end = text.size();
    while (begin < end && IsTrimmed(text[begin]))
        ++begin;
    while (end > begin && IsTrimmed(text[end - 1]))
        --end;
    return text.substr(begin, end - begin);
}

std::string TrimText(std::string_view text)
{
    return std::string(TrimmedView(text));
}

bool IsReplyContinued(std::string_view firstLine)
{
    return firstLine.size() > 3 && firstLine[3] == '-';
}

bool IsReplyLastLine(std::string_view firstLine, std::string_view line)
{
    if (line.size() < 4)
        return true;
    for (size_t i = 0; i < 3; ++i)
        if (i >= firstLine.size() || !SameLetters(line[i], firstLine[i]))
            return false;
    return line[3] == ' ';
}

void TRFCReply::Clear()
{
    NumericCode = 0;
    TextCode.clear();
    Text.clear();
}

void TRFCReply::Parse(const std::vector<std::string>& lines)
{
    if (lines.empty())
        return Clear();
    TextCode = TrimmedView(std::string_view(lines.front()).substr(0, 4));
    if (!TextCode.empty() && TextCode.back() == '-')
        TextCode.pop_back();
    NumericCode = DecimalOrZero(TextCode);
    // The texts take the place of the last reply's, in their memory.
    Text.resize(lines.size());
    for (size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].size() > 4)
            Text[i].assign(lines[i], 4);
        else
            Text[i].clear();
    }
}

std::string TRFCReply::FormattedText() const
{
    std::string result;
    for (const auto& line : Text) {
        result += line;
        result += "\r\n";
    }
    return result;
}

} // namespace quillet
