#include "WholeFile.h"

#include "AtomicFileWriter.h"
#include "LargePages.h"
#include "FileDescriptor.h"
#include "ProjectFileError.h"
#include "ProjectMessages.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quillet {

namespace {

// Files from which the memory read into is asked for large pages: a file of tens of megabytes
// then costs a few dozen page faults instead of thousands.
constexpr std::size_t kLargePageFileBytes = std::size_t(8) << 20;

} // namespace

std::string readWholeFile(const std::string& path)
{
    FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!file.valid())
        throw ProjectFileError(ProjectFileError::Kind::CannotOpen,
                               formatFileMessage(messages::kCannotOpenFile, path, std::strerror(errno)));
    struct stat info {};
    if (::fstat(file.get(), &info) != 0 || S_ISDIR(info.st_mode))
        throw ProjectFileError(ProjectFileError::Kind::CannotRead,
                               formatFileMessage(messages::kCannotReadFile, path,
                                                 std::strerror(S_ISDIR(info.st_mode) ? EISDIR : errno)));
    // One byte more than the file's size, so that the read which sees the end needs no growth.
    std::string bytes;
    bytes.reserve(static_cast<std::size_t>(info.st_size) + 1);
    if (bytes.capacity() >= kLargePageFileBytes)
        adviseLargePages(bytes.data(), bytes.capacity());
    bytes.resize(static_cast<std::size_t>(info.st_size) + 1);
    std::size_t filled = 0;
    for (;;) {
        if (filled == bytes.size()) // the file has grown since fstat
            bytes.resize(bytes.size() * 2);
        const ssize_t n = ::read(file.get(), bytes.data() + filled, bytes.size() - filled);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            throw ProjectFileError(ProjectFileError::Kind::CannotRead,
                                   formatFileMessage(messages::kCannotReadFile, path, std::strerror(errno)));
        }
        if (n == 0)
            break;
        filled += static_cast<std::size_t>(n);
    }
    bytes.resize(filled);
    return bytes;
}

namespace {

void writePieces(const std::string& path, std::initializer_list<std::string_view> pieces)
{
    FileDescriptor file(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
    if (!file.valid())
        throw ProjectFileError(ProjectFileError::Kind::CannotCreate,
                               formatFileMessage(messages::kCannotCreateFile, path, std::strerror(errno)));
    for (const std::string_view bytes : pieces)
        if (const int error = writeAllBytes(file.get(), bytes))
            throw ProjectFileError(ProjectFileError::Kind::CannotWrite,
                                   formatFileMessage(messages::kCannotWriteFile, path, std::strerror(error)));
    if (file.close() != 0)
        throw ProjectFileError(ProjectFileError::Kind::CannotWrite,
                               formatFileMessage(messages::kCannotWriteFile, path, std::strerror(errno)));
}

} // namespace

void writeWholeFile(const std::string& path, std::string_view bytes)
{
    writePieces(path, {bytes});
}

void replaceWholeFile(const std::string& path, std::string_view bytes)
{
    replaceWholeFile(path, {bytes});
}

namespace {

// Whether the target is a regular file or none yet, to be replaced through a temporary file; a
// regular file the user may not write is refused, as when it is opened for writing.
bool replacedAtomically(const std::string& path)
{
    struct stat existing {};
    if (::stat(path.c_str(), &existing) != 0)
        return true;
    if (!S_ISREG(existing.st_mode) && !S_ISDIR(existing.st_mode))
        return false;
    if (S_ISREG(existing.st_mode) && ::access(path.c_str(), W_OK) != 0)
        throw ProjectFileError(ProjectFileError::Kind::CannotCreate,
                               formatFileMessage(messages::kCannotCreateFile, path, std::strerror(errno)));
    return true;
}

// Writes the file through a temporary one that replaces it once `produce` is done and returns
// true; with the failures' messages for the user.
bool replaceThroughTemporary(const std::string& path, const std::function<bool(const PieceWriter&)>& produce)
{
    try {
        AtomicFileWriter file(path, 0644);
        if (!produce([&file](std::string_view bytes) { file.Write(bytes); }))
            return false;
        file.Commit();
        return true;
    } catch (const AtomicWriteError& error) {
        const bool create = error.step() == AtomicWriteError::Step::Create;
        throw ProjectFileError(create ? ProjectFileError::Kind::CannotCreate : ProjectFileError::Kind::CannotWrite,
                               formatFileMessage(create ? messages::kCannotCreateFile : messages::kCannotWriteFile,
                                                 path, std::strerror(error.error())));
    }
}

} // namespace

void replaceWholeFile(const std::string& path, std::initializer_list<std::string_view> pieces)
{
    if (!replacedAtomically(path)) {
        writePieces(path, pieces);
        return;
    }
    replaceThroughTemporary(path, [&pieces](const PieceWriter& write) {
        for (const std::string_view bytes : pieces)
            write(bytes);
        return true;
    });
}

bool replaceWholeFileInPieces(const std::string& path, const std::function<bool(const PieceWriter&)>& produce)
{
    return replacedAtomically(path) && replaceThroughTemporary(path, produce);
}

} // namespace quillet
