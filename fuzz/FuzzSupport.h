// Helpers shared by the fuzzing targets.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

namespace quillet::fuzz {

// A property the target checks failed: abort, so that the fuzzer keeps the input as a finding.
[[noreturn]] inline void fail(const char* what)
{
    std::fprintf(stderr, "Fuzzing check failed: %s\n", what);
    std::abort();
}

#define QUILLET_FUZZ_CHECK(condition)                                                                                  \
    do {                                                                                                               \
        if (!(condition))                                                                                              \
            ::quillet::fuzz::fail(#condition);                                                                         \
    } while (false)

inline std::string_view bytes(const std::uint8_t* data, std::size_t size)
{
    return {reinterpret_cast<const char*>(data), size};
}

// Takes fields off the front of an input, each ending at a separator byte (the last one at the
// end of the input); fields the input lacks are empty. Lets one input fill several parameters.
class Fields {
public:
    Fields(std::string_view input, char separator) : rest_(input), separator_(separator) {}

    std::string_view next()
    {
        const std::size_t end = rest_.find(separator_);
        const std::string_view field = rest_.substr(0, end);
        rest_ = end == std::string_view::npos ? std::string_view() : rest_.substr(end + 1);
        return field;
    }
    std::string_view rest() const { return rest_; }

private:
    std::string_view rest_;
    char separator_;
};

} // namespace quillet::fuzz
