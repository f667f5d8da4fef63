#include "ProjectFileWriter.h"

#include "FileDescriptor.h"
#include "ProjectFileLayout.h"
#include "ProjectMessages.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <limits>
#include <sys/stat.h>
#include <unistd.h>

namespace quillet {

namespace {

constexpr std::size_t kWriteChunk = 8 << 20;
constexpr mode_t kNewFileMode = 0600;
constexpr std::size_t kTemporaryNameMax = 200;

[[noreturn]] void fail(ProjectFileError::Kind kind, const char* format, const std::string& path, int error)
{
    throw ProjectFileError(kind, formatFileMessage(format, path, std::strerror(error)));
}

// The temporary file beside the target: removed again unless it was renamed into place.
class TemporaryFile {
public:
    TemporaryFile(const std::string& target, const std::string& shownPath)
    {
        const std::size_t slash = target.rfind('/');
        const std::string folder = slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
        const std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
        // The name is shortened so that a file name near the system's limit still gets a sibling.
        path_ = folder + "." + name.substr(0, kTemporaryNameMax) + ".save-XXXXXX";
        const int fd = ::mkostemp(path_.data(), O_CLOEXEC);
        if (fd < 0)
            fail(ProjectFileError::Kind::CannotCreate, messages::kCannotCreateFile, shownPath, errno);
        fd_ = FileDescriptor(fd);
    }
    ~TemporaryFile()
    {
        fd_.reset();
        if (!placed_)
            ::unlink(path_.c_str());
    }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;

    int fd() const { return fd_.get(); }
    const std::string& path() const { return path_; }
    int close() { return fd_.close(); }
    void placed() { placed_ = true; }

private:
    std::string path_;
    FileDescriptor fd_;
    bool placed_ = false;
};

class ProjectOutput {
public:
    ProjectOutput(int fd, const std::string& path) : fd_(fd), path_(path) {}

    void write(const void* data, std::size_t n)
    {
        const auto* p = static_cast<const unsigned char*>(data);
        while (n > 0) {
            const ssize_t done = ::write(fd_, p, std::min(n, kWriteChunk));
            if (done < 0) {
                if (errno == EINTR)
                    continue;
                fail(ProjectFileError::Kind::CannotWrite, messages::kCannotWriteFile, path_, errno);
            }
            p += done;
            n -= static_cast<std::size_t>(done);
        }
    }

    void writeCount(std::size_t count)
    {
        unsigned char bytes[layout::kCountSize];
        layout::putCount(bytes, static_cast<std::int32_t>(count));
        write(bytes, sizeof bytes);
    }

private:
    int fd_;
    const std::string& path_;
};

// Appends one 256-byte text field (cut to 255 bytes, rest zero-filled) to a block.
void appendText(std::string& block, std::string_view text)
{
    const ShortString255 field(text);
    block.append(reinterpret_cast<const char*>(field.bytes), sizeof field.bytes);
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

void writeContents(const Project& project, ProjectOutput& out)
{
    std::string head;
    head.reserve(layout::kHeader.size() + sizeof(ProjectProperties));
    head.append(layout::kHeader);
    head.append(reinterpret_cast<const char*>(&project.properties), sizeof project.properties);
    out.write(head.data(), head.size());

    std::string groups;
    groups.reserve(project.groups.size() * layout::kGroupSize);
    for (const GroupEntry& group : project.groups) {
        appendText(groups, group.name);
        appendText(groups, group.description);
    }
    out.writeCount(project.groups.size());
    out.write(groups.data(), groups.size());

    out.writeCount(project.recipients.size());
    out.write(project.recipients.data(), project.recipients.size() * layout::kRecipientSize);

    std::string accounts;
    accounts.reserve(project.accounts.size() * layout::kAccountSize);
    for (const SmtpAccount& a : project.accounts)
        for (const std::string* field :
             {&a.host, &a.user, &a.password, &a.port, &a.fromName, &a.fromAddress, &a.replyTo, &a.enabled})
            appendText(accounts, *field);
    out.writeCount(project.accounts.size());
    out.write(accounts.data(), accounts.size());
}

void syncFolderOf(const std::string& target, const std::string& shownPath)
{
    const std::size_t slash = target.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : (slash == 0 ? "/" : target.substr(0, slash));
    FileDescriptor dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!dir.valid())
        fail(ProjectFileError::Kind::CannotWrite, messages::kCannotWriteFile, shownPath, errno);
    // Some file systems cannot sync a folder; the rename is in place either way.
    if (::fsync(dir.get()) != 0 && errno != EINVAL && errno != EROFS)
        fail(ProjectFileError::Kind::CannotWrite, messages::kCannotWriteFile, shownPath, errno);
}

} // namespace

void saveProjectFile(const Project& project, const std::string& path)
{
    constexpr auto kMaxCount = static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max());
    if (project.groups.size() > kMaxCount || project.recipients.size() > kMaxCount ||
        project.accounts.size() > kMaxCount)
        throw ProjectFileError(ProjectFileError::Kind::CannotWrite, formatFileMessage(messages::kTooManyEntries, path));

    if (path.empty())
        fail(ProjectFileError::Kind::CannotCreate, messages::kCannotCreateFile, path, ENOENT);
    const std::string target = resolveTarget(path);
    struct stat existing {};
    const bool replacing = ::stat(target.c_str(), &existing) == 0;
    if (replacing && S_ISDIR(existing.st_mode))
        fail(ProjectFileError::Kind::CannotCreate, messages::kCannotCreateFile, path, EISDIR);

    TemporaryFile temporary(target, path);
    const mode_t mode = replacing ? (existing.st_mode & 07777) : kNewFileMode;
    if (::fchmod(temporary.fd(), mode) != 0)
        fail(ProjectFileError::Kind::CannotCreate, messages::kCannotCreateFile, path, errno);
    if (replacing && (existing.st_uid != ::geteuid() || existing.st_gid != ::getegid())) {
        // Keep the owner and group where the system allows it (a root user saving someone's file).
        [[maybe_unused]] const int ignored = ::fchown(temporary.fd(), existing.st_uid, existing.st_gid);
    }

    ProjectOutput out(temporary.fd(), path);
    writeContents(project, out);
    if (::fsync(temporary.fd()) != 0)
        fail(ProjectFileError::Kind::CannotWrite, messages::kCannotWriteFile, path, errno);
    if (temporary.close() != 0)
        fail(ProjectFileError::Kind::CannotWrite, messages::kCannotWriteFile, path, errno);
    if (::rename(temporary.path().c_str(), target.c_str()) != 0)
        fail(ProjectFileError::Kind::CannotCreate, messages::kCannotCreateFile, path, errno);
    temporary.placed();
    syncFolderOf(target, path);
}

void saveProject(Project& project)
{
    saveProjectFile(project, project.path);
    project.setChanged(false);
}

} // namespace quillet
