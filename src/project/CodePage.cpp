// The program's code page, chosen once from the locale, and the conversions between its bytes
// and UTF-8 through glibc iconv. One conversion descriptor per direction and thread is kept open
// for the life of the thread, so converting many short texts (list rows, JSON) stays cheap.
#include "CodePage.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
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

// The user's choice of code page (iconv name); null: the locale's.
std::atomic<const char*> chosenCodePage{nullptr};

struct CodePageChoice {
    const char* choice;
    const char* iconvName;
};
constexpr CodePageChoice kChoices[] = {{"utf-8", "UTF-8"}, {"windows-1252", "CP1252"}, {"shift_jis", "CP932"},
                                       {"gbk", "GBK"},     {"big5", "BIG5"},           {"cp949", "CP949"}};

bool sameIgnoringCase(std::string_view a, std::string_view b)
{
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
        return lower(x) == lower(y);
    });
}

// Converts through an open descriptor. Bytes the source cannot decode or the target cannot
// encode are replaced by `replacement` (Replace) or make the conversion fail (Throw: returns
// false, with `failedAt` the offset of the input that could not be converted).
bool convert(const Converter& converter, std::string_view input, std::string& output, OnBadInput onBad,
             std::string_view replacement, std::size_t* failedAt = nullptr)
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
        // With the input done, the encoder is flushed: a stateful one (ISO-2022-JP) writes the
        // escape back to ASCII there.
        const bool flushing = inLeft == 0;
        const std::size_t result = flushing ? iconv(converter.get(), nullptr, nullptr, &out, &outLeft)
                                            : iconv(converter.get(), &in, &inLeft, &out, &outLeft);
        const int error = errno;
        output.append(buffer, static_cast<std::size_t>(out - buffer));
        if (result != static_cast<std::size_t>(-1)) {
            if (flushing)
                return true;
            continue;
        }
        if (error == E2BIG)
            continue;
        // EILSEQ: a byte sequence that cannot be converted; EINVAL: an incomplete one at the end.
        if (onBad == OnBadInput::Throw) {
            if (failedAt)
                *failedAt = static_cast<std::size_t>(in - input.data());
            return false;
        }
        output.append(replacement);
        ++in;
        --inLeft;
        converter.reset();
    }
}

// Whether every ASCII byte converts to itself, alone and in any sequence, so that a text of
// ASCII bytes may skip the conversion: true of the code pages the program writes in and of the
// common 8-bit and East Asian encodings, checked on all ASCII bytes besides; false of UTF-16, of
// encodings that shift state with ASCII bytes (ISO-2022-JP, HZ, UTF-7: a lone escape byte passes
// through them unchanged, so no probe tells) and of any other name, which is always converted. An
// encoding iconv does not know counts as true: its ASCII text passes as before and anything else
// fails with its message.
bool keepsAscii(const Converter& converter, std::string_view encoding)
{
    if (!converter.valid())
        return true;
    std::string name(encoding);
    for (char& c : name)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    static constexpr std::string_view kAsciiFamilies[] = {"UTF-8",     "UTF8",     "CP125",     "WINDOWS-125",
                                                          "ISO-8859-", "ISO8859-", "ISO_8859-", "LATIN",
                                                          "US-ASCII",  "ASCII",    "CP932",     "GBK",
                                                          "CP936",     "BIG5",     "CP950",     "CP949",
                                                          "EUC-",      "GB18030",  "GB2312",    "KOI8-",
                                                          "UHC",       "CP437",    "CP850"};
    bool known = false;
    for (const std::string_view family : kAsciiFamilies)
        known = known || name.starts_with(family);
    if (!known)
        return false;
    std::string ascii;
    for (int c = 1; c < 0x80; ++c)
        ascii += static_cast<char>(c);
    std::string converted;
    return convert(converter, ascii, converted, OnBadInput::Throw, {}) && converted == ascii;
}

// One open descriptor per direction and thread, for the last encoding it was asked for.
struct CachedConverter {
    std::string name;
    std::unique_ptr<Converter> converter;
    bool keepsAscii = true;
};

const CachedConverter& cachedConverter(CachedConverter& cache, const char* to, const char* from, const char* name)
{
    if (!cache.converter || cache.name != name) {
        cache.converter = std::make_unique<Converter>(to, from);
        cache.name = name;
        cache.keepsAscii = keepsAscii(*cache.converter, name);
    }
    return cache;
}

const CachedConverter& toUtf8Converter(const char* codePage)
{
    thread_local CachedConverter cache;
    return cachedConverter(cache, "UTF-8", codePage, codePage);
}

