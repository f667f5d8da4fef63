// The program's code page, chosen once from the locale, and the conversions between its bytes
// and UTF-8 through glibc iconv. One conversion descriptor per direction and thread is kept open
// for the life of the thread, so converting many short texts (list rows, JSON) stays cheap.
#include "CodePage.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <iconv.h>
#include <memory>
#include <string>

namespace quillet {

namespace {

constexpr std::string_view kReplacementCharacter = "\xEF\xBF\xBD"; // U+FFFD in UTF-8

// The first non-empty of LC_ALL, LC_CTYPE, LANG (the order the C library gives them).
std::string localeNameFromEnvironment()
{
    for (const char* variable : {"LC_ALL", "LC_CTYPE", "LANG"}) {
        const char* value = std::getenv(variable);
        if (value && *value)
            return value;
    }
    return {};
}

// An open iconv descriptor, closed with its owner.
class Converter {
public:
    Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
    ~Converter()
    {
        if (valid())
            iconv_close(cd_);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    bool valid() const { return cd_ != reinterpret_cast<iconv_t>(-1); }
    iconv_t get() const { return cd_; }
    void reset() const { iconv(cd_, nullptr, nullptr, nullptr, nullptr); }

private:
    iconv_t cd_;
};

enum class OnBadInput { Replace, Throw };

// Converts through an open descriptor. Bytes the source cannot decode or the target cannot
// encode are replaced by `replacement` (Replace) or make the conversion fail (Throw: returns false).
bool convert(const Converter& converter, std::string_view input, std::string& output, OnBadInput onBad,
             std::string_view replacement)
{
    converter.reset();
    output.clear();
    output.reserve(input.size() * 2 + 8);
    char* in = const_cast<char*>(input.data());
    std::size_t inLeft = input.size();
    char buffer[1024];
    for (;;) {
        char* out = buffer;
        std::size_t outLeft = sizeof buffer;
        const std::size_t result = inLeft ? iconv(converter.get(), &in, &inLeft, &out, &outLeft)
                                          : iconv(converter.get(), nullptr, nullptr, &out, &outLeft);
        const int error = errno;
        output.append(buffer, static_cast<std::size_t>(out - buffer));
        if (result != static_cast<std::size_t>(-1)) {
            if (inLeft == 0)
                return true;
            continue;
        }
        if (error == E2BIG)
            continue;
        // EILSEQ: a byte sequence that cannot be converted; EINVAL: an incomplete one at the end.
        if (onBad == OnBadInput::Throw)
            return false;
        output.append(replacement);
        ++in;
        --inLeft;
        converter.reset();
    }
}

const Converter& toUtf8Converter(const char* codePage)
{
    thread_local std::string name;
    thread_local std::unique_ptr<Converter> converter;
    if (!converter || name != codePage) {
        converter = std::make_unique<Converter>("UTF-8", codePage);
        name = codePage;
    }
    return *converter;
}

const Converter& fromUtf8Converter(const char* codePage)
{
    thread_local std::string name;
    thread_local std::unique_ptr<Converter> converter;
    if (!converter || name != codePage) {
        converter = std::make_unique<Converter>(codePage, "UTF-8");
        name = codePage;
    }
    return *converter;
}

} // namespace

LocaleLanguage languageOfLocaleName(std::string_view locale)
{
    // A locale name reads language[_territory][.codeset][@modifier].
    const std::size_t languageEnd = locale.find_first_of("_.@");
    const std::string_view language = locale.substr(0, languageEnd);
    std::string_view territory;
    if (languageEnd != std::string_view::npos && locale[languageEnd] == '_') {
        territory = locale.substr(languageEnd + 1);
        territory = territory.substr(0, territory.find_first_of(".@"));
    }
    if (language == "ja")
        return LocaleLanguage::Japanese;
    if (language == "ko")
        return LocaleLanguage::Korean;
    if (language == "zh") {
        if (territory == "CN" || territory == "SG" || territory.empty())
            return LocaleLanguage::ChineseSimplified;
        return LocaleLanguage::ChineseTraditional;
    }
    return LocaleLanguage::Other;
}

const char* codePageNameFor(LocaleLanguage language)
{
    switch (language) {
    case LocaleLanguage::Japanese: return "CP932";
    case LocaleLanguage::ChineseSimplified: return "GBK";
    case LocaleLanguage::ChineseTraditional: return "BIG5";
    case LocaleLanguage::Korean: return "CP949";
    case LocaleLanguage::Other: break;
    }
    return "CP1252";
}

LocaleLanguage localeLanguage()
{
    static const LocaleLanguage language = languageOfLocaleName(localeNameFromEnvironment());
    return language;
}

const char* codePageName()
{
    return codePageNameFor(localeLanguage());
}

std::size_t utf8SequenceLength(std::string_view text)
{
    const auto lead = static_cast<unsigned char>(text[0]);
    std::size_t length = 0;
    unsigned char low = 0x80, high = 0xBF; // the bounds of the second byte
    if (lead >= 0xC2 && lead <= 0xDF)
        length = 2;
    else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;      // no overlong forms
        if (lead == 0xED) high = 0x9F;     // no surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;     // nothing above U+10FFFF
    } else
        return 0;
    if (text.size() < length)
        return 0;
    const auto second = static_cast<unsigned char>(text[1]);
    if (second < low || second > high)
        return 0;
    for (std::size_t i = 2; i < length; ++i)
        if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80)
            return 0;
    return length;
}

