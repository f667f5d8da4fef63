// The project's list of recipient records: a contiguous array like std::vector, kept in memory
// mapped from the system so that a list of a million records (3 GB) is cheap to build and grow.
//
// - Large lists ask for large pages (madvise MADV_HUGEPAGE): one page fault per 2 MB instead of
//   one per 4 KB, which is most of the cost of filling fresh memory.
// - Growing moves the mapping (mremap) instead of copying the records, so appending to a big
//   list never holds the old and the new array at once.
// - The list knows which of its reserved records have never been written: fresh memory from
//   the system is zero, so appendBlank() makes default records there by writing the enabled
//   byte alone, and a caller filling texts into such records need not clear them first.
//
// Records are trivially copyable; iterators are plain pointers and, as with std::vector, are
// invalidated when the list grows.
#pragma once

#include "ProjectRecords.h"

#include <algorithm>
#include <cstddef>
#include <initializer_list>
#include <type_traits>

namespace quillet {

static_assert(std::is_trivially_copyable_v<RecipientRecord> && std::is_trivially_destructible_v<RecipientRecord>);

class RecipientList {
public:
    using value_type = RecipientRecord;
    using size_type = std::size_t;
    using difference_type = std::ptrdiff_t;
    using reference = RecipientRecord&;
    using const_reference = const RecipientRecord&;
    using pointer = RecipientRecord*;
    using const_pointer = const RecipientRecord*;
    using iterator = RecipientRecord*;
    using const_iterator = const RecipientRecord*;

    RecipientList() = default;
    RecipientList(std::initializer_list<RecipientRecord> records);
    RecipientList(const RecipientList& other);
    RecipientList(RecipientList&& other) noexcept;
    RecipientList& operator=(const RecipientList& other);
    RecipientList& operator=(RecipientList&& other) noexcept;
    RecipientList& operator=(std::initializer_list<RecipientRecord> records);
    ~RecipientList();

    std::size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    std::size_t capacity() const { return capacity_; }
    RecipientRecord* data() { return data_; }
    const RecipientRecord* data() const { return data_; }
    iterator begin() { return data_; }
    iterator end() { return data_ + size_; }
    const_iterator begin() const { return data_; }
    const_iterator end() const { return data_ + size_; }
    const_iterator cbegin() const { return data_; }
    const_iterator cend() const { return data_ + size_; }
    RecipientRecord& operator[](std::size_t i) { return data_[i]; }
    const RecipientRecord& operator[](std::size_t i) const { return data_[i]; }
    // Throws std::out_of_range beyond the end.
    RecipientRecord& at(std::size_t i);
    const RecipientRecord& at(std::size_t i) const;
    RecipientRecord& front() { return data_[0]; }
    const RecipientRecord& front() const { return data_[0]; }
    RecipientRecord& back() { return data_[size_ - 1]; }
    const RecipientRecord& back() const { return data_[size_ - 1]; }

    // Room for at least `count` records; throws std::bad_alloc when the system has no memory.
    void reserve(std::size_t count);
    void shrink_to_fit();
    void clear() { size_ = 0; }
    void resize(std::size_t count);
    void resize(std::size_t count, const RecipientRecord& value);
    void push_back(const RecipientRecord& record);
    RecipientRecord& emplace_back() { return *appendBlank(1); }
    RecipientRecord& emplace_back(const RecipientRecord& record)
    {
        push_back(record);
        return back();
    }
    void pop_back() { --size_; }
    iterator insert(const_iterator position, const RecipientRecord& record);
    iterator insert(const_iterator position, const RecipientRecord* first, const RecipientRecord* last);
    iterator erase(const_iterator position) { return erase(position, position + 1); }
    iterator erase(const_iterator first, const_iterator last);
    void swap(RecipientList& other) noexcept;

    // Appends `count` default records (empty texts, enabled) and returns the first. Their texts
    // are all zero bytes, as ShortString255 stores an empty text, so a caller may write a text's
    // length and bytes into them without clearing the field first.
    RecipientRecord* appendBlank(std::size_t count);
    // Appends `count` records for a caller that writes them itself (from several threads, say)
    // and returns the first. `blank` tells whether their bytes are all zero (fresh memory);
    // when false they hold old bytes and the caller must write each record whole.
    RecipientRecord* appendUnfilled(std::size_t count, bool& blank);

private:
    // Grows the mapping to hold at least `count` records (doubling, as std::vector does).
    void grow(std::size_t count);
    void remap(std::size_t capacity);

    RecipientRecord* data_ = nullptr;
    std::size_t size_ = 0;
    std::size_t capacity_ = 0;
    // Records at and beyond this index have never been written since the system mapped them
    // (all zero bytes).
    std::size_t written_ = 0;
};

// Removes the records the predicate picks, keeping the order of the others; returns how many.
template <typename Predicate>
std::size_t erase_if(RecipientList& list, Predicate pick)
{
    RecipientRecord* kept = std::remove_if(list.begin(), list.end(), pick);
    const auto removed = static_cast<std::size_t>(list.end() - kept);
    list.erase(kept, list.end());
    return removed;
}

} // namespace quillet
