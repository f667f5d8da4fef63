#include "SmtpAccountUse.h"

namespace quillet {

std::uint16_t PortFromText(std::string_view text, std::uint16_t fallback)
{
    auto blank = [](char c) { return c == ' ' || c == '\t'; };
    while (!text.empty() && blank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && blank(text.back()))
        text.remove_suffix(1);
    if (!text.empty() && text.front() == '+')
        text.remove_prefix(1);
    if (text.empty() || text.size() > 5)
        return fallback;
    unsigned value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return fallback;
        value = value * 10 + unsigned(c - '0');
    }
    if (value == 0 || value > 65535)
        return fallback;
    return static_cast<std::uint16_t>(value);
}

int NextAccountIndex(int index, const std::vector<SmtpAccount>& accounts)
{
    const int count = static_cast<int>(accounts.size());
    if (count > 0)
        ++index;
    while (index >= 0 && index < count && accounts[static_cast<std::size_t>(index)].enabled == kFalse)
        ++index;
    if (index >= count)
        index = kDefaultServerIndex;
    return index;
}

} // namespace quillet
