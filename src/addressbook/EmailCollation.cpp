#include "EmailCollation.h"

#include "project/CodePage.h"

#include <cstdint>
#include <cstdlib>
#include <locale.h>
#include <wchar.h>

namespace quillet {

namespace {

// UTF-8 (valid, as the code-page conversion writes it) to wide characters.
std::wstring utf8ToWide(std::string_view utf8)
{
    std::wstring wide;
    wide.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size();) {
        const auto lead = static_cast<unsigned char>(utf8[i]);
        const int extra = lead < 0x80 ? 0 : lead < 0xE0 ? 1 : lead < 0xF0 ? 2 : 3;
        char32_t c = extra == 0 ? lead : lead & (0x3F >> extra);
        for (int k = 1; k <= extra && i + static_cast<std::size_t>(k) < utf8.size(); ++k)
            c = (c << 6) | (static_cast<unsigned char>(utf8[i + static_cast<std::size_t>(k)]) & 0x3F);
        wide.push_back(static_cast<wchar_t>(c));
        i += static_cast<std::size_t>(extra) + 1;
    }
    return wide;
}

std::wstring codePageToWide(std::string_view codePageText)
{
    if (isPlainAscii(codePageText))
        return std::wstring(codePageText.begin(), codePageText.end());
    return utf8ToWide(codePageToUtf8(codePageText));
}

// Appends a collation weight (never zero) as one to six bytes whose byte order is the order of
// the weights and none of which is zero: the UTF-8 pattern, carried on to 31 bits. No encoding
// is the beginning of another, so joined encodings compare as the weight sequences do.
void appendWeight(std::string& out, wchar_t weight)
{
    const auto w = static_cast<std::uint32_t>(weight) & 0x7FFFFFFF;
    if (w < 0x80) {
        out.push_back(static_cast<char>(w));
        return;
    }
    int trailing = w < 0x800 ? 1 : w < 0x10000 ? 2 : w < 0x200000 ? 3 : w < 0x4000000 ? 4 : 5;
    static constexpr unsigned char kLead[] = {0, 0xC0, 0xE0, 0xF0, 0xF8, 0xFC};
    out.push_back(static_cast<char>(kLead[trailing] | (w >> (6 * trailing))));
    while (trailing-- > 0)
        out.push_back(static_cast<char>(0x80 | ((w >> (6 * trailing)) & 0x3F)));
}

std::wstring wideKey(locale_t loc, const std::wstring& text)
{
    std::wstring key(text.size() * 8 + 16, L'\0');
    std::size_t n = wcsxfrm_l(key.data(), text.c_str(), key.size(), loc);
    if (n >= key.size()) {
        key.assign(n + 1, L'\0');
        n = wcsxfrm_l(key.data(), text.c_str(), key.size(), loc);
    }
    key.resize(n);
    return key;
}

// The collation key, a zero byte, then the text's own bytes as the tie-break.
void appendTieBreak(std::string& key, std::string_view codePageText)
{
    key.push_back('\0');
    key.append(codePageText);
}

// The name of the environment's collation locale, or empty when it collates as plain code-point
// order: C, POSIX and C.UTF-8.
std::string environmentCollationName()
{
    for (const char* variable : {"LC_ALL", "LC_COLLATE", "LANG"}) {
        if (const char* value = std::getenv(variable); value && *value) {
            const std::string name = value;
            if (name == "C" || name == "POSIX" || name.rfind("C.", 0) == 0)
                return {};
            return name;
        }
    }
    return {};
}

// The locale itself, whatever its character set (wide-character collation does not depend on
// it), or its UTF-8 twin. Null when none can be loaded (code-point order then).
locale_t openCollationLocale(const std::string& name)
{
    if (name.empty())
        return nullptr;
    const std::string base = name.substr(0, name.find_first_of(".@"));
    for (const std::string& candidate : {name, base + ".UTF-8", base + ".utf8"}) {
        if (locale_t loc =
                newlocale(LC_COLLATE_MASK | LC_CTYPE_MASK, candidate.c_str(), static_cast<locale_t>(nullptr)))
            return loc;
    }
    return nullptr;
}

} // namespace

const EmailCollation& EmailCollation::instance()
{
    static const EmailCollation collation(environmentCollationName());
    return collation;
}

EmailCollation::EmailCollation(const std::string& localeName) : locale_(openCollationLocale(localeName)) {}

EmailCollation::~EmailCollation()
{
    if (locale_)
        freelocale(static_cast<locale_t>(locale_));
}

std::string EmailCollation::localeKey(std::string_view codePageText) const
{
    const std::wstring key = wideKey(static_cast<locale_t>(locale_), codePageToWide(codePageText));
    std::string bytes;
    bytes.reserve(key.size() * 3 + codePageText.size() + 1);
    for (wchar_t w : key)
        appendWeight(bytes, w);
    return bytes;
}

std::string EmailCollation::sortKey(std::string_view codePageText) const
{
    if (!locale_) {
        if (isPlainAscii(codePageText))
            return std::string(codePageText);           // code-point order is byte order
        std::string key = codePageToUtf8(codePageText); // UTF-8 byte order is code-point order
        appendTieBreak(key, codePageText);              // bytes the code page leaves undefined all read U+FFFD
        return key;
    }
    std::string key = localeKey(codePageText);
    appendTieBreak(key, codePageText);
    return key;
}

int EmailCollation::compare(std::string_view a, std::string_view b) const
{
    const std::string ka = sortKey(a);
    const std::string kb = sortKey(b);
    return ka.compare(kb);
}

} // namespace quillet
