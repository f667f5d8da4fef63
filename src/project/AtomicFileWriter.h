// Replaces a file only by a completely written new one: the bytes go to a temporary file beside
// the target (".NAME.save-XXXXXX" in the same folder, so the rename stays on one file system),
// which is synced, closed and renamed over the target, and the folder is synced after it.
// Until Commit the old file is untouched; a writer that goes without Commit removes its
// temporary file. A symbolic link as the target is followed, so the link stays and its file is
// replaced; a file that is replaced keeps its permission bits and, where the system allows,
// its owner and group.
#pragma once

#include "FileDescriptor.h"

#include <cstddef>
#include <stdexcept>
#include <string>
#include <string_view>
#include <sys/types.h>

namespace quillet {

// A step of the replacement failed. Callers turn it into their own message: Create covers
// making the temporary file, giving it its mode and renaming it into place; Write covers
// writing, syncing and closing.
class AtomicWriteError : public std::runtime_error {
public:
    enum class Step { Create, Write };
    AtomicWriteError(Step step, int error);
    Step step() const { return step_; }
    int error() const { return error_; }

private:
    Step step_;
    int error_;
};

class AtomicFileWriter {
public:
    // Starts the temporary file for path; a new file gets newFileMode. A folder as the target
    // raises Create with EISDIR.
    AtomicFileWriter(const std::string& path, mode_t newFileMode);
    ~AtomicFileWriter();
    AtomicFileWriter(const AtomicFileWriter&) = delete;
    AtomicFileWriter& operator=(const AtomicFileWriter&) = delete;

    void Write(const void* data, std::size_t size);
    void Write(std::string_view bytes) { Write(bytes.data(), bytes.size()); }
    // Syncs and closes the temporary file, renames it over the target and syncs the folder.
    void Commit();

private:
    std::string target_;
    std::string temporary_;
    FileDescriptor file_;
    bool created_ = false;
    bool placed_ = false;
};

} // namespace quillet
