#include "MessageCapture.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <stdexcept>
#include <unistd.h>

namespace quillet {

namespace fs = std::filesystem;

namespace {

[[noreturn]] void RaiseFileError(const std::string& what, const std::string& path, int err)
{
    throw std::runtime_error(what + " \"" + path + "\". " + std::strerror(err));
}

// The number of a name of six digits and ".eml"; 0 for any other name.
std::uint64_t CaptureNumber(const std::string& name)
{
    if (name.size() != 10 || name.compare(6, 4, ".eml") != 0)
        return 0;
    std::uint64_t number = 0;
    for (int i = 0; i < 6; ++i) {
        if (name[i] < '0' || name[i] > '9')
            return 0;
        number = number * 10 + std::uint64_t(name[i] - '0');
    }
    return number;
}

void CopyBytes(int from, int to, const std::string& target)
{
    char chunk[65536];
    for (;;) {
        const ssize_t got = ::read(from, chunk, sizeof chunk);
        if (got == 0)
            return;
        if (got < 0) {
            if (errno == EINTR)
                continue;
            RaiseFileError("Cannot read received message for", target, errno);
        }
        for (ssize_t done = 0; done < got;) {
            const ssize_t written = ::write(to, chunk + done, std::size_t(got - done));
            if (written < 0) {
                if (errno == EINTR)
                    continue;
                RaiseFileError("Cannot write", target, errno);
            }
            done += written;
        }
    }
}

} // namespace

TMessageCapture::TMessageCapture(std::string folder) : folder_(std::move(folder))
{
    std::error_code error;
    fs::create_directories(folder_, error);
    if (!fs::is_directory(folder_))
        RaiseFileError("Cannot create folder", folder_, error ? error.value() : ENOTDIR);
    for (const auto& entry : fs::directory_iterator(folder_, error))
        next_ = std::max(next_, CaptureNumber(entry.path().filename().string()) + 1);
}

std::string TMessageCapture::FileName(std::uint64_t number)
{
    char name[32];
    std::snprintf(name, sizeof name, "%06llu.eml", static_cast<unsigned long long>(number));
    return name;
}

std::string TMessageCapture::Keep(const std::string& dataFile)
{
    const int from = ::open(dataFile.c_str(), O_RDONLY | O_CLOEXEC);
    if (from < 0)
        RaiseFileError("Cannot open received message", dataFile, errno);
    std::string target;
    int to = -1;
    {
        std::lock_guard guard(lock_);
        while (to < 0) {
            target = (fs::path(folder_) / FileName(next_++)).string();
            to = ::open(target.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
            if (to < 0 && errno != EEXIST) {
                const int err = errno;
                ::close(from);
                RaiseFileError("Cannot create", target, err);
            }
        }
    }
    try {
        CopyBytes(from, to, target);
    } catch (...) {
        ::close(from);
        ::close(to);
        ::unlink(target.c_str());
        throw;
    }
    ::close(from);
    if (::close(to) != 0) {
        const int err = errno;
        ::unlink(target.c_str());
        RaiseFileError("Cannot write", target, err);
    }
    return target;
}

} // namespace quillet
