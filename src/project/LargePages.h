// Asking the system for large pages (2 MB instead of 4 KB) under big blocks of memory that are
// about to be filled or probed at random: a few dozen page faults and address-table misses
// instead of thousands. Only a hint; without large pages nothing changes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <sys/mman.h>
#include <unistd.h>

namespace quillet {

// Advises the whole pages within the block.
inline void adviseLargePages(void* memory, std::size_t bytes)
{
    const auto page = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
    const auto begin = (reinterpret_cast<std::uintptr_t>(memory) + page - 1) / page * page;
    const auto end = (reinterpret_cast<std::uintptr_t>(memory) + bytes) / page * page;
    if (end > begin)
        ::madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
}

} // namespace quillet
