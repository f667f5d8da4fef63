#include "EmailCollation.h"

#include "project/CodePage.h"

#include <cstdlib>
#include <locale.h>
#include <string.h>

namespace quillet {

namespace {

bool isAscii(std::string_view text)
{
    for (unsigned char c : text)
        if (c >= 0x80)
            return false;
    return true;
}

std::string toUtf8(std::string_view codePageText)
{
    return isAscii(codePageText) ? std::string(codePageText) : codePageToUtf8(codePageText);
}

// The name of the environment's collation locale, or empty when it collates as plain code-point
// order: C, POSIX and C.UTF-8 (whose order is that of the UTF-8 bytes, so no key is needed).
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

// Collation works on UTF-8, so a non-UTF-8 locale is used through its UTF-8 twin when one
// exists. Null when none can be loaded (code-point order then).
locale_t openCollationLocale(const std::string& name)
{
    if (name.empty())
        return nullptr;
    const std::string base = name.substr(0, name.find_first_of(".@"));
    for (const std::string& candidate : {base + ".UTF-8", base + ".utf8", name}) {
        if (locale_t loc = newlocale(LC_COLLATE_MASK | LC_CTYPE_MASK, candidate.c_str(), static_cast<locale_t>(nullptr)))
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

std::string EmailCollation::sortKey(std::string_view codePageText) const
{
    std::string utf8 = toUtf8(codePageText);
    if (!locale_)
        return utf8;  // UTF-8 byte order is code-point order
    // The collation key, then a zero byte and the text itself as the tie-break.
    const auto loc = static_cast<locale_t>(locale_);
    std::string key(utf8.size() * 4 + 16, '\0');
    std::size_t n = strxfrm_l(key.data(), utf8.c_str(), key.size(), loc);
    if (n >= key.size()) {
        key.resize(n + 1);
        n = strxfrm_l(key.data(), utf8.c_str(), key.size(), loc);
    }
    key.resize(n);
    key.push_back('\0');
    key += utf8;
    return key;
}

int EmailCollation::compare(std::string_view a, std::string_view b) const
{
    const std::string ka = sortKey(a);
    const std::string kb = sortKey(b);
    return ka.compare(kb);
}

} // namespace quillet
