// What every benchmark program needs beside its peer: a free port on 127.0.0.1, a check that
// a peer listening there accepts connections, the median of the rounds measured and the
// machine's load average.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace quillet::bench {

// A port of 127.0.0.1 that was free a moment ago (bound to port 0 and read back).
inline std::uint16_t FreeLoopbackPort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(fd);
    return ntohs(address.sin_port);
}

// Whether something on 127.0.0.1:port accepts a connection now.
inline bool AcceptsLoopback(std::uint16_t port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return ok;
}

// The median of the values; 0 for none.
inline double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n == 0 ? 0 : n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// The first line of /proc/loadavg, with its line end ("?" when it cannot be read).
inline std::string LoadAverage()
{
    std::FILE* file = std::fopen("/proc/loadavg", "r");
    char text[128] = "?\n";
    if (file) {
        if (!std::fgets(text, sizeof text, file))
            std::strcpy(text, "?\n");
        std::fclose(file);
    }
    return text;
}

} // namespace quillet::bench
