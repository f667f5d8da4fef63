#include "transport/StopSignal.h"

#include <cerrno>
#include <cstdint>
#include <system_error>

#include <sys/eventfd.h>
#include <unistd.h>

namespace quillet {

StopSignal::StopSignal() : event_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK))
{
    if (!event_.valid())
        throw std::system_error(errno, std::generic_category(), "eventfd");
}

void StopSignal::Request() noexcept
{
    std::int64_t unset = 0;
    requestedAt_.compare_exchange_strong(unset, std::chrono::steady_clock::now().time_since_epoch().count());
    requested_.store(true, std::memory_order_release);
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = ::write(event_.get(), &one, sizeof one);
}

} // namespace quillet
