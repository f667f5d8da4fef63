#include "CsvReader.h"

#include "AddressBookTexts.h"
#include "project/CodePage.h"

#include <bit>
#include <cstdint>
#include <cstring>
#include <iconv.h>
#include <thread>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace quillet {

namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
constexpr std::string_view kUtf16LeBom = "\xFF\xFE";
constexpr std::string_view kUtf16BeBom = "\xFE\xFF";

// How far into the text the UTF-16 guess looks for NUL bytes.
constexpr std::size_t kUtf16SniffBytes = 4096;

bool isWellFormedUtf8(std::string_view text)
{
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const auto* end = p + text.size();
    while (p < end) {
        // Plain ASCII goes 64 bytes at a time where the processor has SSE2, else eight.
#if defined(__SSE2__)
        while (end - p >= 64) {
            const auto* block = reinterpret_cast<const __m128i*>(p);
            const __m128i any = _mm_or_si128(_mm_or_si128(_mm_loadu_si128(block), _mm_loadu_si128(block + 1)),
                                             _mm_or_si128(_mm_loadu_si128(block + 2), _mm_loadu_si128(block + 3)));
            if (_mm_movemask_epi8(any) != 0)
                break;
            p += 64;
        }
        if (p == end)
            break;
#endif
        if (end - p >= 8) {
            std::uint64_t block;
            std::memcpy(&block, p, 8);
            if ((block & 0x8080808080808080ULL) == 0) {
                p += 8;
                continue;
            }
        }
        if (*p < 0x80) {
            ++p;
            continue;
        }
        const std::size_t length =
            utf8SequenceLength(std::string_view(reinterpret_cast<const char*>(p), static_cast<std::size_t>(end - p)));
        if (length == 0)
            return false;
        p += length;
    }
    return true;
}

// Texts from which the UTF-8 check runs in two halves at once: below it a thread costs more than
// it saves.
constexpr std::size_t kParallelCheckBytes = std::size_t(1) << 20;

// isWellFormedUtf8, a large text in two halves at once. The second half starts at a byte that
// starts a character, so that each character of a well-formed text lies within one half; a
// split among continuation bytes (more than three in a row) lies in an ill-formed text anyway.
bool isWellFormedUtf8Text(std::string_view text)
{
    if (text.size() < kParallelCheckBytes)
        return isWellFormedUtf8(text);
    std::size_t split = text.size() / 2;
    for (int back = 0; back < 3 && (static_cast<unsigned char>(text[split]) & 0xC0) == 0x80; ++back)
        --split;
    bool secondWellFormed = false;
    std::jthread second([&] { secondWellFormed = isWellFormedUtf8(text.substr(split)); });
    const bool firstWellFormed = isWellFormedUtf8(text.substr(0, split));
    second.join();
    return firstWellFormed && secondWellFormed;
}

// "UTF-16LE" or "UTF-16BE" when the start of the text has NUL bytes in every other place, else null.
const char* guessUtf16(std::string_view text)
{
    const std::size_t n = std::min(text.size(), kUtf16SniffBytes) & ~std::size_t(1);
    if (n == 0)
        return nullptr;
    std::size_t evenZeros = 0, oddZeros = 0;
    for (std::size_t i = 0; i < n; i += 2) {
        evenZeros += text[i] == '\0';
        oddZeros += text[i + 1] == '\0';
    }
    if (oddZeros * 2 > n / 2 && evenZeros == 0)
        return "UTF-16LE";
    if (evenZeros * 2 > n / 2 && oddZeros == 0)
        return "UTF-16BE";
    return nullptr;
}

bool startsWith(std::string_view text, std::string_view prefix)
{
    return text.substr(0, prefix.size()) == prefix;
}

std::string convertToUtf8(std::string_view bytes, const char* encoding)
{
    const iconv_t probe = iconv_open("UTF-8", encoding);
    if (probe == reinterpret_cast<iconv_t>(-1))
        throw CsvImportError(texts::unknownEncoding(encoding));
    iconv_close(probe);
    return codePageToUtf8(bytes, encoding);
}

} // namespace