const CachedConverter& fromUtf8Converter(const char* codePage)
{
    thread_local CachedConverter cache;
    return cachedConverter(cache, codePage, "UTF-8", codePage);
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
    if (const char* chosen = chosenCodePage.load(std::memory_order_relaxed))
        return chosen;
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
        if (lead == 0xE0)
            low = 0xA0; // no overlong forms
        if (lead == 0xED)
            high = 0x9F; // no surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0)
            low = 0x90;
        if (lead == 0xF4)
            high = 0x8F; // nothing above U+10FFFF
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

const char* codePageOfChoice(std::string_view choice)
{
    if (sameIgnoringCase(choice, "auto"))
        return nullptr;
    for (const CodePageChoice& known : kChoices)
        if (sameIgnoringCase(choice, known.choice))
            return known.iconvName;
    std::string names;
    for (const char* name : kCodePageChoices)
        names += std::string(names.empty() ? "" : ", ") + name;
    throw std::invalid_argument("Unknown code page \"" + std::string(choice) + "\" (choose one of " + names + ")");
}

void selectCodePage(std::string_view choice)
{
    chosenCodePage.store(codePageOfChoice(choice), std::memory_order_relaxed);
}

const char* chosenCodePageName()
{
    return chosenCodePage.load(std::memory_order_relaxed);
}

bool codePageIsUtf8()
{
    return std::string_view(codePageName()) == "UTF-8";
}

const char* registeredCharsetName(const char* codePage)
{
    const std::string_view cp = codePage;
    if (cp == "UTF-8")
        return "UTF-8";
    if (cp == "CP932")
        return "Shift_JIS";
    if (cp == "GBK")
        return "GBK";
    if (cp == "BIG5")
        return "Big5";
    if (cp == "CP949")
        return "ks_c_5601-1987";
    return "windows-1252";
}

std::size_t characterLength(std::string_view text, std::size_t pos, const char* codePage)
{
    const std::size_t left = text.size() - pos;
    const auto lead = static_cast<unsigned char>(text[pos]);
    if (lead < 0x80 || left < 2)
        return 1;
    const std::string_view cp = codePage;
    std::size_t length = 1;
    if (cp == "UTF-8") {
        length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
        // A sequence ends early at a byte that cannot continue it.
        for (std::size_t k = 1; k < length; ++k)
            if (k >= left || (static_cast<unsigned char>(text[pos + k]) & 0xC0) != 0x80)
                return k;
    } else if (cp == "CP932") {
        length = (lead >= 0x81 && lead <= 0x9F) || (lead >= 0xE0 && lead <= 0xFC) ? 2 : 1;
    } else if (cp == "GBK" || cp == "BIG5" || cp == "CP949") {
        length = lead >= 0x81 && lead <= 0xFE ? 2 : 1;
    }
    return length;
}

std::string_view cutAtCharacter(std::string_view text, std::size_t limit)
{
    if (text.size() <= limit)
        return text;
    std::size_t end = limit;
    if (codePageIsUtf8())
        while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80)
            --end;
    return text.substr(0, end);
}

bool isValidUtf8(std::string_view bytes)
{
    return validUtf8Length(bytes) == bytes.size();
}

std::size_t validUtf8Length(std::string_view bytes)
{
    std::size_t i = 0;
    while (i < bytes.size()) {
        if (static_cast<unsigned char>(bytes[i]) < 0x80) {
            ++i;
            continue;
        }
        const std::size_t length = utf8SequenceLength(bytes.substr(i));
        if (length == 0)
            return i;
        i += length;
    }
    return i;
}

OtherCodePageEvidence::OtherCodePageEvidence() : utf8_(codePageIsUtf8()) {}

void OtherCodePageEvidence::add(std::string_view text)
{
    if (decided_ || isPlainAscii(text))
        return;
    anyEightBit_ = true;
    if (!isValidUtf8(text)) {
        decided_ = true;
        decision_ = utf8_;
    }
}

bool looksLikeOtherCodePage(const std::vector<std::string_view>& texts)
{
    OtherCodePageEvidence evidence;
    for (const std::string_view text : texts)
        evidence.add(text);
    return evidence.looksLikeOtherCodePage();
}

