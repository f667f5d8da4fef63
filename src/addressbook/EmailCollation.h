// The order of recipient rows: e-mail texts compared with the user's locale collation,
// case-sensitive. Every list that sorts by e-mail (the recipient list, the command line's
// group order, the HTML page) uses this one comparison.
//
// Texts are code-page bytes, whatever the locale's own character set is. They are turned into
// wide characters (Unicode) and compared by the wide-character collation of the locale the
// program started with (LC_ALL, LC_COLLATE, LANG), so a UTF-8 locale and a Latin-1 locale
// order the same texts alike. In the C and POSIX locales (and C.UTF-8) the order is that of the
// Unicode code points. Texts the collation finds equal fall back to the order of their bytes,
// so the order is total and the same on every run.
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

    // The collation of a named locale (empty, or a locale that cannot be loaded: code-point
    // order). Used by instance() and tests.
    explicit EmailCollation(const std::string& localeName);
    ~EmailCollation();
    EmailCollation(const EmailCollation&) = delete;
    EmailCollation& operator=(const EmailCollation&) = delete;

    // True when a locale collation is in use (false: code-point order).
    bool usesLocale() const { return locale_ != nullptr; }

private:
    std::string localeKey(std::string_view codePageText) const;

    void* locale_ = nullptr; // locale_t of the collation; null for code-point order
};

} // namespace quillet
