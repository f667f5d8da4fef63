// A list of header lines: each header is "Name: value" followed by its continuation lines
// (lines beginning with a space or a TAB). Names compare without regard to letter case. Setting
// a value folds the line at 78 characters; reading a value unfolds it.
//
// Folding breaks after a space, a TAB or a comma outside double-quoted text; a stretch without
// such a place stays whole however long it is. Continuation lines begin with one space (or keep
// the TAB that an encoded-word value brings with it). Trailing blanks never reach a line.
// A CR or LF inside a value that is not part of a CR LF TAB break becomes a space, so no value
// can start a header line of its own or end the header block.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace quillet {

class THeaderList {
public:
    static constexpr std::size_t kFoldLength = 78;

    // The unfolded, trimmed value of the first header of that name; empty when absent.
    std::string Value(std::string_view name) const;
    // Sets a header: an empty value removes it; otherwise its lines are replaced in place by
    // the folded new line, or appended at the end when the name is absent.
    void SetValue(std::string_view name, std::string_view value);
    // Appends all lines of another list unchanged.
    void Append(const THeaderList& other);
    // Appends one raw line unchanged.
    void AddLine(std::string line) { lines_.push_back(std::move(line)); }
    // Appends the folded lines of "name: value" (FoldLine), the common short line without a copy.
    void AddHeader(std::string_view name, std::string_view value, std::size_t foldLength = kFoldLength);
    // Room for this many lines without moving them.
    void Reserve(std::size_t lines) { lines_.reserve(lines); }

    const std::vector<std::string>& Lines() const { return lines_; }
    bool empty() const { return lines_.empty(); }
    void Clear() { lines_.clear(); }

    // The folded lines of "name: value" (without CR LF). On a double-byte code page a lead
    // byte and the byte after it are never split.
    static std::vector<std::string> FoldLine(std::string_view name, std::string_view value,
                                             std::size_t foldLength = kFoldLength);

private:
    // Index of the first line of the named header, or npos.
    std::size_t find(std::string_view name) const;
    // One past the last continuation line of the header starting at index.
    std::size_t headerEnd(std::size_t index) const;

    std::vector<std::string> lines_;
};

} // namespace quillet
