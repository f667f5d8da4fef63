#include "RecipientList.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <new>
#include <stdexcept>
#include <sys/mman.h>
#include <unistd.h>

namespace quillet {

namespace {

// The large page size of x86-64 and arm64 (with 4 KB base pages): mappings of at least this
// size are advised to use large pages, and kept at the same offset within one when they move.
constexpr std::size_t kLargePage = std::size_t(2) << 20;
// The fewest records a list makes room for when it first grows: small lists do not map and
// remap memory for every record appended.
constexpr std::size_t kMinimumGrowth = 16;

std::size_t pageSize()
{
    static const auto size = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
    return size;
}

std::size_t bytesFor(std::size_t records)
{
    if (records > (SIZE_MAX - kLargePage) / sizeof(RecipientRecord))
        throw std::bad_alloc();
    const std::size_t page = pageSize();
    return (records * sizeof(RecipientRecord) + page - 1) / page * page;
}

// Fresh zero memory of `bytes` at an address whose offset within a large page is `phase`, so
// that a mapping moved there keeps its large pages whole.
void* mapAt(std::size_t bytes, std::uintptr_t phase)
{
    const std::size_t span = bytes + kLargePage;
    void* memory = ::mmap(nullptr, span, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (memory == MAP_FAILED)
        throw std::bad_alloc();
    const auto base = reinterpret_cast<std::uintptr_t>(memory);
    const std::uintptr_t start = base + (phase + kLargePage - base % kLargePage) % kLargePage;
    if (start > base)
        ::munmap(memory, start - base);
    if (base + span > start + bytes)
        ::munmap(reinterpret_cast<void*>(start + bytes), base + span - start - bytes);
    return reinterpret_cast<void*>(start);
}

void adviseLargePages(void* memory, std::size_t bytes)
{
    if (bytes >= kLargePage)
        ::madvise(memory, bytes, MADV_HUGEPAGE); // only a hint: without large pages nothing changes
}

} // namespace

RecipientList::RecipientList(std::initializer_list<RecipientRecord> records)
{
    insert(end(), records.begin(), records.end());
}

RecipientList::RecipientList(const RecipientList& other)
{
    insert(end(), other.begin(), other.end());
}

RecipientList::RecipientList(RecipientList&& other) noexcept
{
    swap(other);
}

RecipientList& RecipientList::operator=(const RecipientList& other)
{
    if (this != &other) {
        clear();
        insert(end(), other.begin(), other.end());
    }
    return *this;
}

RecipientList& RecipientList::operator=(RecipientList&& other) noexcept
{
    RecipientList taken(std::move(other));
    swap(taken);
    return *this;
}

RecipientList& RecipientList::operator=(std::initializer_list<RecipientRecord> records)
{
    clear();
    insert(end(), records.begin(), records.end());
    return *this;
}

RecipientList::~RecipientList()
{
    if (data_)
        ::munmap(data_, bytesFor(capacity_));
}

void RecipientList::swap(RecipientList& other) noexcept
{
    std::swap(data_, other.data_);
    std::swap(size_, other.size_);
    std::swap(capacity_, other.capacity_);
    std::swap(written_, other.written_);
}

RecipientRecord& RecipientList::at(std::size_t i)
{
    if (i >= size_)
        throw std::out_of_range("RecipientList::at");
    return data_[i];
}

const RecipientRecord& RecipientList::at(std::size_t i) const
{
    if (i >= size_)
        throw std::out_of_range("RecipientList::at");
    return data_[i];
}

void RecipientList::remap(std::size_t capacity)
{
    const std::size_t oldBytes = data_ ? bytesFor(capacity_) : 0;
    const std::size_t newBytes = capacity == 0 ? 0 : bytesFor(capacity);
    if (newBytes == 0) {
        if (data_)
            ::munmap(data_, oldBytes);
        data_ = nullptr;
    } else if (!data_) {
        data_ = static_cast<RecipientRecord*>(mapAt(newBytes, 0));
    } else if (newBytes < oldBytes) {
        ::mremap(data_, oldBytes, newBytes, 0); // shrinking in place always succeeds
        // The kept last page may end with the start of a record written before; clear it, as
        // records from the new capacity on count as fresh zero memory when the list grows.
        const std::size_t kept = newBytes / sizeof(RecipientRecord) * sizeof(RecipientRecord);
        if (written_ * sizeof(RecipientRecord) > kept)
            std::memset(reinterpret_cast<char*>(data_) + kept, 0, newBytes - kept);
    } else if (newBytes > oldBytes && ::mremap(data_, oldBytes, newBytes, 0) == MAP_FAILED) {
        // No room after the mapping: move it (the pages, not their bytes) to a new place.
        void* target = mapAt(newBytes, reinterpret_cast<std::uintptr_t>(data_) % kLargePage);
        void* moved = ::mremap(data_, oldBytes, newBytes, MREMAP_MAYMOVE | MREMAP_FIXED, target);
        if (moved == MAP_FAILED) {
            ::munmap(target, newBytes);
            throw std::bad_alloc();
        }
        data_ = static_cast<RecipientRecord*>(moved);
    }
    capacity_ = newBytes / sizeof(RecipientRecord);
    written_ = std::min(written_, capacity_);
    if (data_)
        adviseLargePages(data_, newBytes);
}

void RecipientList::reserve(std::size_t count)
{
    if (count > capacity_)
        remap(count);
}

void RecipientList::grow(std::size_t count)
{
    if (count > capacity_)
        remap(std::max({count, capacity_ * 2, kMinimumGrowth}));
}

void RecipientList::shrink_to_fit()
{
    if (bytesFor(size_) < bytesFor(capacity_))
        remap(size_);
}

RecipientRecord* RecipientList::appendBlank(std::size_t count)
{
    grow(size_ + count);
    for (std::size_t i = size_; i < size_ + count; ++i) {
        if (i < written_)
            data_[i] = RecipientRecord{};
        else
            data_[i].Enabled = 1; // the rest of fresh memory is zero already
    }
    RecipientRecord* first = data_ + size_;
    size_ += count;
    written_ = std::max(written_, size_);
    return first;
}

RecipientRecord* RecipientList::appendUnfilled(std::size_t count, bool& blank)
{
    grow(size_ + count);
    blank = size_ >= written_;
    RecipientRecord* first = data_ + size_;
    size_ += count;
    written_ = std::max(written_, size_);
    return first;
}

void RecipientList::resize(std::size_t count)
{
    if (count > size_)
        appendBlank(count - size_);
    else
        size_ = count;
}

void RecipientList::resize(std::size_t count, const RecipientRecord& value)
{
    if (count <= size_) {
        size_ = count;
        return;
    }
    const RecipientRecord copy = value; // `value` may be one of the records that move
    grow(count);
    for (std::size_t i = size_; i < count; ++i)
        std::memcpy(static_cast<void*>(data_ + i), &copy, sizeof copy);
    size_ = count;
    written_ = std::max(written_, size_);
}

void RecipientList::push_back(const RecipientRecord& record)
{
    if (size_ == capacity_) {
        const RecipientRecord copy = record;
        grow(size_ + 1);
        std::memcpy(static_cast<void*>(data_ + size_), &copy, sizeof copy);
    } else {
        std::memcpy(static_cast<void*>(data_ + size_), &record, sizeof record);
    }
    ++size_;
    written_ = std::max(written_, size_);
}

RecipientList::iterator RecipientList::insert(const_iterator position, const RecipientRecord& record)
{
    return insert(position, &record, &record + 1);
}

RecipientList::iterator RecipientList::insert(const_iterator position, const RecipientRecord* first,
                                              const RecipientRecord* last)
{
    const auto offset = static_cast<std::size_t>(position - data_);
    const auto count = static_cast<std::size_t>(last - first);
    if (count == 0)
        return data_ + offset;
    if (first < data_ + size_ && last > data_) { // records of this very list: copy them first
        RecipientList copy;
        copy.insert(copy.end(), first, last);
        return insert(data_ + offset, copy.begin(), copy.end());
    }
    grow(size_ + count);
    std::memmove(static_cast<void*>(data_ + offset + count), data_ + offset,
                 (size_ - offset) * sizeof(RecipientRecord));
    std::memcpy(static_cast<void*>(data_ + offset), first, count * sizeof(RecipientRecord));
    size_ += count;
    written_ = std::max(written_, size_);
    return data_ + offset;
}

RecipientList::iterator RecipientList::erase(const_iterator first, const_iterator last)
{
    const auto offset = static_cast<std::size_t>(first - data_);
    const auto count = static_cast<std::size_t>(last - first);
    std::memmove(static_cast<void*>(data_ + offset), data_ + offset + count,
                 (size_ - offset - count) * sizeof(RecipientRecord));
    size_ -= count;
    return data_ + offset;
}

} // namespace quillet
