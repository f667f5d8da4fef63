// Encoded words (RFC 2047) for header text that is not plain ASCII, and the encoding parameters
// chosen from the locale language: charset name, Q or B encoding, and whether text is first
// converted from Shift_JIS to ISO-2022-JP.
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
};

// The parameters for a locale language.
EncodingParameters EncodingParametersFor(LocaleLanguage language);
// The parameters for the language of the locale the program started with.
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
std::string EncodeHeaderWords(std::string_view text, std::string_view specials,
                              const EncodingParameters& parameters);

// A copy of a value taken from data with every CR and LF replaced by a space, so that it can
// never start a header line of its own or end the header block.
std::string SingleLineValue(std::string_view text);

} // namespace quillet
