#include "HeaderList.h"

#include "EncodedWords.h"

#include "project/CodePage.h"

#include <cstring>
#include <memory>

namespace quillet {

namespace {

bool isBlank(char c)
{
    return static_cast<unsigned char>(c) <= ' ';
}

std::string_view trim(std::string_view s)
{
    while (!s.empty() && isBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && isBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

bool equalsIgnoringCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'a' && x <= 'z')
            x = static_cast<char>(x - 'a' + 'A');
        if (y >= 'a' && y <= 'z')
            y = static_cast<char>(y - 'a' + 'A');
        if (x != y)
            return false;
    }
    return true;
}

bool isContinuation(std::string_view line)
{
    return !line.empty() && (line[0] == ' ' || line[0] == '\t');
}

// Lead bytes of the program's double-byte code page; none for a single-byte code page.
struct LeadBytes {
    bool lead[256] = {};
    explicit LeadBytes(const char* cp)
    {
        if (std::strcmp(cp, "CP932") == 0) {
            for (int c = 0x81; c <= 0x9F; ++c)
                lead[c] = true;
            for (int c = 0xE0; c <= 0xFC; ++c)
                lead[c] = true;
        } else if (std::strcmp(cp, "GBK") == 0 || std::strcmp(cp, "BIG5") == 0 || std::strcmp(cp, "CP949") == 0) {
            for (int c = 0x81; c <= 0xFE; ++c)
                lead[c] = true;
        }
    }
};

// The table of the program's code page (chosen at start; a later choice gets its own table).
const LeadBytes& leadBytes()
{
    thread_local const char* tableCodePage = nullptr;
    thread_local std::unique_ptr<LeadBytes> table;
    const char* cp = codePageName();
    if (!table || cp != tableCodePage) {
        table = std::make_unique<LeadBytes>(cp);
        tableCodePage = cp;
    }
    return *table;
}

bool isBreak(char c)
{
    return c == ' ' || c == '\t' || c == ',';
}

// Adds a produced line, after one leading space when it continues the header, without its
// trailing blanks and control characters; a line left empty is not produced.
void emit(std::vector<std::string>& out, bool continuation, std::string_view text)
{
    while (!text.empty() && isBlank(text.back()))
        text.remove_suffix(1);
    if (text.empty())
        return;
    std::string line;
    line.reserve(text.size() + 1);
    if (continuation)
        line += ' ';
    line += text;
    out.push_back(std::move(line));
}

// Folds one physical line: cuts after the last break opportunity once the limit is reached.
void foldPhysicalLine(std::string_view line, std::size_t foldLength, std::vector<std::string>& out)
{
    const LeadBytes& lead = leadBytes();
    const std::size_t n = line.size();
    std::size_t lineStart = 0;                      // where the current output line begins
    std::size_t lastBreak = std::string_view::npos; // last opportunity of the current line
    bool inQuotes = false;
    bool waitForBreak = false; // the limit passed without an opportunity
    bool continuation = false; // the current output line gets one leading space
    std::size_t i = 0;
    while (i < n) {
        const auto c = static_cast<unsigned char>(line[i]);
        std::size_t width = 1;
        bool opportunity = false;
        if (lead.lead[c] && i + 1 < n)
            width = 2;
        else if (c == '"')
            inQuotes = !inQuotes;
        else if (!inQuotes && isBreak(static_cast<char>(c)) && i != lineStart)
            opportunity = true;
        const std::size_t last = i + width - 1;
        i += width;

        std::size_t cutAfter = std::string_view::npos;
        if (opportunity) {
            lastBreak = last;
            if (waitForBreak)
                cutAfter = last;
        }
        if (cutAfter == std::string_view::npos && !waitForBreak && !inQuotes && i - lineStart >= foldLength) {
            if (lastBreak != std::string_view::npos)
                cutAfter = lastBreak;
            else
                waitForBreak = true;
        }
        if (cutAfter == std::string_view::npos)
            continue;

        // The scan passes over blanks and commas at its position; standing on the last
        // character or beyond, the line stays whole.
        std::size_t next = i;
        while (next < n && isBreak(line[next]))
            ++next;
        if (next + 1 >= n)
            break;
        emit(out, continuation, line.substr(lineStart, cutAfter + 1 - lineStart));
        continuation = true;
        lineStart = cutAfter + 1;
        lastBreak = std::string_view::npos;
        waitForBreak = false;
        i = next;
    }
    emit(out, continuation, line.substr(lineStart));
}

} // namespace

