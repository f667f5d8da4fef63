// The texts the address book shows to its users: messages, captions and confirmations.
#pragma once

#include <string>
#include <string_view>

namespace quillet::texts {

inline constexpr std::string_view kErrorCaption = "Error";
inline constexpr std::string_view kWarningCaption = "Warning";
inline constexpr std::string_view kInformationCaption = "Information";

inline constexpr std::string_view kHaveNotSelectedGroup = "Have not selected group";
inline constexpr std::string_view kHaveNotSelectedRecipient = "Have not selected recipient";
inline constexpr std::string_view kDeleteAllSelectedRecipients =
    "Are you sure that you want delete all selected recipients?";
inline constexpr std::string_view kFileIsNotExists = "File is not exists";
inline constexpr std::string_view kNewGroupDefaultName = "New group";

// Why an e-mail address is not valid.
inline constexpr std::string_view kAddressEmpty = "the address is empty";
inline constexpr std::string_view kAddressWithoutAtSign = "the address has no @";
inline constexpr std::string_view kAddressBadLocalPart = "the part before the @ is not valid";
inline constexpr std::string_view kAddressLocalPartTooLong = "the part before the @ is longer than 64 bytes";
inline constexpr std::string_view kAddressBadDomain = "the domain is not valid";
inline constexpr std::string_view kAddressDomainTooLong = "the domain is longer than 255 bytes";
inline constexpr std::string_view kAddressTooLong = "the address is longer than 254 bytes";

inline std::string quoted(std::string_view text)
{
    std::string result;
    result.reserve(text.size() + 2);
    result += '"';
    result += text;
    result += '"';
    return result;
}
inline std::string duplicateGroupName(std::string_view name)
{
    return "Group with " + quoted(name) + " name already exist.";
}
inline std::string cannotRenameGroup(std::string_view name)
{
    return "I can't rename. Group with " + quoted(name) + " name already exist.";
}
inline std::string confirmDeleteGroup(std::string_view name)
{
    return "Are you sure that you want delete " + quoted(name) + " group?";
}
inline std::string confirmDeleteRecipient(std::string_view email)
{
    return "Are you sure that you want delete " + quoted(email) + " recipient?";
}
inline std::string searchStringNotFound(std::string_view text)
{
    return "Search string " + quoted(text) + " not found";
}
inline std::string groupDoesNotExist(std::string_view name)
{
    return "Group " + quoted(name) + " does not exist";
}

// "Invalid e-mail address "x": the domain is not valid"
inline std::string invalidAddress(std::string_view address, std::string_view reason)
{
    return "Invalid e-mail address " + quoted(address) + ": " + std::string(reason);
}

} // namespace quillet::texts