std::optional<std::size_t> decodeCsvBytesInPlace(std::string_view bytes, std::string_view encoding,
                                                 const char* codePage, CsvText& result)
{
    if (!encoding.empty()) {
        result.encoding = encoding;
        result.utf8 = convertToUtf8(bytes, result.encoding.c_str());
        if (startsWith(result.utf8, kUtf8Bom))
            result.utf8.erase(0, kUtf8Bom.size());
        return std::nullopt;
    }
    if (startsWith(bytes, kUtf8Bom)) {
        result.encoding = "UTF-8";
        if (isWellFormedUtf8Text(bytes.substr(kUtf8Bom.size())))
            return kUtf8Bom.size();
        result.utf8 = codePageToUtf8(bytes.substr(kUtf8Bom.size()), "UTF-8"); // broken sequences become U+FFFD
        return std::nullopt;
    }
    const char* utf16 = startsWith(bytes, kUtf16LeBom)   ? "UTF-16LE"
                        : startsWith(bytes, kUtf16BeBom) ? "UTF-16BE"
                                                         : nullptr;
    if (utf16) {
        result.encoding = utf16;
        result.utf8 = codePageToUtf8(bytes.substr(2), utf16);
        return std::nullopt;
    }
    if (const char* guessed = guessUtf16(bytes)) {
        result.encoding = guessed;
        result.utf8 = codePageToUtf8(bytes, guessed);
        return std::nullopt;
    }
    if (isWellFormedUtf8Text(bytes)) {
        result.encoding = "UTF-8";
        return 0;
    }
    result.encoding = codePage;
    result.utf8 = codePageToUtf8(bytes, codePage);
    return std::nullopt;
}

CsvText decodeCsvBytes(std::string bytes, std::string_view encoding, const char* codePage)
{
    CsvText result;
    if (const std::optional<std::size_t> start = decodeCsvBytesInPlace(bytes, encoding, codePage, result)) {
        bytes.erase(0, *start);
        result.utf8 = std::move(bytes);
    }
    return result;
}

char detectCsvSeparator(std::string_view text)
{
    std::size_t commas = 0, semicolons = 0, tabs = 0;
    bool quoted = false;
    for (const char c : text) {
        if (c == '"')
            quoted = !quoted;
        else if (quoted)
            continue;
        else if (c == '\n' || c == '\r')
            break;
        else if (c == ',')
            ++commas;
        else if (c == ';')
            ++semicolons;
        else if (c == '\t')
            ++tabs;
    }
    if (semicolons > commas && semicolons >= tabs)
        return ';';
    if (tabs > commas && tabs > semicolons)
        return '\t';
    return ',';
}

char parseCsvSeparator(std::string_view text)
{
    if (text == "tab" || text == "TAB" || text == "\\t")
        return '\t';
    if (text.size() == 1 && text[0] != '"' && text[0] != '\r' && text[0] != '\n')
        return text[0];
    return 0;
}

CsvReader::CsvReader(std::string_view text, char separator, bool plainRecords)
    : text_(text), separator_(separator), plainRecords_(plainRecords), blockStart_(text.size() + 1)
{
    for (const char blank : {' ', '\t'})
        if (blank != separator)
            edges_[static_cast<unsigned char>(blank)] = kNoStart | kNoEnd;
    edges_[static_cast<unsigned char>('"')] |= kNoStart;
}

bool CsvReader::next()
{
    count_ = 0;
    unterminated_ = false;
    fieldsInText_ = true;
    if (pos_ >= text_.size())
        return false;
    line_ = nextLine_;
    if (plainRecords_ && readPlainRecord())
        return true;
    const char* data = text_.data();
    const std::size_t size = text_.size();
    const std::size_t start = pos_;
    for (;;) {
        const std::size_t index = count_++;
        if (index == fields_.size())
            fields_.emplace_back();
        while (pos_ < size && (data[pos_] == ' ' || data[pos_] == '\t') && data[pos_] != separator_)
            ++pos_;
        if (pos_ < size && data[pos_] == '"')
            readQuoted(index);
        else
            fields_[index] = readUnquoted();
        if (pos_ < size) {
            const char c = data[pos_++];
            if (c == separator_)
                continue;
            // A line break ends the record: CR LF, LF or CR.
            if (c == '\r' && pos_ < size && data[pos_] == '\n')
                ++pos_;
            ++nextLine_;
        }
        ascii_ = isPlainAscii(text_.substr(start, pos_ - start));
        return true;
    }
}