std::vector<std::string> THeaderList::FoldLine(std::string_view name, std::string_view value, std::size_t foldLength)
{
    std::string full;
    full.reserve(name.size() + 2 + value.size());
    full += name;
    full += ": ";
    full += value;
    std::vector<std::string> out;
    // The common header: one short line, nothing to fold or split.
    if (full.size() < foldLength && !HasLineBreak(full)) {
        std::size_t end = full.size();
        while (end > 0 && isBlank(full[end - 1]))
            --end;
        if (end > 0) {
            full.resize(end);
            out.push_back(std::move(full));
        }
        return out;
    }
    // Split at the CR LF breaks that precede a TAB or space (encoded words bring them); every
    // other CR or LF becomes a space.
    std::vector<std::string> pieces(1);
    for (std::size_t i = 0; i < full.size(); ++i) {
        const char c = full[i];
        if (c == '\r' && i + 2 < full.size() && full[i + 1] == '\n' && (full[i + 2] == '\t' || full[i + 2] == ' ')) {
            pieces.emplace_back();
            ++i;
        } else if (c == '\r' || c == '\n') {
            pieces.back() += ' ';
        } else {
            pieces.back() += c;
        }
    }
    for (const auto& piece : pieces)
        foldPhysicalLine(piece, foldLength, out);
    return out;
}

void THeaderList::AddHeader(std::string_view name, std::string_view value, std::size_t foldLength)
{
    // The short line of FoldLine built in its place: trailing blanks go, nothing else changes.
    if (name.size() + 2 + value.size() < foldLength && !HasLineBreak(name) && !HasLineBreak(value)) {
        std::string& line = lines_.emplace_back();
        line.reserve(name.size() + 2 + value.size());
        line += name;
        line += ": ";
        line += value;
        std::size_t end = line.size();
        while (end > 0 && isBlank(line[end - 1]))
            --end;
        if (end == 0)
            lines_.pop_back();
        else
            line.resize(end);
        return;
    }
    for (std::string& line : FoldLine(name, value, foldLength))
        lines_.push_back(std::move(line));
}

std::size_t THeaderList::find(std::string_view name) const
{
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        const std::string_view line = lines_[i];
        if (isContinuation(line))
            continue;
        const std::size_t colon = line.find(':');
        if (colon != std::string_view::npos && equalsIgnoringCase(line.substr(0, colon), name))
            return i;
    }
    return std::string::npos;
}

std::size_t THeaderList::headerEnd(std::size_t index) const
{
    std::size_t end = index + 1;
    while (end < lines_.size() && isContinuation(lines_[end]))
        ++end;
    return end;
}

std::string THeaderList::Value(std::string_view name) const
{
    const std::size_t index = find(name);
    if (index == std::string::npos)
        return {};
    const std::string_view first = lines_[index];
    std::string value(first.substr(first.find(':') + 1));
    for (std::size_t i = index + 1; i < headerEnd(index); ++i) {
        value += ' ';
        value += trim(lines_[i]);
    }
    return std::string(trim(value));
}

void THeaderList::SetValue(std::string_view name, std::string_view value)
{
    const std::size_t index = find(name);
    std::vector<std::string> folded;
    if (!value.empty())
        folded = FoldLine(name, value);
    if (index == std::string::npos) {
        lines_.insert(lines_.end(), folded.begin(), folded.end());
        return;
    }
    const auto at = lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(index),
                                 lines_.begin() + static_cast<std::ptrdiff_t>(headerEnd(index)));
    lines_.insert(at, folded.begin(), folded.end());
}

void THeaderList::Append(const THeaderList& other)
{
    lines_.insert(lines_.end(), other.lines_.begin(), other.lines_.end());
}

} // namespace quillet
