#include "TempDataFile.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <stdexcept>
#include <unistd.h>
#include <vector>

namespace quillet {

namespace {

[[noreturn]] void RaiseFileError(const std::string& what, const std::string& path, int err)
{
    throw std::runtime_error(what + " \"" + path + "\". " + std::strerror(err));
}

std::string TemporaryFolder()
{
    std::error_code error;
    std::filesystem::path folder = std::filesystem::temp_directory_path(error);
    return error ? std::string("/tmp") : folder.string();
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