// Reads the record at pos_ when it is plain, as most are: no field starts with a quote, none
// starts or ends with a blank, so that every field runs from one separator to the next and the
// record ends at the first line break. Returns false, having read nothing, for any other record.
bool CsvReader::readPlainRecord()
{
    const char* data = text_.data();
    const std::size_t size = text_.size();
    const char separator = separator_;
    const auto edge = [this](char c) { return edges_[static_cast<unsigned char>(c)]; };
    std::size_t i = pos_;
    for (std::size_t index = 0;; ++index) {
        const std::size_t start = i;
        if (i < size && (edge(data[i]) & kNoStart) != 0)
            return false;
        i = nextStop(i);
        if (i > start && (edge(data[i - 1]) & kNoEnd) != 0)
            return false;
        if (index == fields_.size())
            fields_.emplace_back();
        fields_[index] = std::string_view(data + start, i - start);
        if (i < size) {
            const char c = data[i++];
            if (c == separator)
                continue;
            if (c == '\r' && i < size && data[i] == '\n')
                ++i;
            ++nextLine_;
        }
        ascii_ = (pos_ >= asciiFrom_ && i <= asciiTo_) || isPlainAscii(text_.substr(pos_, i - pos_));
        count_ = index + 1;
        pos_ = i;
        return true;
    }
}

// The stops of the block of text from `from`, one bit per byte.
void CsvReader::loadBlock(std::size_t from)
{
    const std::size_t n = std::min(kBlockBytes, text_.size() - from);
    const char* bytes = text_.data() + from;
    char tail[kBlockBytes];
    if (n < kBlockBytes) { // the text's last bytes, in a block of their own (the rest is never read)
        std::memcpy(tail, bytes, n);
        std::memset(tail + n, 0, kBlockBytes - n);
        bytes = tail;
    }
    std::uint64_t stops = 0;
    bool ascii = true;
#if defined(__SSE2__)
    const __m128i separators = _mm_set1_epi8(separator_), lineFeeds = _mm_set1_epi8('\n'),
                  returns = _mm_set1_epi8('\r');
    __m128i any = _mm_setzero_si128();
#pragma GCC unroll 4
    for (std::size_t part = 0; part < kBlockBytes; part += 16) {
        const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + part));
        const auto found = static_cast<std::uint32_t>(_mm_movemask_epi8(
            _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(block, separators), _mm_cmpeq_epi8(block, lineFeeds)),
                         _mm_cmpeq_epi8(block, returns))));
        stops |= std::uint64_t(found) << part;
        any = _mm_or_si128(any, block);
    }
    ascii = _mm_movemask_epi8(any) == 0;
#else
    for (std::size_t i = 0; i < kBlockBytes; ++i) {
        stops |= std::uint64_t(bytes[i] == separator_ || bytes[i] == '\n' || bytes[i] == '\r') << i;
        ascii = ascii && static_cast<unsigned char>(bytes[i]) < 0x80;
    }
#endif
    if (n < kBlockBytes)
        stops &= (std::uint64_t(1) << n) - 1;
    blockStart_ = from;
    blockStops_ = stops;
    if (ascii) {
        if (from < asciiFrom_ || from > asciiTo_)
            asciiFrom_ = from;
        asciiTo_ = std::max(asciiTo_, from + n);
    }
}

// The first separator, CR or LF at or after `from` (the text's size if none), from the block
// of stops, which moves on when it has none left there.
std::size_t CsvReader::nextStop(std::size_t from)
{
    const std::size_t size = text_.size();
    for (;;) {
        if (from >= size)
            return size;
        const std::size_t offset = from - blockStart_; // huge when `from` lies before the block
        if (offset < kBlockBytes) {
            if (const std::uint64_t stops = blockStops_ >> offset; stops != 0)
                return from + static_cast<std::size_t>(std::countr_zero(stops));
            from = blockStart_ + kBlockBytes;
            continue;
        }
        loadBlock(from);
    }
}

