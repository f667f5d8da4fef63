// The mailbox rule of RFC 5321 as a small recursive-descent check over the address bytes: the
// local part first (quoted or dot-string), then the at sign, then the domain (labels or an
// address literal), then the size limits.
#include "AddressValidity.h"

#include "AddressBookTexts.h"
#include "project/CodePage.h"

#include <arpa/inet.h>
#include <bit>
#include <cctype>
#include <cstdint>
#include <cstring>
#include <string>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace quillet {

namespace {

constexpr bool isAlpha(unsigned char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
constexpr bool isDigit(unsigned char c)
{
    return c >= '0' && c <= '9';
}
constexpr bool isLetDig(unsigned char c)
{
    return isAlpha(c) || isDigit(c);
}

// atext of RFC 5322: letters, digits and !#$%&'*+-/=?^_`{|}~
struct AtextBytes {
    bool atext[256] = {};
    constexpr AtextBytes()
    {
        for (int c = 0; c < 256; ++c)
            atext[c] = isLetDig(static_cast<unsigned char>(c));
        for (const char* p = "!#$%&'*+-/=?^_`{|}~"; *p != 0; ++p)
            atext[static_cast<unsigned char>(*p)] = true;
    }
};
constexpr AtextBytes kAtextBytes;

bool isAtext(unsigned char c)
{
    return kAtextBytes.atext[c];
}

// Local part: the length of a dot-string or quoted string at the start of the text, or 0 when
// there is none.
std::size_t localPartLength(std::string_view text)
{
    if (!text.empty() && text[0] == '"') {
        for (std::size_t i = 1; i < text.size(); ++i) {
            const auto c = static_cast<unsigned char>(text[i]);
            if (c == '"')
                return i + 1;
            if (c == '\\') {
                // quoted-pairSMTP: a backslash and one printable ASCII character
                if (i + 1 >= text.size() || text[i + 1] < 32 || text[i + 1] > 126)
                    return 0;
                ++i;
            } else if (c < 32 || c > 126)
                return 0;
        }
        return 0; // no closing quote
    }
    std::size_t i = 0;
    for (;;) {
        const std::size_t atomStart = i;
        while (i < text.size() && isAtext(static_cast<unsigned char>(text[i])))
            ++i;
        if (i == atomStart)
            return 0; // empty atom: leading, trailing or doubled dot
        if (i < text.size() && text[i] == '.') {
            ++i;
            continue;
        }
        return i;
    }
}

// A domain label: let-dig at both ends, hyphens between; with Utf8 also UTF-8 characters.
bool isLabel(std::string_view label, DomainCharset charset)
{
    if (label.empty())
        return false;
    bool ascii = true;
    for (std::size_t i = 0; i < label.size();) {
        const auto c = static_cast<unsigned char>(label[i]);
        if (c >= 0x80) {
            const std::size_t length = charset == DomainCharset::Utf8 ? utf8SequenceLength(label.substr(i)) : 0;
            if (length == 0)
                return false;
            ascii = false;
            i += length;
            continue;
        }
        const bool end = i == 0 || i + 1 == label.size();
        if (!isLetDig(c) && !(c == '-' && !end))
            return false;
        ++i;
    }
    return !ascii || label.size() <= kMaxDomainLabelLength;
}

bool isIpv4(std::string_view text)
{
    int parts = 0;
    std::size_t i = 0;
    for (;;) {
        std::size_t digits = 0;
        int value = 0;
        while (i < text.size() && isDigit(static_cast<unsigned char>(text[i])) && digits < 4) {
            value = value * 10 + (text[i] - '0');
            ++i;
            ++digits;
        }
        if (digits == 0 || digits > 3 || value > 255)
            return false;
        if (++parts == 4)
            return i == text.size();
        if (i >= text.size() || text[i] != '.')
            return false;
        ++i;
    }
}

bool equalsIgnoringCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

// The inside of an address literal: IPv4, "IPv6:" and an IPv6 address, or a tag, ":" and dcontent.
bool isAddressLiteral(std::string_view text)
{
    if (isIpv4(text))
        return true;
    const std::size_t colon = text.find(':');
    if (colon == std::string_view::npos)
        return false;
    const std::string_view tag = text.substr(0, colon);
    const std::string_view content = text.substr(colon + 1);
    if (equalsIgnoringCase(tag, "IPv6")) {
        in6_addr address;
        return content.find_first_not_of("0123456789abcdefABCDEF:.") == std::string_view::npos &&
               inet_pton(AF_INET6, std::string(content).c_str(), &address) == 1;
    }
    // Standardized-tag = Ldh-str; dcontent = printable ASCII but "[", "\" and "]"
    if (!isLabel(tag, DomainCharset::Ascii) || content.empty())
        return false;
    for (unsigned char c : content)
        if (c < 33 || c > 126 || c == '[' || c == '\\' || c == ']')
            return false;
    return true;
}

bool isDomain(std::string_view domain, DomainCharset charset)
{
    if (domain.size() >= 2 && domain.front() == '[' && domain.back() == ']')
        return isAddressLiteral(domain.substr(1, domain.size() - 2));
    // Labels are short: a loop finds each dot sooner than a call of memchr.
    for (std::size_t start = 0;;) {
        std::size_t dot = start;
        while (dot < domain.size() && domain[dot] != '.')
            ++dot;
        if (!isLabel(domain.substr(start, dot - start), charset))
            return false;
        if (dot == domain.size())
            return true;
        start = dot + 1;
    }
}

} // namespace

DomainCharset domainCharsetFor(std::string_view codePage)
{
    return equalsIgnoringCase(codePage, "UTF-8") || equalsIgnoringCase(codePage, "UTF8") ? DomainCharset::Utf8
                                                                                         : DomainCharset::Ascii;
}

DomainCharset programDomainCharset()
{
    return domainCharsetFor(codePageName());
}

AddressProblem addressProblem(std::string_view address, DomainCharset charset)
{
    if (address.empty())
        return AddressProblem::Empty;
    const std::size_t local = localPartLength(address);
    if (local == 0 || (local < address.size() && address[local] != '@'))
        return address.find('@') == std::string_view::npos ? AddressProblem::NoAtSign : AddressProblem::BadLocalPart;
    if (local == address.size())
        return AddressProblem::NoAtSign;
    if (local > kMaxLocalPartLength)
        return AddressProblem::LocalPartTooLong;
    const std::string_view domain = address.substr(local + 1);
    if (!isDomain(domain, charset))
        return AddressProblem::BadDomain;
    if (domain.size() > kMaxDomainLength)
        return AddressProblem::DomainTooLong;
    if (address.size() > kMaxAddressLength)
        return AddressProblem::TooLong;
    return AddressProblem::None;
}

namespace {

// isPlainAddress byte by byte.
bool isPlainAddressSlowly(std::string_view address)
{
    const std::size_t size = address.size();
    if (size > kMaxAddressLength)
        return false;
    std::size_t i = 0;
    bool atomEnded = false; // the last byte ends an atom (a dot may follow)
    for (; i < size; ++i) {
        const auto c = static_cast<unsigned char>(address[i]);
        if (isAtext(c))
            atomEnded = true;
        else if (c == '.' && atomEnded)
            atomEnded = false;
        else
            break;
    }
    if (i == size || address[i] != '@' || !atomEnded || i > kMaxLocalPartLength || size - i - 1 > kMaxDomainLength)
        return false;
    std::size_t labelStart = ++i;
    for (;; ++i) {
        if (i == size || address[i] == '.') {
            const std::size_t length = i - labelStart;
            if (length == 0 || length > kMaxDomainLabelLength || address[labelStart] == '-' || address[i - 1] == '-')
                return false;
            if (i == size)
                return true;
            labelStart = i + 1;
        } else if (!isLetDig(static_cast<unsigned char>(address[i])) && address[i] != '-') {
            return false;
        }
    }
}

#if defined(__SSE2__)
// Addresses up to this size are checked by isShortPlainAddress.
constexpr std::size_t kShortAddressBytes = 64;

// isPlainAddress for an address of at most kShortAddressBytes (not empty): the bytes are classed
// sixteen at a time into masks of one bit per byte (dots, hyphens, at signs, letters and digits, bytes of a
// dot-string), which a few operations on whole masks then check.
bool isShortPlainAddress(std::string_view address)
{
    const std::size_t size = address.size();
    const auto set = [](char c) { return _mm_set1_epi8(c); };
    // Bytes within [low, high], all below 0x80: one signed comparison after a shift of the range
    // to the bottom of the signed bytes.
    const auto within = [&](__m128i v, char low, char high) {
        return _mm_cmpgt_epi8(set(static_cast<char>(high - low - 128 + 1)),
                              _mm_add_epi8(v, set(static_cast<char>(-128 - low))));
    };
    std::uint64_t dots = 0, hyphens = 0, ats = 0, letDigs = 0, dotString = 0;
    // Adds the classes of the sixteen bytes from `part` to the masks.
    const auto classify = [&](__m128i v, std::size_t part) {
        const auto bits = [part](__m128i mask) {
            return std::uint64_t(static_cast<std::uint16_t>(_mm_movemask_epi8(mask))) << part;
        };
        const __m128i at = _mm_cmpeq_epi8(v, set('@'));
        const __m128i letDig = _mm_or_si128(within(_mm_or_si128(v, set(0x20)), 'a', 'z'), within(v, '0', '9'));
        // atext and the dot: printable ASCII but the specials of RFC 5322 ("(),:;<>@[\] and the quote).
        const __m128i specials =
            _mm_or_si128(_mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, set('"')), within(v, '(', ')')),
                                      _mm_or_si128(_mm_cmpeq_epi8(v, set(',')), within(v, ':', '<'))),
                         _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, set('>')), at), within(v, '[', ']')));
        dots |= bits(_mm_cmpeq_epi8(v, set('.')));
        hyphens |= bits(_mm_cmpeq_epi8(v, set('-')));
        ats |= bits(at);
        letDigs |= bits(letDig);
        dotString |= bits(_mm_andnot_si128(specials, within(v, '!', '~')));
    };
    const auto load = [&](std::size_t part) {
        return _mm_loadu_si128(reinterpret_cast<const __m128i*>(address.data() + part));
    };
    if (size < 16) {
        alignas(16) char bytes[16] = {}; // NUL bytes are in no class
        std::memcpy(bytes, address.data(), size);
        classify(_mm_load_si128(reinterpret_cast<const __m128i*>(bytes)), 0);
    } else {
        // Whole blocks of sixteen, then the last sixteen bytes, which may repeat some of the
        // block before them: their classes are the same again.
        std::size_t part = 0;
        for (; part + 16 < size; part += 16)
            classify(load(part), part);
        classify(load(size - 16), size - 16);
    }
    if (ats == 0)
        return false;
    // The local part: the bytes before the first at sign; the domain: the bytes after it.
    const auto at = static_cast<unsigned>(std::countr_zero(ats));
    const std::uint64_t local = (std::uint64_t(1) << at) - 1;
    const std::uint64_t all = size == kShortAddressBytes ? ~std::uint64_t(0) : (std::uint64_t(1) << size) - 1;
    const std::uint64_t domain = all & ~((std::uint64_t(2) << at) - 1);
    const std::uint64_t last = std::uint64_t(1) << (size - 1);
    // No dot after another, in either part.
    const bool singleDots = (dots & dots >> 1) == 0;
    // Local part: atoms joined by dots, no dot at either end.
    const bool localPlain = at > 0 && (dotString & local) == local && ((dots & 1) | (dots >> (at - 1) & 1)) == 0;
    // Domain: labels of letters, digits and inner hyphens joined by dots: a letter or digit at
    // either end, no hyphen before or after a dot. (A domain this short has no label too long.)
    const bool domainPlain = domain != 0 && ((letDigs | hyphens | dots) & domain) == domain &&
                             (letDigs >> (at + 1) & 1) != 0 && (letDigs & last) != 0 &&
                             (((dots & hyphens >> 1) | (hyphens & dots >> 1)) & domain) == 0;
    return singleDots && localPlain && domainPlain;
}
#endif

} // namespace

bool isPlainAddress(std::string_view address)
{
#if defined(__SSE2__)
    if (address.size() <= kShortAddressBytes)
        return !address.empty() && isShortPlainAddress(address);
#endif
    return isPlainAddressSlowly(address);
}

std::string addressKey(std::string_view address)
{
    std::string key(address);
    for (char& c : key)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return key;
}

std::string_view describeAddressProblem(AddressProblem problem)
{
    switch (problem) {
    case AddressProblem::None: return {};
    case AddressProblem::Empty: return texts::kAddressEmpty;
    case AddressProblem::NoAtSign: return texts::kAddressWithoutAtSign;
    case AddressProblem::BadLocalPart: return texts::kAddressBadLocalPart;
    case AddressProblem::LocalPartTooLong: return texts::kAddressLocalPartTooLong;
    case AddressProblem::BadDomain: return texts::kAddressBadDomain;
    case AddressProblem::DomainTooLong: return texts::kAddressDomainTooLong;
    case AddressProblem::TooLong: return texts::kAddressTooLong;
    }
    return {};
}

} // namespace quillet
