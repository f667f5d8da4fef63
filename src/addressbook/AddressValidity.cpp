// The mailbox rule of RFC 5321 as a small recursive-descent check over the address bytes: the
// local part first (quoted or dot-string), then the at sign, then the domain (labels or an
// address literal), then the size limits.
#include "AddressValidity.h"

#include "AddressBookTexts.h"
#include "project/CodePage.h"

#include <arpa/inet.h>
#include <cctype>
#include <string>

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

bool isPlainAddress(std::string_view address)
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
