#include "EncodedWords.h"

#include "Base64.h"
#include "Iso2022Jp.h"

namespace quillet {

namespace {

constexpr std::size_t kMaxEncodedWordLength = 75;

bool isWordSeparator(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

bool needsEncoding(char c, std::string_view specials)
{
    const auto u = static_cast<unsigned char>(c);
    return u < 32 || u >= 127 || specials.find(c) != std::string_view::npos;
}

bool mustEscapeInQ(char c, std::string_view specials)
{
    return needsEncoding(c, specials) || c == ' ' || c == '=' || c == '?' || c == '_';
}

// Writes one run of text as encoded words, opening a new word (after CR LF TAB) before a piece
// would make the current one longer than the limit.
class EncodedWordWriter {
public:
    EncodedWordWriter(std::string& out, const EncodingParameters& parameters)
        : out_(out), opening_("=?" + parameters.WordCharSet + "?" + parameters.WordEncoding + "?")
    {
    }

    void piece(std::string_view text)
    {
        if (open_ && length_ + text.size() + 2 > kMaxEncodedWordLength) {
            out_ += "?=\r\n\t";
            open_ = false;
        }
        if (!open_) {
            out_ += opening_;
            length_ = opening_.size();
            open_ = true;
        }
        out_ += text;
        length_ += text.size();
    }

    // The next piece starts a new encoded word.
    void breakWord()
    {
        if (open_)
            out_ += "?=\r\n\t";
        open_ = false;
    }

    void close()
    {
        if (open_)
            out_ += "?=";
        open_ = false;
    }

private:
    std::string& out_;
    std::string opening_;
    std::size_t length_ = 0;
    bool open_ = false;
};

// Q form of one character's bytes.
void appendQ(std::string_view character, std::string_view specials, std::string& out)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    for (const char c : character) {
        if (!mustEscapeInQ(c, specials)) {
            out += c;
        } else if (c == ' ') {
            out += '_';
        } else {
            const auto u = static_cast<unsigned char>(c);
            out += '=';
            out += kHex[u >> 4];
            out += kHex[u & 15];
        }
    }
}

std::size_t qLength(std::string_view run, std::string_view specials)
{
    std::size_t length = 0;
    for (const char c : run)
        length += mustEscapeInQ(c, specials) && c != ' ' ? 3 : 1;
    return length;
}

bool holdsC1Bytes(std::string_view run)
{
    for (const char c : run) {
        const auto u = static_cast<unsigned char>(c);
        if (u >= 0x80 && u <= 0x9F)
            return true;
    }
    return false;
}

void encodeRun(std::string_view run, std::string_view specials, const EncodingParameters& parameters, std::string& out)
{
    EncodingParameters word = parameters;
    if (word.WordCharSet == "ISO-8859-1" && holdsC1Bytes(run))
        word.WordCharSet = "windows-1252";
    if (word.CodePage == "UTF-8")
        word.WordEncoding = qLength(run, specials) <= (run.size() + 2) / 3 * 4 ? 'Q' : 'B';
    // Converted ISO-2022-JP text is cut between bytes as before; code-page text between characters.
    const bool wholeCharacters = parameters.TransferMode != TTransfer::iso2022jp;
    auto characterAt = [&](std::size_t i) {
        return wholeCharacters ? characterLength(run, i, word.CodePage.c_str()) : std::size_t(1);
    };
    EncodedWordWriter writer(out, word);
    if (word.WordEncoding == 'B') {
        if (!wholeCharacters) {
            for (std::size_t i = 0; i < run.size(); i += 3)
                writer.piece(TEncoderMIME::Encode(run.substr(i, 3)));
        } else {
            // As many whole characters per word as fit; each word's text is encoded on its own.
            const std::size_t room = kMaxEncodedWordLength - (word.WordCharSet.size() + 5) - 2;
            const std::size_t maxBytes = room / 4 * 3;
            std::size_t start = 0;
            while (start < run.size()) {
                std::size_t end = start;
                while (end < run.size()) {
                    const std::size_t next = end + characterAt(end);
                    if (next - start > maxBytes && end > start)
                        break;
                    end = next;
                }
                writer.breakWord();
                writer.piece(TEncoderMIME::Encode(run.substr(start, end - start)));
                start = end;
            }
        }
    } else {
        std::string piece;
        for (std::size_t i = 0; i < run.size();) {
            const std::size_t length = characterAt(i);
            piece.clear();
            appendQ(run.substr(i, length), specials, piece);
            writer.piece(piece);
            i += length;
        }
    }
    writer.close();
}

} // namespace

EncodingParameters EncodingParametersFor(LocaleLanguage language)
{
    switch (language) {
    case LocaleLanguage::ChineseSimplified: return {"GB2312", 'B', TTransfer::bit8, "GBK"};
    case LocaleLanguage::ChineseTraditional: return {"Big5", 'B', TTransfer::bit8, "BIG5"};
    case LocaleLanguage::Japanese: return {"ISO-2022-JP", 'B', TTransfer::iso2022jp, "CP932"};
    case LocaleLanguage::Korean: return {"EUC-KR", 'B', TTransfer::bit8, "CP949"};
    case LocaleLanguage::Other: break;
    }
    return {"ISO-8859-1", 'Q', TTransfer::bit8, "CP1252"};
}

EncodingParameters EncodingParametersForCodePage(std::string_view codePage)
{
    if (codePage == "UTF-8")
        return {"UTF-8", 'Q', TTransfer::bit8, "UTF-8"};
    for (const LocaleLanguage language : {LocaleLanguage::Japanese, LocaleLanguage::ChineseSimplified,
                                          LocaleLanguage::ChineseTraditional, LocaleLanguage::Korean})
        if (codePage == codePageNameFor(language))
            return EncodingParametersFor(language);
    return EncodingParametersFor(LocaleLanguage::Other);
}

EncodingParameters CurrentEncodingParameters()
{
    return EncodingParametersForCodePage(codePageName());
}

bool LooksLikeEncodedWord(std::string_view text)
{
    return text.find("=?") != std::string_view::npos;
}

std::string SingleLineValue(std::string_view text)
{
    std::string result(text);
    for (char& c : result)
        if (c == '\r' || c == '\n')
            c = ' ';
    return result;
}

std::string EncodeHeaderWords(std::string_view input, std::string_view specials, const EncodingParameters& parameters)
{
    std::string converted;
    if (parameters.TransferMode == TTransfer::iso2022jp) {
        converted = ConvertToIso2022Jp(input);
        input = converted;
    }
    const std::string_view text = input;

    std::string out;
    out.reserve(text.size() + 16);
    std::size_t pos = 0;
    // Start of the encoded run in progress (npos when none), and the end of its last word.
    std::size_t runStart = std::string_view::npos;
    std::size_t runEnd = 0;
    while (pos < text.size()) {
        std::size_t wordStart = pos;
        while (wordStart < text.size() && isWordSeparator(text[wordStart]))
            ++wordStart;
        std::size_t wordEnd = wordStart;
        bool encode = false;
        while (wordEnd < text.size() && !isWordSeparator(text[wordEnd])) {
            encode = encode || needsEncoding(text[wordEnd], specials);
            ++wordEnd;
        }
        // A plain word that looks like an encoded word would be decoded by the receiver.
        encode = encode || LooksLikeEncodedWord(text.substr(wordStart, wordEnd - wordStart));
        if (encode) {
            if (runStart == std::string_view::npos) {
                out.append(text.substr(pos, wordStart - pos));
                runStart = wordStart;
            }
            runEnd = wordEnd;
        } else {
            if (runStart != std::string_view::npos) {
                encodeRun(text.substr(runStart, runEnd - runStart), specials, parameters, out);
                runStart = std::string_view::npos;
            }
            out.append(text.substr(pos, wordEnd - pos));
        }
        pos = wordEnd;
    }
    if (runStart != std::string_view::npos)
        encodeRun(text.substr(runStart, runEnd - runStart), specials, parameters, out);
    return out;
}

} // namespace quillet
