#include "MessageCapture.h"

#include "project/FileDescriptor.h"

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
        if (const int error = writeAllBytes(to, std::string_view(chunk, std::size_t(got))))
            RaiseFileError("Cannot write", target, error);
    }
}

} // namespace

MessageCapture::MessageCapture(std::string folder) : folder_(std::move(folder))
{
    std::error_code error;
    fs::create_directories(folder_, error);
    if (!fs::is_directory(folder_))
        RaiseFileError("Cannot create folder", folder_, error ? error.value() : ENOTDIR);
    for (const auto& entry : fs::directory_iterator(folder_, error))
        next_ = std::max(next_, CaptureNumber(entry.path().filename().string()) + 1);
}

std::string MessageCapture::FileName(std::uint64_t number)
{
    char name[32];
    std::snprintf(name, sizeof name, "%06llu.eml", static_cast<unsigned long long>(number));
    return name;
}

std::string MessageCapture::Keep(const std::string& dataFile)
{
    const FileDescriptor from(::open(dataFile.c_str(), O_RDONLY | O_CLOEXEC));
    if (!from.valid())
        RaiseFileError("Cannot open received message", dataFile, errno);
    std::string target;
    FileDescriptor to;
    {
        std::lock_guard guard(lock_);
        while (!to.valid()) {
            target = (fs::path(folder_) / FileName(next_++)).string();
            to.reset(::open(target.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644));
            if (!to.valid() && errno != EEXIST)
                RaiseFileError("Cannot create", target, errno);
        }
    }
    try {
        CopyBytes(from.get(), to.get(), target);
        if (to.close() != 0)
            RaiseFileError("Cannot write", target, errno);
    } catch (...) {
        ::unlink(target.c_str());
        throw;
    }
    return target;
}

} // namespace quillet
