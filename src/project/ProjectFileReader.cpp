#include "ProjectFileReader.h"

#include "CodePage.h"
#include "FileDescriptor.h"
#include "ProjectFileLayout.h"
#include "ProjectMessages.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <limits>
#include <memory>
#include <optional>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quillet {

namespace {

// Recipient records are read in blocks of this many bytes (rounded down to whole records).
constexpr std::size_t kRecipientBlockBytes = 256 << 10;
constexpr std::size_t kSmallReadBuffer = 64 << 10;
// Room for appended recipients is reserved beyond the records read (one eighth more, at least
// this many), so the first appends to a large project do not remap its list. Reserved memory
// that is never written costs address space only, no RAM.
constexpr std::size_t kAppendHeadroomDivisor = 8;
constexpr std::size_t kMinimumAppendHeadroom = 1024;

// Sequential reading of one file (or bytes in memory) with a small buffer for the short blocks
// and direct reads for the large ones. Knows how many bytes the file still holds when it is a
// regular file.
class ProjectInput {
public:
    explicit ProjectInput(const std::string& path) : path_(path)
    {
        int fd;
        do
            fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        while (fd < 0 && errno == EINTR);
        if (fd < 0)
            throw ProjectFileError(ProjectFileError::Kind::CannotOpen,
                                   formatFileMessage(messages::kCannotOpenFile, path, std::strerror(errno)));
        fd_ = FileDescriptor(fd);
        struct stat st {};
        if (::fstat(fd, &st) != 0)
            throw ProjectFileError(ProjectFileError::Kind::CannotOpen,
                                   formatFileMessage(messages::kCannotOpenFile, path, std::strerror(errno)));
        if (S_ISDIR(st.st_mode))
            throw ProjectFileError(ProjectFileError::Kind::CannotOpen,
                                   formatFileMessage(messages::kCannotOpenFile, path, std::strerror(EISDIR)));
        if (S_ISREG(st.st_mode)) {
            sizeKnown_ = true;
            size_ = static_cast<std::uint64_t>(st.st_size);
        }
    }

    ProjectInput(std::string_view bytes, const std::string& name, bool sizeKnown)
        : path_(name), memory_(bytes), sizeKnown_(sizeKnown), size_(bytes.size())
    {
    }

    // Reads up to n bytes; returns how many were read (fewer only at the end of the file).
    std::size_t readSome(void* destination, std::size_t n)
    {
        auto* out = static_cast<unsigned char*>(destination);
        std::size_t done = std::min(n, bufferEnd_ - bufferPos_);
        std::memcpy(out, buffer_ + bufferPos_, done);
        bufferPos_ += done;
        while (done < n && !atEnd_) {
            const std::size_t wanted = n - done;
            if (wanted >= kSmallReadBuffer) {
                done += readDirect(out + done, wanted);
            } else {
                bufferPos_ = 0;
                bufferEnd_ = readDirect(buffer_, kSmallReadBuffer);
                const std::size_t take = std::min(wanted, bufferEnd_);
                std::memcpy(out + done, buffer_, take);
                bufferPos_ = take;
                done += take;
            }
        }
        return done;
    }

    // Reads exactly n bytes; a file that ends first is damaged.
    void read(void* destination, std::size_t n)
    {
        if (readSome(destination, n) != n)
            throw damaged();
    }

    std::int32_t readCount()
    {
        unsigned char bytes[layout::kCountSize];
        read(bytes, sizeof bytes);
        return layout::getCount(bytes);
    }

    // The number of entries of `entrySize` bytes a count promises, refusing a count the rest of
    // the file cannot hold. A count of zero or below means no entries.
    std::size_t entries(std::int32_t count, std::size_t entrySize)
    {
        if (count <= 0)
            return 0;
        const auto n = static_cast<std::size_t>(count);
        if (sizeKnown_ && n > remaining() / entrySize)
            throw damaged();
        return n;
    }

    bool sizeKnown() const { return sizeKnown_; }

    ProjectFileError damaged() const
    {
        return ProjectFileError(ProjectFileError::Kind::Damaged, formatFileMessage(messages::kDamagedFile, path_));
    }

private:
    std::uint64_t remaining() const
    {
        const std::uint64_t consumed = position_ - (bufferEnd_ - bufferPos_);
        return size_ > consumed ? size_ - consumed : 0;
    }

    std::size_t readDirect(unsigned char* out, std::size_t n)
    {
        std::size_t done = 0;
        if (memory_) {
            done = std::min(n, memory_->size());
            std::memcpy(out, memory_->data(), done);
            memory_->remove_prefix(done);
            position_ += done;
            atEnd_ = done < n;
            return done;
        }
        while (done < n) {
            const ssize_t got = ::read(fd_.get(), out + done, std::min<std::size_t>(n - done, 1 << 30));
            if (got < 0) {
                if (errno == EINTR)
                    continue;
                throw ProjectFileError(ProjectFileError::Kind::CannotRead,
                                       formatFileMessage(messages::kCannotReadFile, path_, std::strerror(errno)));
            }
            if (got == 0) {
                atEnd_ = true;
                break;
            }
            done += static_cast<std::size_t>(got);
            position_ += static_cast<std::uint64_t>(got);
        }
        return done;
    }

