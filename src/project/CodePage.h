// The program's code page and locale language, chosen once from the locale
// (LC_ALL, then LC_CTYPE, then LANG). Every text of the core is a byte string in this code page;
// conversion to and from UTF-8 happens only at the edges (windows, terminal, JSON).
#pragma once

#include <cstddef>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace quillet {

enum class LocaleLanguage { Other, Japanese, ChineseSimplified, ChineseTraditional, Korean };

// The language of the locale the program started with (Other when it cannot be told).
LocaleLanguage localeLanguage();
// The iconv name of the program's code page: "CP1252" by default; "CP932" for Japanese,
// "GBK" for simplified Chinese, "BIG5" for other Chinese, "CP949" for Korean.
const char* codePageName();

// Raised when a text typed by the user holds characters the code page cannot represent.
class UnrepresentableText : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// True when every byte is below 0x80: such a text reads the same in every supported code page
// and in UTF-8.
bool isPlainAscii(std::string_view text);

// The length of the well-formed UTF-8 sequence of a character beyond ASCII at the start of the
// text (2 to 4), or 0 when there is none there (ASCII, a stray byte, an overlong form, a
// surrogate, a code above U+10FFFF, a sequence cut short).
std::size_t utf8SequenceLength(std::string_view text);

// Code-page bytes to UTF-8. Never fails: bytes the code page leaves undefined become U+FFFD.
std::string codePageToUtf8(std::string_view bytes);
// UTF-8 to code-page bytes; throws UnrepresentableText naming the text when a character has no
// code in the code page.
std::string utf8ToCodePage(std::string_view utf8);

// UTF-8 to code-page bytes for messages: characters the code page lacks become "?" instead of
// failing (a file name inside an error text, for example).
std::string utf8ToCodePageForMessage(std::string_view utf8);

// The same conversions for a code page given by its iconv name (tests, other code pages).
std::string codePageToUtf8(std::string_view bytes, const char* codePage);
std::string utf8ToCodePage(std::string_view utf8, const char* codePage);

// Bytes in a charset named by outside data (a received message) to UTF-8; nothing when iconv
// does not know the charset or the bytes do not fit it.
std::optional<std::string> charsetToUtf8(std::string_view bytes, const char* charset);

// The language a locale name (as in LC_ALL, e.g. "ja_JP.UTF-8") stands for, and the code page of
// a language; localeLanguage() and codePageName() apply them once to the program's locale.
LocaleLanguage languageOfLocaleName(std::string_view locale);
const char* codePageNameFor(LocaleLanguage language);

} // namespace quillet
