// How the project's SMTP accounts and the default mail server take part in sending: port texts,
// when to authenticate, and the account index of the rotating route.
//
// Account index: -1 is the default mail server, 0..n-1 an account row. After every message the
// index advances: when there are accounts, add 1, pass over every account whose enabled text is
// exactly "False", and return to -1 after the last row. With accounts A (enabled), B (disabled)
// and C (enabled) five messages go out through the default server, A, C, the default server, A.
#pragma once

#include "project/ProjectRecords.h"

#include <cstdint>
#include <string_view>
#include <vector>

namespace quillet {

inline constexpr int kDefaultServerIndex = -1;

// The port a text names, or the fallback when the text is not a decimal port number (1..65535,
// surrounding blanks allowed).
std::uint16_t PortFromText(std::string_view text, std::uint16_t fallback);

// LOGIN authentication is used only when both the user name and the password are non-empty.
inline bool UsesLogin(std::string_view user, std::string_view password)
{
    return !user.empty() && !password.empty();
}

// The account index that follows the given one.
int NextAccountIndex(int index, const std::vector<SmtpAccount>& accounts);

} // namespace quillet
