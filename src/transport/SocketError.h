// Socket errors as users see them: every system error of the socket layer is shown under its
// Windows Sockets number with that number's text, "Socket Error # <number>\r\n<text>".
#pragma once

#include <string>

namespace quillet {

// Windows Sockets numbers used by the line connection itself.
constexpr int WSAEBADF = 10009;
constexpr int WSAENOTSOCK = 10038;
constexpr int WSAECONNABORTED = 10053;
constexpr int WSAECONNRESET = 10054;
constexpr int WSAESHUTDOWN = 10058;
constexpr int WSAECONNREFUSED = 10061;
constexpr int WSAHOST_NOT_FOUND = 11001;

// The Windows Sockets number for a POSIX errno value (errno itself when there is none).
int SocketErrorFromErrno(int err);
// The Windows Sockets number for a getaddrinfo() result (and errno for EAI_SYSTEM).
int SocketErrorFromLookup(int gaiResult, int err);
// The text shown for a Windows Sockets number; empty for a number without a text.
std::string SocketErrorText(int code);
// The whole message: "Socket Error # <code>\r\n<text>".
std::string SocketErrorMessage(int code);
// Raises ESocketError for the code.
[[noreturn]] void RaiseSocketError(int code);

} // namespace quillet
