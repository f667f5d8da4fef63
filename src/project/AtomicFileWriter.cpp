#include "AtomicFileWriter.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quillet {

namespace {

// One write call hands the system at most this many bytes.
constexpr std::size_t kWriteChunk = 8 << 20;
// The target's name is cut to this length in the temporary name, so that a name near the
// system's limit still gets a sibling.
constexpr std::size_t kTemporaryNameMax = 200;

[[noreturn]] void fail(AtomicWriteError::Step step, int error)
{
    throw AtomicWriteError(step, error);
}

// Where the bytes go: a symbolic link is followed so that the link stays and its file is replaced.
std::string resolveTarget(const std::string& path)
{
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        if (char* resolved = ::realpath(path.c_str(), nullptr)) {
            std::string target = resolved;
            std::free(resolved);
            return target;
        }
    }
    return path;
}

void syncFolderOf(const std::string& target)
{
    const std::size_t slash = target.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : (slash == 0 ? "/" : target.substr(0, slash));
    const FileDescriptor dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!dir.valid())
        fail(AtomicWriteError::Step::Write, errno);
    // Some file systems cannot sync a folder; the rename is in place either way.
    if (::fsync(dir.get()) != 0 && errno != EINVAL && errno != EROFS)
        fail(AtomicWriteError::Step::Write, errno);
}

} // namespace

AtomicWriteError::AtomicWriteError(Step step, int error)
    : std::runtime_error(std::strerror(error)), step_(step), error_(error)
{
}

AtomicFileWriter::AtomicFileWriter(const std::string& path, mode_t newFileMode)
{
    if (path.empty())
        fail(AtomicWriteError::Step::Create, ENOENT);
    target_ = resolveTarget(path);
    struct stat existing {};
    const bool replacing = ::stat(target_.c_str(), &existing) == 0;
    if (replacing && S_ISDIR(existing.st_mode))
        fail(AtomicWriteError::Step::Create, EISDIR);

    const std::size_t slash = target_.rfind('/');
    const std::string folder = slash == std::string::npos ? std::string() : target_.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? target_ : target_.substr(slash + 1);
    temporary_ = folder + "." + name.substr(0, kTemporaryNameMax) + ".save-XXXXXX";
    file_.reset(::mkostemp(temporary_.data(), O_CLOEXEC));
    if (!file_.valid())
        fail(AtomicWriteError::Step::Create, errno);

    created_ = true;

    // The destructor does not run for a constructor that raises: the file goes here then.
    const mode_t mode = replacing ? (existing.st_mode & 07777) : newFileMode;
    if (::fchmod(file_.get(), mode) != 0) {
        const int error = errno;
        file_.reset();
        ::unlink(temporary_.c_str());
        fail(AtomicWriteError::Step::Create, error);
    }
    if (replacing && (existing.st_uid != ::geteuid() || existing.st_gid != ::getegid())) {
        // Keep the owner and group where the system allows it (a root user saving someone's file).
        [[maybe_unused]] const int ignored = ::fchown(file_.get(), existing.st_uid, existing.st_gid);
    }
}

AtomicFileWriter::~AtomicFileWriter()
{
    file_.reset();
    if (created_ && !placed_)
        ::unlink(temporary_.c_str());
}

void AtomicFileWriter::Write(const void* data, std::size_t size)
{
    const auto* p = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t done = ::write(file_.get(), p, std::min(size, kWriteChunk));
        if (done < 0) {
            if (errno == EINTR)
                continue;
            fail(AtomicWriteError::Step::Write, errno);
        }
        p += done;
        size -= static_cast<std::size_t>(done);
    }
}

void AtomicFileWriter::Commit()
{
    if (::fsync(file_.get()) != 0 || file_.close() != 0)
        fail(AtomicWriteError::Step::Write, errno);
    if (::rename(temporary_.c_str(), target_.c_str()) != 0)
        fail(AtomicWriteError::Step::Create, errno);
    placed_ = true;
    syncFolderOf(target_);
}

} // namespace quillet