namespace {

// Lines inside a quoted field's text: LF, CR LF or CR.
std::size_t linesIn(std::string_view part)
{
    std::size_t lines = 0;
    for (std::size_t i = 0; i < part.size(); ++i)
        lines += part[i] == '\n' || (part[i] == '\r' && (i + 1 == part.size() || part[i + 1] != '\n'));
    return lines;
}

} // namespace

void CsvReader::readQuoted(std::size_t index)
{
    // Most quoted fields are one run of text between two quotes followed by the separator or
    // the end of the line: they are views into the text.
    const std::size_t start = pos_ + 1;
    const std::size_t quote = text_.find('"', start);
    if (quote != std::string_view::npos && (quote + 1 == text_.size() || text_[quote + 1] != '"')) {
        std::size_t end = quote + 1;
        while (end < text_.size() && (text_[end] == ' ' || text_[end] == '\t') && text_[end] != separator_)
            ++end;
        if (end == text_.size() || text_[end] == separator_ || text_[end] == '\r' || text_[end] == '\n') {
            fields_[index] = text_.substr(start, quote - start);
            nextLine_ += linesIn(fields_[index]);
            pos_ = end;
            return;
        }
    }
    readQuotedSlowly(index);
}

void CsvReader::readQuotedSlowly(std::size_t index)
{
    while (scratch_.size() <= index)
        scratch_.emplace_back();
    std::string& field = scratch_[index];
    fieldsInText_ = false;
    field.clear();
    ++pos_; // the opening quote
    for (;;) {
        const std::size_t quote = text_.find('"', pos_);
        if (quote == std::string_view::npos) {
            const std::string_view rest = text_.substr(pos_);
            for (const char c : rest)
                nextLine_ += c == '\n';
            field.append(rest);
            pos_ = text_.size();
            unterminated_ = true;
            fields_[index] = field;
            return;
        }
        const std::string_view part = text_.substr(pos_, quote - pos_);
        nextLine_ += linesIn(part);
        field.append(part);
        pos_ = quote + 1;
        if (pos_ < text_.size() && text_[pos_] == '"') {
            field += '"';
            ++pos_;
            continue;
        }
        break;
    }
    // After the closing quote: blanks are dropped, other text up to the separator is kept.
    std::size_t end = pos_;
    while (end < text_.size() && (text_[end] == ' ' || text_[end] == '\t') && text_[end] != separator_)
        ++end;
    if (end < text_.size() && text_[end] != separator_ && text_[end] != '\r' && text_[end] != '\n')
        field.append(readUnquoted());
    else
        pos_ = end;
    fields_[index] = field;
}

// The position of the first separator, CR or LF at or after `from` (the text's size if none):
// eight bytes at a time where the machine reads words little-endian.
std::size_t CsvReader::stopOfUnquoted(std::size_t from) const
{
    const char* data = text_.data();
    const std::size_t size = text_.size();
    std::size_t i = from;
    if constexpr (std::endian::native == std::endian::little) {
        constexpr std::uint64_t ones = 0x0101010101010101ULL, highs = 0x8080808080808080ULL;
        const std::uint64_t separators = ones * static_cast<unsigned char>(separator_);
        // The lowest flagged byte of each term is exact, so the lowest of all of them is too.
        const auto zeroBytes = [](std::uint64_t v) { return (v - ones) & ~v & highs; };
        for (; i + 8 <= size; i += 8) {
            std::uint64_t word;
            std::memcpy(&word, data + i, 8);
            const std::uint64_t stops =
                zeroBytes(word ^ separators) | zeroBytes(word ^ (ones * '\n')) | zeroBytes(word ^ (ones * '\r'));
            if (stops != 0)
                return i + static_cast<std::size_t>(std::countr_zero(stops)) / 8;
        }
    }
    while (i < size && data[i] != separator_ && data[i] != '\n' && data[i] != '\r')
        ++i;
    return i;
}

std::string_view CsvReader::readUnquoted()
{
    const std::size_t start = pos_;
    const char* data = text_.data();
    const std::size_t stop = stopOfUnquoted(start);
    std::size_t end = stop;
    while (end > start && (data[end - 1] == ' ' || data[end - 1] == '\t') && data[end - 1] != separator_)
        --end;
    pos_ = stop;
    return text_.substr(start, end - start);
}

} // namespace quillet
