#include "TempDataFile.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <stdexcept>
#include <unistd.h>
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

TTempDataFile::TTempDataFile()
{
    std::string pattern = TemporaryFolder();
    if (pattern.empty() || pattern.back() != '/')
        pattern += '/';
    pattern += NamePrefix;
    pattern += "XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    fd_ = ::mkostemp(name.data(), O_CLOEXEC);
    if (fd_ < 0)
        RaiseFileError("Cannot create temporary file", pattern, errno);
    path_ = name.data();
    buffer_.reserve(BufferLimit);
}

TTempDataFile::~TTempDataFile()
{
    ::close(fd_);
    ::unlink(path_.c_str());
}

void TTempDataFile::Write(std::string_view bytes)
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

void TTempDataFile::Flush()
{
    const char* data = buffer_.data();
    std::size_t left = buffer_.size();
    while (left > 0) {
        const ssize_t written = ::write(fd_, data, left);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            RaiseFileError("Cannot write temporary file", path_, errno);
        }
        data += written;
        left -= std::size_t(written);
    }
    buffer_.clear();
}

} // namespace quillet
