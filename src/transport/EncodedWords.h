// Encoded words (RFC 2047) for header text that is not plain ASCII, and the encoding parameters
// chosen from the program's code page (by default the locale language's): charset name, Q or B
// encoding, and whether text is first converted from Shift_JIS to ISO-2022-JP.
//
// An encoded word always holds whole characters of the code page (a double-byte character or a
// UTF-8 sequence is never split between two words). Under the Western code page a run that holds
// bytes 0x80-0x9F (printable characters such as the euro sign there, control characters in
// ISO-8859-1) is labelled windows-1252; under UTF-8 each run takes Q or B, whichever is shorter.
#pragma once

#include "project/CodePage.h"

#include <string>
#include <string_view>

namespace quillet {

enum class TTransfer { bit7, bit8, iso2022jp };

struct EncodingParameters {
    std::string WordCharSet = "ISO-8859-1";
    char WordEncoding = 'Q'; // 'Q' or 'B'
    TTransfer TransferMode = TTransfer::bit8;
    // The iconv name of the code page the texts are in (labels message bodies, finds characters).
    std::string CodePage = "CP1252";
};

// The parameters for a locale language.
EncodingParameters EncodingParametersFor(LocaleLanguage language);
// The parameters for a code page given by its iconv name (UTF-8: "UTF-8", Q or B as fits).
EncodingParameters EncodingParametersForCodePage(std::string_view codePage);
// The parameters for the program's code page.
EncodingParameters CurrentEncodingParameters();

// Characters that must be encoded in a display name of an address, beyond the control and
// 8-bit characters.
inline constexpr std::string_view kAddressSpecials = "()<>@,;:\\.[]\"";
// Subject and Organization have no extra specials.
inline constexpr std::string_view kTextSpecials = "";

// Whether a receiver could take the text for an encoded word: it holds "=?". Such text is always
// encoded, so that it reaches the reader as written.
bool LooksLikeEncodedWord(std::string_view text);

// The header value for a text: words that need encoding (control or 8-bit characters, one of the
// specials, or "=?") become encoded words of at most 75 characters, joined by CR LF TAB; all
// other words and the separators between them are kept unchanged.
std::string EncodeHeaderWords(std::string_view text, std::string_view specials, const EncodingParameters& parameters);

// A copy of a value taken from data with every CR and LF replaced by a space, so that it can
// never start a header line of its own or end the header block.
std::string SingleLineValue(std::string_view text);
// Whether the text holds a CR or an LF (what SingleLineValue would change).
inline bool HasLineBreak(std::string_view text)
{
    for (const char c : text)
        if (c == '\r' || c == '\n')
            return true;
    return false;
}

} // namespace quillet
