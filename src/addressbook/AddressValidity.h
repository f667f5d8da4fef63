// Whether a text is a deliverable mailbox address: the one rule shared by the CSV import, the
// command line's `recipient add`, the review of harvested addresses and the mailing's pre-flight
// check.
//
// The rule is the Mailbox of RFC 5321 (section 4.1.2), with no display name, no angle brackets
// and no surrounding blanks:
//   local part:  a dot-string (atoms of atext joined by single dots) or a quoted string (printable
//                ASCII, with backslash pairs for the quote and the backslash themselves);
//   domain:      labels of letters, digits and inner hyphens joined by dots, or an address literal
//                in brackets: [IPv4], [IPv6:...] or [tag:text];
//   sizes:       local part at most 64 octets, domain at most 255, a label at most 63, the whole
//                address at most 254 (the 256-octet path less its angle brackets).
// When the code page is UTF-8, domain labels may also hold well-formed UTF-8 characters beyond
// ASCII (internationalised domain names as typed); in the 8-bit code pages they may not, since
// their bytes could not be put on the wire as a domain.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace quillet {

// Octet limits of RFC 5321, section 4.5.3.1.
inline constexpr std::size_t kMaxLocalPartLength = 64;
inline constexpr std::size_t kMaxDomainLength = 255;
inline constexpr std::size_t kMaxDomainLabelLength = 63;
// The reverse-path and forward-path are at most 256 octets with their angle brackets.
inline constexpr std::size_t kMaxAddressLength = 254;

// Why an address is not valid; None when it is.
enum class AddressProblem {
    None,
    Empty,
    NoAtSign,
    BadLocalPart,
    LocalPartTooLong,
    BadDomain,
    DomainTooLong,
    TooLong,
};

// Whether non-ASCII domains are accepted as UTF-8 (code page UTF-8) or not (8-bit code pages).
enum class DomainCharset { Ascii, Utf8 };

// The charset a code page (its iconv name) allows: Utf8 exactly when it is UTF-8.
DomainCharset domainCharsetFor(std::string_view codePage);
// The charset of the program's code page.
DomainCharset programDomainCharset();

AddressProblem addressProblem(std::string_view address, DomainCharset charset);
inline AddressProblem addressProblem(std::string_view address)
{
    return addressProblem(address, programDomainCharset());
}
// Whether the address is valid in the way almost every address is: a dot-atom local part, the
// at sign and labels of ASCII letters, digits and hyphens, within the limits. One pass without
// calls, for checking many addresses; false for anything else, valid or not, which
// addressProblem() then decides.
bool isPlainAddress(std::string_view address);

inline bool isValidAddress(std::string_view address, DomainCharset charset)
{
    return isPlainAddress(address) || addressProblem(address, charset) == AddressProblem::None;
}
inline bool isValidAddress(std::string_view address)
{
    return addressProblem(address) == AddressProblem::None;
}

// The key under which two addresses are the same recipient (duplicates of the import, of
// `recipient add`): the address with its ASCII letters in lower case.
std::string addressKey(std::string_view address);

// The user's text for a problem, e.g. "the domain is not valid" (empty for None).
std::string_view describeAddressProblem(AddressProblem problem);

} // namespace quillet
