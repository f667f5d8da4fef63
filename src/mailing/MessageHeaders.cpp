#include "MessageHeaders.h"

#include "MacroSubstitution.h"
#include "MailingTexts.h"

#include "project/CodePage.h"

#include <algorithm>

namespace quillet {

namespace {

// The longest header name: a header line must still fit in 78 characters with ": " and a value.
constexpr std::size_t kMaxHeaderNameLength = 76;

// Headers every message already carries, or that the message structure depends on.
constexpr std::string_view kReservedHeaders[] = {"From",
                                                 "To",
                                                 "Cc",
                                                 "Bcc",
                                                 "Subject",
                                                 "Date",
                                                 "Message-ID",
                                                 "Sender",
                                                 "Reply-To",
                                                 "MIME-Version",
                                                 "X-Priority",
                                                 "X-Library",
                                                 "X-Mailer",
                                                 "Newsgroups",
                                                 "Organization",
                                                 "References",
                                                 "Disposition-Notification-To",
                                                 kListUnsubscribe,
                                                 kListUnsubscribePost};

char lower(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool sameName(std::string_view a, std::string_view b)
{
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) { return lower(x) == lower(y); });
}

std::string percentEncodeUnsafe(std::string_view text)
{
    return PercentEncodeUtf8(text,
                             [](unsigned char c) { return c > 32 && c < 127 && c != '<' && c != '>' && c != '"'; });
}

} // namespace

std::pair<std::string, std::string> ParseExtraHeader(std::string_view text)
{
    const std::string shown(text);
    if (text.find_first_of("\r\n") != std::string_view::npos)
        throw EMessageHeaderError(formatMessage(kHeaderLineBreak, {shown}));
    const std::size_t colon = text.find(':');
    if (colon == std::string_view::npos)
        throw EMessageHeaderError(formatMessage(kHeaderWithoutColon, {shown}));
    const std::string_view name = text.substr(0, colon);
    const bool nameOk = !name.empty() && name.size() <= kMaxHeaderNameLength &&
                        std::all_of(name.begin(), name.end(), [](char c) { return c > 32 && c < 127; });
    if (!nameOk)
        throw EMessageHeaderError(formatMessage(kHeaderBadName, {name}));
    const bool content = name.size() > 8 && sameName(name.substr(0, 8), "Content-");
    if (content || std::any_of(std::begin(kReservedHeaders), std::end(kReservedHeaders),
                               [&](std::string_view reserved) { return sameName(name, reserved); }))
        throw EMessageHeaderError(formatMessage(kHeaderReserved, {name}));
    std::string_view value = text.substr(colon + 1);
    while (!value.empty() && (value.front() == ' ' || value.front() == '\t'))
        value.remove_prefix(1);
    while (!value.empty() && (value.back() == ' ' || value.back() == '\t'))
        value.remove_suffix(1);
    return {std::string(name), std::string(value)};
}

void CheckUnsubscribeUrl(std::string_view url)
{
    const bool https = url.size() > 8 && sameName(url.substr(0, 8), "https://");
    const bool http = url.size() > 7 && sameName(url.substr(0, 7), "http://");
    if (!https && !http)
        throw EMessageHeaderError(formatMessage(kUnsubscribeUrlScheme, {url}));
}

std::string ListUnsubscribeValue(std::string_view mailto, std::string_view url)
{
    std::string value;
    if (!mailto.empty()) {
        const bool prefixed = mailto.size() >= 7 && sameName(mailto.substr(0, 7), "mailto:");
        value += "<" + std::string(prefixed ? "" : "mailto:") + percentEncodeUnsafe(mailto) + ">";
    }
    if (!url.empty())
        value += (value.empty() ? "<" : ", <") + percentEncodeUnsafe(url) + ">";
    return value;
}

} // namespace quillet