    std::string path_;
    FileDescriptor fd_;
    std::optional<std::string_view> memory_; // the bytes not yet taken, when reading from memory
    bool sizeKnown_ = false;
    std::uint64_t size_ = 0;
    std::uint64_t position_ = 0; // bytes taken from the file so far
    bool atEnd_ = false;
    unsigned char buffer_[kSmallReadBuffer];
    std::size_t bufferPos_ = 0;
    std::size_t bufferEnd_ = 0;
};

std::string readText(ProjectInput& input)
{
    ShortString255 field;
    input.read(field.bytes, sizeof field.bytes);
    return field.str();
}

void readRecipients(ProjectInput& input, std::size_t count, RecipientList& records,
                    const RecipientBlockObserver& onBlock)
{
    // The count was checked against the file's size, so reserving it is safe; when the size is
    // unknown (a pipe) the list grows as the records arrive.
    if (input.sizeKnown())
        records.reserve(count + std::max(count / kAppendHeadroomDivisor, kMinimumAppendHeadroom));
    // Read straight into the list's fresh memory, a block at a time.
    const std::size_t block = kRecipientBlockBytes / layout::kRecipientSize;
    while (records.size() < count) {
        const std::size_t n = std::min(block, count - records.size());
        RecipientRecord* read = records.appendBlank(n);
        input.read(read, n * layout::kRecipientSize);
        if (onBlock)
            onBlock(std::span<const RecipientRecord>(read, n));
    }
}

} // namespace

std::string_view fileNamePart(std::string_view path)
{
    const std::size_t slash = path.rfind('/');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

namespace {

Project readProject(ProjectInput& in, const std::string& path, const RecipientBlockObserver& onBlock = {})
{
    ProjectInput* input = &in;
    Project project;
    project.path = path;

    // Header: the length byte and the text it announces must both match.
    char header[layout::kHeader.size()];
    if (input->readSome(header, sizeof header) != sizeof header ||
        std::string_view(header, sizeof header) != layout::kHeader)
        throw ProjectFileError(ProjectFileError::Kind::NotProjectFile, messages::kNotProjectFile);

    input->read(&project.properties, sizeof project.properties);

    // Lists are reserved ahead only for counts checked against the file's size; from a pipe they
    // grow as the entries arrive, so a damaged count ends in "damaged", not in a huge allocation.
    const std::size_t groupCount = input->entries(input->readCount(), layout::kGroupSize);
    if (input->sizeKnown())
        project.groups.reserve(groupCount);
    for (std::size_t i = 0; i < groupCount; ++i) {
        GroupEntry group;
        group.name = readText(*input);
        group.description = readText(*input);
        project.groups.push_back(std::move(group));
    }

    const std::size_t recipientCount = input->entries(input->readCount(), layout::kRecipientSize);
    readRecipients(*input, recipientCount, project.recipients, onBlock);

    const std::size_t accountCount = input->entries(input->readCount(), layout::kAccountSize);
    if (input->sizeKnown())
        project.accounts.reserve(accountCount);
    for (std::size_t i = 0; i < accountCount; ++i) {
        SmtpAccount account;
        for (std::string* field : {&account.host, &account.user, &account.password, &account.port, &account.fromName,
                                   &account.fromAddress, &account.replyTo, &account.enabled})
            *field = readText(*input);
        project.accounts.push_back(std::move(account));
    }
    return project;
}

} // namespace

Project loadProjectFile(const std::string& path)
{
    return loadProjectFile(path, {});
}

Project loadProjectFile(const std::string& path, const RecipientBlockObserver& onBlock)
{
    auto input = std::make_unique<ProjectInput>(path);
    return readProject(*input, path, onBlock);
}

Project readProjectBytes(std::string_view bytes, const std::string& name, bool sizeKnown)
{
    auto input = std::make_unique<ProjectInput>(bytes, name, sizeKnown);
    return readProject(*input, name);
}

void loadProjectFileInto(Project& project, const std::string& path)
{
    project.path = path;
    // File names are UTF-8 on this system; Name is code-page text.
    project.properties.Name.set(utf8ToCodePageForMessage(fileNamePart(path)));
    Project loaded = loadProjectFile(path);
    project.properties = loaded.properties;
    project.groups = std::move(loaded.groups);
    project.recipients = std::move(loaded.recipients);
    project.accounts = std::move(loaded.accounts);
    project.setChanged(false);
}

} // namespace quillet
