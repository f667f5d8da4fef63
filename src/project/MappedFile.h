// A regular file's bytes mapped read-only into memory: the system's cached pages of the file as
// they are, with no copy and no fresh memory to clear (for large files read once, such as CSV
// files being imported).
//
// A file that another program cuts short while it is mapped would make every read of its lost
// pages fault (SIGBUS) and end the program. A handler of that signal, installed with the first
// mapping, puts a page of zeros in place of a lost page of a mapping that is alive and lets the
// read go on; truncated() then tells the owner that the bytes are not the file's, so it can
// refuse them. Faults outside these mappings go on to the handler that was there before.
#pragma once

#include <atomic>
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

namespace quillet {

class MappedFile {
public:
    // The file mapped, or null when it is not a regular file (a pipe, a device), is smaller
    // than `minimumBytes` or cannot be opened or mapped: the caller reads it instead, and learns
    // any error from the read.
    static std::unique_ptr<MappedFile> map(const std::string& path, std::size_t minimumBytes);

    ~MappedFile();
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;

    std::string_view bytes() const { return {data_, size_}; }
    // A page of the file was lost (the file was cut short) while it was being read.
    bool truncated() const;

private:
    MappedFile(const char* data, std::size_t size, std::size_t guard);

    const char* data_;
    std::size_t size_;
    std::size_t guard_; // the slot of the fault handler's table that covers the mapping
};

} // namespace quillet
