// The order of recipient rows: e-mail texts compared with the user's locale collation,
// case-sensitive. Every list that sorts by e-mail (the recipient list, the command line's
// group order, the HTML page) uses this one comparison.
//
// Texts are code-page bytes; they are compared by their Unicode form under the collation of
// the locale the program started with (LC_ALL, LC_COLLATE, LANG). In the C, POSIX and C.UTF-8
// locales that is code-point order. Texts the collation finds equal fall back to byte order, so the order is
// total and the same on every run.
#pragma once

#include <string>
#include <string_view>

namespace quillet {

class EmailCollation {
public:
    // The collation of the program's locale, set up once.
    static const EmailCollation& instance();

    // A key whose byte order (std::string's operator<) is the collation order of the text.
    std::string sortKey(std::string_view codePageText) const;
    // Negative, zero or positive as a sorts before, with or after b.
    int compare(std::string_view a, std::string_view b) const;

    // The collation of a named locale (empty: code-point order). Used by instance() and tests.
    explicit EmailCollation(const std::string& localeName);
    ~EmailCollation();
    EmailCollation(const EmailCollation&) = delete;
    EmailCollation& operator=(const EmailCollation&) = delete;

private:
    void* locale_ = nullptr;  // locale_t of the collation; null for code-point order
};

} // namespace quillet
