// Every text the built-in mail server sends or raises, in one place.
#pragma once

#include <string_view>

namespace quillet {

inline constexpr std::string_view TerminateThreadTimeoutText = "Terminate Thread Timeout";

namespace SMTPServerTexts {

inline constexpr std::string_view Greeting = "Welcome to the Orv Quillet SMTP Server";
inline constexpr std::string_view ReplyUnknownCommand = "Syntax Error";

inline constexpr std::string_view NoopReply = "Ok";
inline constexpr std::string_view QuitReply = "Signing Off";
// %s: the command's parameter text.
inline constexpr std::string_view ErrorReply = "Syntax Error - Command not understood: %s";
inline constexpr std::string_view SequenceError = "";
// %s: the parameter text of HELO.
inline constexpr std::string_view HelloReply = "Hello %s";
inline constexpr std::string_view NoHello = "Polite people say HELO";
inline constexpr std::string_view EHLONotSupported = "Command Not Recognised";
// %s: the address's display form.
inline constexpr std::string_view AddressOkReply = "%s Address Okay";
inline constexpr std::string_view StartDataReply = "Start mail input; end with <CRLF>.<CRLF>";
inline constexpr std::string_view EndDataReply = "Ok";
inline constexpr std::string_view SyntaxParamError = "Syntax Error in parameters or arguments";
inline constexpr std::string_view MailParamError = "Parameter error! Example: mail from:<sender@example.com>";
inline constexpr std::string_view RcptParamError = "Command parameter error! Example: rcpt to:<recipient@example.com>";

// Replies for what the owner's hooks or the server's limits refuse. %s: the address's display form.
inline constexpr std::string_view AddressRejectedReply = "%s Address Rejected";
inline constexpr std::string_view AddressForwardReply = "%s User not local; will forward";
inline constexpr std::string_view TooManyRecipientsReply = "Too many recipients";
inline constexpr std::string_view MessageTooBigReply = "Message size exceeds fixed maximum message size";
inline constexpr std::string_view TooManyConnectionsReply = "Too many connections, try again later";

} // namespace SMTPServerTexts
} // namespace quillet
