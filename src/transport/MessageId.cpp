#include "MessageId.h"

#include "SMTPClient.h"
#include "TransportError.h"

#include <cerrno>
#include <cstring>
#include <ctime>
#include <sys/random.h>

namespace quillet {

namespace {

constexpr std::size_t kRandomBytes = 16;
// Random bytes are fetched this many at a time and handed out to the identifiers one after the
// other, so a run does not make a system call per message for them.
constexpr std::size_t kRandomPoolBytes = 256;

void fillRandomFromSystem(unsigned char* bytes, std::size_t count)
{
    std::size_t done = 0;
    while (done < count) {
        const ssize_t n = ::getrandom(bytes + done, count - done, 0);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            throw ETransportError(std::string("No random numbers for the Message-ID: ") + std::strerror(errno));
        }
        done += static_cast<std::size_t>(n);
    }
}

// Bytes never handed out twice: each thread keeps its own pool and consumes it from the front.
void fillRandom(unsigned char* bytes, std::size_t count)
{
    static_assert(kRandomBytes <= kRandomPoolBytes);
    thread_local unsigned char pool[kRandomPoolBytes];
    thread_local std::size_t used = kRandomPoolBytes;
    if (count > kRandomPoolBytes)
        return fillRandomFromSystem(bytes, count);
    if (kRandomPoolBytes - used < count) {
        fillRandomFromSystem(pool, kRandomPoolBytes);
        used = 0;
    }
    std::memcpy(bytes, pool + used, count);
    std::memset(pool + used, 0, count);
    used += count;
}

bool isDomainCharacter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '.';
}

} // namespace

std::string MessageIdDomain(std::string_view address)
{
    const std::size_t at = address.rfind('@');
    if (at == std::string_view::npos)
        return {};
    std::string_view domain = address.substr(at + 1);
    if (!domain.empty() && domain.back() == '>')
        domain.remove_suffix(1);
    if (domain.empty() || domain.front() == '.' || domain.back() == '.' || domain.find("..") != std::string_view::npos)
        return {};
    for (const char c : domain)
        if (!isDomainCharacter(c))
            return {};
    return std::string(domain);
}

std::string NewMessageId(std::string_view senderAddress)
{
    std::string domain = MessageIdDomain(senderAddress);
    if (domain.empty())
        domain = MessageIdDomain("@" + TSMTPClient::LocalHostName());
    if (domain.empty())
        domain = "localhost";

    unsigned char random[kRandomBytes];
    fillRandom(random, sizeof random);
    static constexpr char kHex[] = "0123456789abcdef";
    // The UTC moment as YYYYMMDDHHMMSS, formatted once a second per thread.
    thread_local std::time_t momentOf = -1;
    thread_local char moment[32] = "0";
    const std::time_t now = std::time(nullptr);
    if (now != momentOf) {
        std::tm utc{};
        std::strcpy(moment, "0");
        if (::gmtime_r(&now, &utc))
            std::strftime(moment, sizeof moment, "%Y%m%d%H%M%S", &utc);
        momentOf = now;
    }
    std::string id;
    id.reserve(64 + domain.size());
    id += '<';
    id += moment;
    id += '.';
    for (const unsigned char b : random) {
        id += kHex[b >> 4];
        id += kHex[b & 15];
    }
    id += '@';
    id += domain;
    id += '>';
    return id;
}

} // namespace quillet
