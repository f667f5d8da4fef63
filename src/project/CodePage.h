// The program's code page and locale language, chosen once from the locale
// (LC_ALL, then LC_CTYPE, then LANG) unless the user chose one (program option, QUILLET_CODEPAGE,
// --codepage). Every text of the core is a byte string in this code page; conversion to and
// from UTF-8 happens only at the edges (windows, terminal, JSON).
#pragma once

#include <cstddef>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace quillet {

enum class LocaleLanguage { Other, Japanese, ChineseSimplified, ChineseTraditional, Korean };

// The language of the locale the program started with (Other when it cannot be told).
LocaleLanguage localeLanguage();
// The iconv name of the program's code page: the chosen one, else from the locale: "CP1252" by
// default; "CP932" for Japanese, "GBK" for simplified Chinese, "BIG5" for other Chinese, "CP949"
// for Korean.
const char* codePageName();

// The code pages a user may choose, by the names the options take: "auto" (from the locale),
// "utf-8", "windows-1252", "shift_jis", "gbk", "big5", "cp949".
inline constexpr const char* kCodePageChoices[] = {"auto", "utf-8", "windows-1252", "shift_jis",
                                                   "gbk",  "big5",  "cp949"};
// The iconv name of a choice (letter case ignored); nullptr for "auto"; throws
// std::invalid_argument naming the choices for an unknown one.
const char* codePageOfChoice(std::string_view choice);
// Makes a choice the program's code page ("auto": the locale's). Called once at start, before
// any text is converted; later calls take effect for conversions made after them.
void selectCodePage(std::string_view choice);
// True when the program's code page is UTF-8.
bool codePageIsUtf8();
// The iconv name of the chosen code page; nullptr when it follows the locale ("auto").
const char* chosenCodePageName();

// The registered (IANA) charset name that labels text of a code page in a message:
// "windows-1252", "Shift_JIS", "GBK", "Big5", "ks_c_5601-1987", "UTF-8".
const char* registeredCharsetName(const char* codePage);

// The number of bytes of the character that starts at `pos` (1 for single-byte code pages, a
// lead byte and its trail byte for double-byte ones, a whole sequence in UTF-8; never beyond the
// end of the text).
std::size_t characterLength(std::string_view text, std::size_t pos, const char* codePage);
// The longest prefix of at most `limit` bytes that does not split a UTF-8 character (under the
// UTF-8 code page); under other code pages simply the first `limit` bytes.
std::string_view cutAtCharacter(std::string_view text, std::size_t limit);

// Where a conversion failed: 1-based line and column (in characters).
struct TextPosition {
    std::size_t line = 1;
    std::size_t column = 1;
};
// Converts a whole text (e.g. a file) from one encoding to another through iconv; throws
// UnrepresentableText naming the line and column of the first character that is not valid in
// `from` or cannot be held by `to`. `what` names the text in the error ("the body file").
std::string convertText(std::string_view bytes, const char* from, const char* to, std::string_view what);

// Under the UTF-8 code page: the first text that is not valid UTF-8; under another code page: a
// text with non-ASCII bytes is suspicious when every such text is valid multi-byte UTF-8. The
// caller passes every text of a project; true means "probably written under another code page".
bool looksLikeOtherCodePage(const std::vector<std::string_view>& texts);
// The same judgement taken one text at a time, in any order (a project's recipients are judged
// block by block while they are read).
class OtherCodePageEvidence {
public:
    OtherCodePageEvidence();
    void add(std::string_view text);
    bool looksLikeOtherCodePage() const { return decided_ ? decision_ : !utf8_ && anyEightBit_; }

private:
    bool utf8_;
    bool anyEightBit_ = false;
    bool decided_ = false; // a text that is not valid UTF-8 settles it
    bool decision_ = false;
};
// True when the bytes are well-formed UTF-8; the length of the longest well-formed prefix.
bool isValidUtf8(std::string_view bytes);
std::size_t validUtf8Length(std::string_view bytes);

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
