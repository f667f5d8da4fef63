// The byte layout of a project file ("*.oqf"): a 12-byte header, the properties record, then
// three counted blocks (groups, recipients, SMTP accounts). Integers are 32-bit signed
// little-endian; every text is a 256-byte ShortString255 field. A file holds
// 1304 + 512*G + 3073*R + 2048*S bytes.
#pragma once

#include "ProjectRecords.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace quillet::layout {

// 0x0B followed by "OrvQuillet1": a length-prefixed text of length 11.
inline constexpr std::string_view kHeader{"\x0BOrvQuillet1", 12};
inline constexpr std::size_t kCountSize = 4;
inline constexpr std::size_t kTextSize = sizeof(ShortString255);
inline constexpr std::size_t kGroupSize = 2 * kTextSize;
inline constexpr std::size_t kRecipientSize = sizeof(RecipientRecord);
inline constexpr std::size_t kAccountTexts = 8;
inline constexpr std::size_t kAccountSize = kAccountTexts * kTextSize;
inline constexpr std::size_t kEmptyFileSize = kHeader.size() + sizeof(ProjectProperties) + 3 * kCountSize;
static_assert(kEmptyFileSize == 1304);

inline constexpr std::size_t fileSize(std::size_t groups, std::size_t recipients, std::size_t accounts)
{
    return kEmptyFileSize + kGroupSize * groups + kRecipientSize * recipients + kAccountSize * accounts;
}

inline void putCount(unsigned char* out, std::int32_t value)
{
    const auto v = static_cast<std::uint32_t>(value);
    out[0] = static_cast<unsigned char>(v);
    out[1] = static_cast<unsigned char>(v >> 8);
    out[2] = static_cast<unsigned char>(v >> 16);
    out[3] = static_cast<unsigned char>(v >> 24);
}

inline std::int32_t getCount(const unsigned char* in)
{
    const std::uint32_t v =
        std::uint32_t(in[0]) | std::uint32_t(in[1]) << 8 | std::uint32_t(in[2]) << 16 | std::uint32_t(in[3]) << 24;
    return static_cast<std::int32_t>(v);
}

} // namespace quillet::layout
