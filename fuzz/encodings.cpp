// The encoders of message text over any bytes, and the core's decoders of received messages:
// base64 is the standard length and alphabet and decodes to the bytes again; encoded words stay on
// their lines and decode to the text again (also text shaped like an encoded word); ISO-2022-JP
// output is 7-bit and ends in ASCII.
#include "FuzzSupport.h"

#include "transport/Base64.h"
#include "transport/EncodedWords.h"
#include "transport/Iso2022Jp.h"
#include "transport/MimeDecoding.h"

#include <algorithm>
#include <optional>

using namespace quillet;

namespace {

void checkBase64(std::string_view bytes)
{
    const std::string text = TEncoderMIME::Encode(bytes);
    QUILLET_FUZZ_CHECK(text.size() == (bytes.size() + 2) / 3 * 4);
    QUILLET_FUZZ_CHECK(text.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/=") ==
                       std::string::npos);
    std::string lines;
    TMessageEncoderMIME::EncodeLines(bytes, lines);
    std::string joined;
    for (std::size_t at = 0; at < lines.size();) {
        const std::size_t end = lines.find("\r\n", at);
        QUILLET_FUZZ_CHECK(end != std::string::npos && end - at <= TMessageEncoderMIME::kCharsPerLine);
        joined.append(lines, at, end - at);
        at = end + 2;
    }
    QUILLET_FUZZ_CHECK(joined == text);
    QUILLET_FUZZ_CHECK(DecodeBase64(text) == bytes && DecodeBase64(lines) == bytes);
}

// Decoded, a header value is the text it was made of, without trailing blanks (whitespace after
// the last word is not kept).
void checkHeaderRoundTrip(std::string_view bytes, char encoding)
{
    const std::string text = SingleLineValue(bytes);
    const EncodingParameters latin1{"ISO-8859-1", encoding, TTransfer::bit8};
    const std::string decoded = DecodeHeaderValue(EncodeHeaderWords(text, kTextSpecials, latin1));
    std::string_view expected = text;
    while (!expected.empty() &&
           (expected.back() == ' ' || expected.back() == '\t' || expected.back() == '\r' || expected.back() == '\n'))
        expected.remove_suffix(1);
    // Words holding bytes 0x80-0x9F are labelled windows-1252, the others ISO-8859-1: both read every
    // other byte alike. Bytes windows-1252 leaves undefined have no text to compare with.
    const bool c1 = std::any_of(expected.begin(), expected.end(), [](char c) {
        return static_cast<unsigned char>(c) >= 0x80 && static_cast<unsigned char>(c) <= 0x9F;
    });
    const std::optional<std::string> original = charsetToUtf8(expected, c1 ? "windows-1252" : "ISO-8859-1");
    if (original)
        QUILLET_FUZZ_CHECK(decoded == *original);
}

// Header text as the message writer hands it over: made one line first.
void checkEncodedWords(std::string_view text, const EncodingParameters& parameters)
{
    const std::string value = EncodeHeaderWords(SingleLineValue(text), kAddressSpecials, parameters);
    std::size_t at = 0;
    while (at <= value.size()) {
        const std::size_t fold = value.find("\r\n\t", at);
        const std::string_view line = std::string_view(value).substr(at, fold == std::string::npos ? fold : fold - at);
        QUILLET_FUZZ_CHECK(line.find_first_of("\r\n") == std::string_view::npos);
        if (fold == std::string::npos)
            break;
        at = fold + 3;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view bytes = fuzz::bytes(data, size);
    checkBase64(bytes);
    checkHeaderRoundTrip(bytes, 'Q');
    checkHeaderRoundTrip(bytes, 'B');
    (void)DecodeQuotedPrintable(bytes, size % 2 == 1);
    for (const LocaleLanguage language : {LocaleLanguage::Other, LocaleLanguage::Japanese, LocaleLanguage::Korean})
        checkEncodedWords(bytes, EncodingParametersFor(language));
    const std::string jis = ConvertToIso2022Jp(bytes);
    for (const char c : jis)
        QUILLET_FUZZ_CHECK(static_cast<unsigned char>(c) < 0x80);
    // Text without escapes of its own ends in ASCII.
    const std::size_t escape = jis.rfind('\x1b');
    if (bytes.find('\x1b') == std::string_view::npos)
        QUILLET_FUZZ_CHECK(escape == std::string::npos || jis.compare(escape, 3, "\x1b(B") == 0);
    return 0;
}
