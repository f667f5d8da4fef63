#include "TempDataFile.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <stdexcept>
#include <unistd.h>
#include <utility>
#include <vector>

namespace quillet {

namespace {

[[noreturn]] void RaiseFileError(const std::string& what, const std::string& path, int err)
{
    throw std::runtime_error(what + " \"" + path + "\". " + std::strerror(err));
}

// The system's temporary folder: TMPDIR when set, else /tmp. Read for every file, without a
// status call, since one is made per received message.
std::string TemporaryFolder()
{
    const char* folder = std::getenv("TMPDIR");
    return folder && *folder ? std::string(folder) : std::string("/tmp");
}

} // namespace

TempDataFile::TempDataFile()
{
    std::string pattern = TemporaryFolder();
    if (pattern.empty() || pattern.back() != '/')
        pattern += '/';
    pattern += NamePrefix;
    pattern += "XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    file_.reset(::mkostemp(name.data(), O_CLOEXEC));
    if (!file_.valid())
        RaiseFileError("Cannot create temporary file", pattern, errno);
    path_ = name.data();
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
