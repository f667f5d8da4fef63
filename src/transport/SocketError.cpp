// The table of socket error texts and the mapping of POSIX errno values onto the Windows Sockets
// numbers those texts belong to.
#include "transport/SocketError.h"

#include "transport/TransportError.h"

#include <cerrno>
#include <cstdio>
#include <netdb.h>

namespace quillet {

namespace {

constexpr const char* kSocketErrorFormat = "Socket Error # %d\r\n%s";

struct SocketErrorEntry {
    int code;
    const char* text;
};

constexpr SocketErrorEntry kSocketErrorTexts[] = {
    {10004, "Interrupted system call."},
    {10009, "Bad file number."},
    {10013, "Access denied."},
    {10014, "Bad address."},
    {10022, "Invalid argument."},
    {10024, "Too many open files."},
    {10035, "Operation would block. "},
    {10036, "Operation now in progress."},
    {10037, "Operation already in progress."},
    {10038, "Socket operation on non-socket."},
    {10039, "Destination address required."},
    {10040, "Message too long."},
    {10041, "Protocol wrong type for socket."},
    {10042, "Bad protocol option."},
    {10043, "Protocol not supported."},
    {10044, "Socket type not supported."},
    {10045, "Operation not supported on socket."},
    {10046, "Protocol family not supported."},
    {10047, "Address family not supported by protocol family."},
    {10048, "Address already in use."},
    {10049, "Cannot assign requested address."},
    {10050, "Network is down."},
    {10051, "Network is unreachable."},
    {10052, "Net dropped connection or reset."},
    {10053, "Software caused connection abort."},
    {10054, "Connection reset by peer."},
    {10055, "No buffer space available."},
    {10056, "Socket is already connected."},
    {10057, "Socket is not connected."},
    {10058, "Cannot send or receive after socket is closed."},
    {10059, "Too many references, cannot splice."},
    {10060, "Connection timed out."},
    {10061, "Connection refused."},
    {10062, "Too many levels of symbolic links."},
    {10063, "File name too long."},
    {10064, "Host is down."},
    {10065, "No route to host."},
    {10066, "Directory not empty"},
    {11001, "Host not found."},
};

} // namespace

int SocketErrorFromErrno(int err)
{
    switch (err) {
    case EINTR: return 10004;
    case EBADF: return 10009;
    case EACCES:
    case EPERM: return 10013;
    case EFAULT: return 10014;
    case EINVAL: return 10022;
    case EMFILE:
    case ENFILE: return 10024;
    case EAGAIN: return 10035; // EWOULDBLOCK is the same value here
    case EINPROGRESS: return 10036;
    case EALREADY: return 10037;
    case ENOTSOCK: return 10038;
    case EDESTADDRREQ: return 10039;
    case EMSGSIZE: return 10040;
    case EPROTOTYPE: return 10041;
    case ENOPROTOOPT: return 10042;
    case EPROTONOSUPPORT: return 10043;
    case ESOCKTNOSUPPORT: return 10044;
    case EOPNOTSUPP: return 10045;
    case EPFNOSUPPORT: return 10046;
    case EAFNOSUPPORT: return 10047;
    case EADDRINUSE: return 10048;
    case EADDRNOTAVAIL: return 10049;
    case ENETDOWN: return 10050;
    case ENETUNREACH: return 10051;
    case ENETRESET: return 10052;
    case ECONNABORTED: return 10053;
    case ECONNRESET: return 10054;
    case ENOBUFS:
    case ENOMEM: return 10055;
    case EISCONN: return 10056;
    case ENOTCONN: return 10057;
    case EPIPE:
    case ESHUTDOWN: return 10058;
    case ETOOMANYREFS: return 10059;
    case ETIMEDOUT: return 10060;
    case ECONNREFUSED: return 10061;
    case ELOOP: return 10062;
    case ENAMETOOLONG: return 10063;
    case EHOSTDOWN: return 10064;
    case EHOSTUNREACH: return 10065;
    case ENOTEMPTY: return 10066;
    default: return err;
    }
}

int SocketErrorFromLookup(int gaiResult, int err)
{
    switch (gaiResult) {
    case EAI_NONAME:
#ifdef EAI_NODATA
    case EAI_NODATA:
#endif
#ifdef EAI_ADDRFAMILY
    case EAI_ADDRFAMILY:
#endif
        return WSAHOST_NOT_FOUND;
    case EAI_AGAIN: return 11002;
    case EAI_FAIL: return 11003;
    case EAI_MEMORY: return 10055;
    case EAI_FAMILY: return 10047;
    case EAI_SOCKTYPE: return 10044;
    case EAI_SYSTEM: return SocketErrorFromErrno(err);
    default: return WSAHOST_NOT_FOUND;
    }
}

std::string SocketErrorText(int code)
{
    for (const auto& entry : kSocketErrorTexts)
        if (entry.code == code)
            return entry.text;
    return {};
}

std::string SocketErrorMessage(int code)
{
    const std::string text = SocketErrorText(code);
    const int size = std::snprintf(nullptr, 0, kSocketErrorFormat, code, text.c_str());
    std::string message(static_cast<size_t>(size) + 1, '\0');
    std::snprintf(message.data(), message.size(), kSocketErrorFormat, code, text.c_str());
    message.resize(static_cast<size_t>(size));
    return message;
}

void RaiseSocketError(int code)
{
    throw ESocketError(code, SocketErrorMessage(code));
}

} // namespace quillet
