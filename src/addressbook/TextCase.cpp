#include "TextCase.h"

#include "project/CodePage.h"

#include <cstdlib>
#include <vector>
#include <locale.h>
#include <string.h>
#include <wctype.h>

namespace quillet {

namespace {

// A UTF-8 character-type locale for towupper_l: the user's language when it has a UTF-8
// locale, otherwise C.UTF-8 (whose case mapping covers all of Unicode).
locale_t caseLocale()
{
    static const locale_t loc = [] {
        std::string name;
        for (const char* variable : {"LC_ALL", "LC_CTYPE", "LANG"}) {
            if (const char* value = std::getenv(variable); value && *value) {
                name = value;
                break;
            }
        }
        const std::string base = name.substr(0, name.find_first_of(".@"));
        std::vector<std::string> candidates;
        if (!base.empty() && base != "C" && base != "POSIX")
            candidates = {base + ".UTF-8", base + ".utf8"};
        candidates.insert(candidates.end(), {"C.UTF-8", "C.utf8"});
        for (const std::string& candidate : candidates)
            if (locale_t l = newlocale(LC_CTYPE_MASK, candidate.c_str(), static_cast<locale_t>(nullptr)))
                return l;
        return static_cast<locale_t>(nullptr);
    }();
    return loc;
}

void appendUtf8(std::string& out, char32_t c)
{
    if (c < 0x80) {
        out += char(c);
    } else if (c < 0x800) {
        out += char(0xC0 | (c >> 6));
        out += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += char(0xE0 | (c >> 12));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    } else {
        out += char(0xF0 | (c >> 18));
        out += char(0x80 | ((c >> 12) & 0x3F));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    }
}

} // namespace

std::string upperCased(std::string_view codePageText)
{
    if (isPlainAscii(codePageText)) {
        std::string out(codePageText);
        for (char& c : out)
            if (c >= 'a' && c <= 'z')
                c = char(c - 'a' + 'A');
        return out;
    }
    const std::string utf8 = codePageToUtf8(codePageText);
    const locale_t loc = caseLocale();
    std::string out;
    out.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size();) {
        const auto b = static_cast<unsigned char>(utf8[i]);
        const int length = b < 0x80 ? 1 : b < 0xE0 ? 2 : b < 0xF0 ? 3 : 4;
        if (i + length > utf8.size()) {
            out.append(utf8, i, std::string::npos);
            break;
        }
        char32_t c = length == 1 ? b : length == 2 ? (b & 0x1F) : length == 3 ? (b & 0x0F) : (b & 0x07);
        for (int k = 1; k < length; ++k)
            c = (c << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
        if (loc)
            c = static_cast<char32_t>(towupper_l(static_cast<wint_t>(c), loc));
        appendUtf8(out, c);
        i += length;
    }
    return out;
}

bool equalIgnoringCase(std::string_view a, std::string_view b)
{
    if (a.size() == b.size() && isPlainAscii(a) && isPlainAscii(b)) {
        for (std::size_t i = 0; i < a.size(); ++i) {
            char x = a[i], y = b[i];
            if (x >= 'a' && x <= 'z')
                x = char(x - 'a' + 'A');
            if (y >= 'a' && y <= 'z')
                y = char(y - 'a' + 'A');
            if (x != y)
                return false;
        }
        return true;
    }
    return upperCased(a) == upperCased(b);
}

} // namespace quillet
