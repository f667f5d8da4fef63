#include "TempDataFile.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <stdexcept>
#include <unistd.h>
#include <utility>

namespace quillet {

namespace {

[[noreturn]] void RaiseFileError(const std::string& what, const std::string& path, int err)
{
    throw std::runtime_error(what + " \"" + path + "\". " + std::strerror(err));
}

// The system's temporary folder: TMPDIR when set, else /tmp. Read for every file, without a
// status call, since one is made per received message.
std::string_view TemporaryFolder()
{
    const char* folder = std::getenv("TMPDIR");
    return folder && *folder ? std::string_view(folder) : std::string_view("/tmp");
}

} // namespace

TempDataFile::TempDataFile()
{
    // The name is made in the path's own memory: mkostemp puts its letters in place of the X's.
    const std::string_view folder = TemporaryFolder();
    constexpr std::string_view unique = "XXXXXX";
    path_.reserve(folder.size() + 1 + NamePrefix.size() + unique.size());
    path_ = folder;
    if (path_.back() != '/')
        path_ += '/';
    path_ += NamePrefix;
    path_ += unique;
    file_.reset(::mkostemp(path_.data(), O_CLOEXEC));
    if (!file_.valid()) {
        const int error = errno;
        path_.replace(path_.size() - unique.size(), unique.size(), unique); // the pattern, as tried
        RaiseFileError("Cannot create temporary file", path_, error);
    }
    buffer_.reserve(BufferLimit);
}

TempDataFile::~TempDataFile()
{
    file_.reset();
    if (!path_.empty())
        ::unlink(path_.c_str());
}

FileDescriptor TempDataFile::RemoveName()
{
    if (!path_.empty())
        ::unlink(path_.c_str());
    path_.clear();
    return std::move(file_);
}

void TempDataFile::Write(std::string_view bytes)
{
    if (buffer_.size() + bytes.size() > BufferLimit)
        Flush();
    if (bytes.size() >= BufferLimit) {
        buffer_.assign(bytes);
        Flush();
    } else {
        buffer_.append(bytes);
    }
    size_ += bytes.size();
}

void TempDataFile::Flush()
{
    if (const int error = writeAllBytes(file_.get(), buffer_))
        RaiseFileError("Cannot write temporary file", path_, error);
    buffer_.clear();
}

} // namespace quillet
