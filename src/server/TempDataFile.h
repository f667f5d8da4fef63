// The temporary file that holds one received message's data while the owner looks at it.
//
// Created uniquely in the system's temporary folder (TMPDIR or /tmp) with the name prefix
// "oqm", written through a buffer, and closed and deleted when the object goes, whatever
// happened meanwhile (a failed read, a failing hook, a closed connection). RemoveName deletes it
// earlier and hands over the open descriptor, so that the storage is freed when convenient.
#pragma once

#include "project/FileDescriptor.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace quillet {

class TempDataFile {
public:
    static constexpr std::string_view NamePrefix = "oqm";

    // Creates the file; raises std::runtime_error naming it when that fails.
    TempDataFile();
    ~TempDataFile();
    TempDataFile(const TempDataFile&) = delete;
    TempDataFile& operator=(const TempDataFile&) = delete;

    // Appends the bytes (buffered).
    void Write(std::string_view bytes);
    // Writes what is buffered, so that the file holds every byte appended so far.
    void Flush();

    // Deletes the file's name now and gives up its descriptor: the file is gone from the folder,
    // and closing the descriptor frees its storage (on tmpfs or ext4 the larger part of the work of
    // deleting it). The object then holds nothing.
    FileDescriptor RemoveName();

    const std::string& Path() const { return path_; }
    // Bytes appended so far.
    std::uint64_t Size() const { return size_; }

private:
    static constexpr std::size_t BufferLimit = 65536;

    std::string path_;
    FileDescriptor file_;
    std::string buffer_;
    std::uint64_t size_ = 0;
};

} // namespace quillet