std::string convertText(std::string_view bytes, const char* from, const char* to, std::string_view what)
{
    if (isPlainAscii(bytes) && toUtf8Converter(from).keepsAscii && fromUtf8Converter(to).keepsAscii)
        return std::string(bytes);
    // Two steps through UTF-8, so that a failure tells a byte the source encoding does not
    // define from a character the target cannot hold.
    auto positionOf = [](std::string_view text, std::size_t offset, const char* encoding) {
        TextPosition position;
        std::size_t lineStart = 0;
        for (std::size_t i = 0; i < offset; ++i)
            if (text[i] == '\n') {
                ++position.line;
                lineStart = i + 1;
            }
        const std::string before = codePageToUtf8(text.substr(lineStart, offset - lineStart), encoding);
        for (const char c : before)
            if ((static_cast<unsigned char>(c) & 0xC0) != 0x80)
                ++position.column;
        return position;
    };
    auto where = [&](const TextPosition& position) {
        return std::string(what) + ", line " + std::to_string(position.line) + ", column " +
               std::to_string(position.column) + ": ";
    };
    auto converterFor = [](const char* target, const char* source) {
        auto converter = std::make_unique<Converter>(target, source);
        if (!converter->valid())
            throw std::invalid_argument("Unknown encoding \"" + std::string(source) + "\" or \"" + target + "\"");
        return converter;
    };
    std::string utf8;
    std::size_t failedAt = 0;
    if (std::string_view(from) == "UTF-8") {
        utf8 = std::string(bytes);
        if (!isValidUtf8(utf8)) {
            failedAt = validUtf8Length(bytes);
            char hex[8];
            std::snprintf(hex, sizeof hex, "0x%02X", static_cast<unsigned char>(bytes[failedAt]));
            throw UnrepresentableText(where(positionOf(bytes, failedAt, from)) + "the byte " + hex + " is not valid " +
                                      from + " text");
        }
    } else if (!convert(*converterFor("UTF-8", from), bytes, utf8, OnBadInput::Throw, {}, &failedAt)) {
        char hex[8];
        std::snprintf(hex, sizeof hex, "0x%02X", static_cast<unsigned char>(bytes[failedAt]));
        throw UnrepresentableText(where(positionOf(bytes, failedAt, from)) + "the byte " + hex + " is not valid " +
                                  from + " text");
    }
    if (std::string_view(to) == "UTF-8")
        return utf8;
    std::string result;
    if (convert(*converterFor(to, "UTF-8"), utf8, result, OnBadInput::Throw, {}, &failedAt))
        return result;
    const std::string character = utf8.substr(failedAt, characterLength(utf8, failedAt, "UTF-8"));
    char32_t code =
        static_cast<unsigned char>(character[0]) & (character.size() == 1 ? 0x7F : 0x3F >> (character.size() - 2));
    for (std::size_t k = 1; k < character.size(); ++k)
        code = (code << 6) | (static_cast<unsigned char>(character[k]) & 0x3F);
    char codeText[16];
    std::snprintf(codeText, sizeof codeText, "U+%04X", static_cast<unsigned>(code));
    throw UnrepresentableText(where(positionOf(utf8, failedAt, "UTF-8")) + "the character " + codeText +
                              " has no code in code page " + to);
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
    const CachedConverter& cached = toUtf8Converter(codePage);
    if (cached.keepsAscii && isPlainAscii(bytes))
        return std::string(bytes);
    const Converter& converter = *cached.converter;
    if (!converter.valid())
        throw std::runtime_error(std::string("The code page ") + codePage + " is not available");
    std::string result;
    convert(converter, bytes, result, OnBadInput::Replace, kReplacementCharacter);
    return result;
}

std::optional<std::string> charsetToUtf8(std::string_view bytes, const char* charset)
{
    const Converter& converter = *toUtf8Converter(charset).converter;
    std::string result;
    if (!converter.valid() || !convert(converter, bytes, result, OnBadInput::Throw, {}))
        return std::nullopt;
    // iconv's UTF-8 reader lets through sequences above U+10FFFF ("F4 BC 90 91"): text named
    // UTF-8 that is not is treated as not fitting its charset.
    if (!isValidUtf8(result))
        return std::nullopt;
    return result;
}

std::string utf8ToCodePage(std::string_view utf8, const char* codePage)
{
    const CachedConverter& cached = fromUtf8Converter(codePage);
    if (cached.keepsAscii && isPlainAscii(utf8))
        return std::string(utf8);
    const Converter& converter = *cached.converter;
    if (!converter.valid())
        throw std::runtime_error(std::string("The code page ") + codePage + " is not available");
    std::string result;
    if (!convert(converter, utf8, result, OnBadInput::Throw, {}))
        throw UnrepresentableText("The text \"" + std::string(utf8) + "\" holds characters that code page " + codePage +
                                  " cannot represent");
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
