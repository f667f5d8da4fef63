// The headers a mailing adds to each message beyond the message's own: the user's extra headers
// ("Name: value", macros allowed in the value) and List-Unsubscribe with its one-click companion
// (RFC 2369, RFC 8058).
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>

namespace quillet {

// A header the user gave that cannot be sent; what() is the user's message.
class EMessageHeaderError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Splits "Name: value" into name and value (blanks around the value dropped). Refused: no colon,
// a name that is not 1 to 76 printable ASCII characters other than ":", a CR or LF anywhere, and
// the headers the program writes itself (From, To, Subject, Date, Message-ID, Content-*, ...).
std::pair<std::string, std::string> ParseExtraHeader(std::string_view text);

// The List-Unsubscribe value for a mailto address (with or without "mailto:") and/or a URL,
// either of which may be empty: "<mailto:...>, <https://...>". Bytes outside printable ASCII
// (and spaces) in either are percent-encoded. Empty when both are empty.
std::string ListUnsubscribeValue(std::string_view mailto, std::string_view url);
// Refuses a URL whose scheme is not http or https (after macros it is checked again).
void CheckUnsubscribeUrl(std::string_view url);

inline constexpr const char* kListUnsubscribe = "List-Unsubscribe";
inline constexpr const char* kListUnsubscribePost = "List-Unsubscribe-Post";
inline constexpr const char* kOneClickValue = "List-Unsubscribe=One-Click";

} // namespace quillet