bool isPlainAscii(std::string_view text)
{
    for (unsigned char c : text)
        if (c >= 0x80)
            return false;
    return true;
}

std::string codePageToUtf8(std::string_view bytes, const char* codePage)
{
    if (isPlainAscii(bytes))
        return std::string(bytes);
    const Converter& converter = toUtf8Converter(codePage);
    if (!converter.valid())
        throw std::runtime_error(std::string("The code page ") + codePage + " is not available");
    std::string result;
    convert(converter, bytes, result, OnBadInput::Replace, kReplacementCharacter);
    return result;
}

std::optional<std::string> charsetToUtf8(std::string_view bytes, const char* charset)
{
    const Converter& converter = toUtf8Converter(charset);
    std::string result;
    if (!converter.valid() || !convert(converter, bytes, result, OnBadInput::Throw, {}))
        return std::nullopt;
    return result;
}

std::string utf8ToCodePage(std::string_view utf8, const char* codePage)
{
    if (isPlainAscii(utf8))
        return std::string(utf8);
    const Converter& converter = fromUtf8Converter(codePage);
    if (!converter.valid())
        throw std::runtime_error(std::string("The code page ") + codePage + " is not available");
    std::string result;
    if (!convert(converter, utf8, result, OnBadInput::Throw, {}))
        throw UnrepresentableText("The text \"" + std::string(utf8) + "\" holds characters that code page " +
                                  codePage + " cannot represent");
    return result;
}

std::string utf8ToCodePageForMessage(std::string_view utf8)
{
    try {
        return utf8ToCodePage(utf8);
    } catch (const UnrepresentableText&) {
    }
    // Character by character: a UTF-8 sequence that does not convert becomes "?".
    std::string result;
    std::size_t i = 0;
    while (i < utf8.size()) {
        const auto lead = static_cast<unsigned char>(utf8[i]);
        std::size_t length = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
        length = std::min(length, utf8.size() - i);
        try {
            result += utf8ToCodePage(utf8.substr(i, length));
        } catch (const UnrepresentableText&) {
            result += '?';
        }
        i += length;
    }
    return result;
}

std::string codePageToUtf8(std::string_view bytes)
{
    return codePageToUtf8(bytes, codePageName());
}

std::string utf8ToCodePage(std::string_view utf8)
{
    return utf8ToCodePage(utf8, codePageName());
}

} // namespace quillet
