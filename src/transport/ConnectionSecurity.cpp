#include "transport/ConnectionSecurity.h"

#include <array>
#include <utility>

namespace quillet {

namespace {

constexpr std::array<std::pair<ConnectionSecurity, std::string_view>, 4> kNames = {{
    {ConnectionSecurity::Auto, "auto"},
    {ConnectionSecurity::StartTls, "starttls"},
    {ConnectionSecurity::Tls, "tls"},
    {ConnectionSecurity::None, "none"},
}};

bool SameCaseless(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const char x = a[i] >= 'A' && a[i] <= 'Z' ? static_cast<char>(a[i] - 'A' + 'a') : a[i];
        if (x != b[i])
            return false;
    }
    return true;
}

} // namespace

std::string_view SecurityName(ConnectionSecurity security)
{
    for (const auto& [value, name] : kNames)
        if (value == security)
            return name;
    return "auto";
}

std::optional<ConnectionSecurity> ParseSecurity(std::string_view text)
{
    for (const auto& [value, name] : kNames)
        if (SameCaseless(text, name))
            return value;
    return std::nullopt;
}

bool UsesImplicitTls(ConnectionSecurity security, std::uint16_t port)
{
    return security == ConnectionSecurity::Tls || (security == ConnectionSecurity::Auto && port == kImplicitTlsPort);
}

} // namespace quillet
