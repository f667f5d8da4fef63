#include "QuotedPrintable.h"

namespace quillet {

void AppendQuotedPrintableLines(std::string_view line, std::vector<std::string>& out)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string current;
    for (std::size_t i = 0; i < line.size(); ++i) {
        const auto c = static_cast<unsigned char>(line[i]);
        const bool last = i + 1 == line.size();
        const bool literal = (c >= 33 && c <= 126 && c != '=') || ((c == ' ' || c == '\t') && !last);
        char piece[3] = {static_cast<char>(c), 0, 0};
        std::size_t pieceLength = 1;
        if (!literal) {
            piece[0] = '=';
            piece[1] = kHex[c >> 4];
            piece[2] = kHex[c & 15];
            pieceLength = 3;
        }
        // The last piece of the line may use the column the soft break would take.
        const std::size_t limit = last ? kMaxQuotedPrintableLine : kMaxQuotedPrintableLine - 1;
        if (current.size() + pieceLength > limit) {
            current += '=';
            out.push_back(std::move(current));
            current.clear();
        }
        current.append(piece, pieceLength);
    }
    out.push_back(std::move(current));
}

} // namespace quillet
