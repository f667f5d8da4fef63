#include "TemplateFile.h"

#include "MailingTexts.h"
#include "project/FileDescriptor.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quillet {

std::vector<std::string> SplitTemplateLines(std::string_view bytes)
{
    bytes = bytes.substr(0, bytes.find('\0'));
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] != '\r' && bytes[i] != '\n')
            continue;
        lines.emplace_back(bytes.substr(start, i - start));
        if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n')
            ++i;
        start = i + 1;
    }
    if (start < bytes.size())
        lines.emplace_back(bytes.substr(start));
    return lines;
}

std::string TemplateFileBytes(const MessageTemplate& tmpl)
{
    std::string out;
    auto line = [&out](std::string_view text) {
        out += text;
        out += "\r\n";
    };
    line(kTemplateHeader);
    line(tmpl.name);
    line(tmpl.subject);
    line(tmpl.replyTo);
    for (const auto& bodyLine : tmpl.body)
        line(bodyLine);
    return out;
}

std::vector<std::string> ReadTemplateLines(const std::filesystem::path& path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    auto fail = [&path](int error) {
        return ETemplateError(formatMessage(kCannotOpenFile, {path.string(), std::strerror(error)}));
    };
    if (fd < 0)
        throw fail(errno);
    std::string bytes;
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            const int error = errno;
            ::close(fd);
            throw fail(error);
        }
        if (n == 0)
            break;
        bytes.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return SplitTemplateLines(bytes);
}

MessageTemplate TemplateFromLines(const std::vector<std::string>& lines)
{
    auto at = [&lines](std::size_t i) { return i < lines.size() ? lines[i] : std::string(); };
    MessageTemplate tmpl{at(1), at(2), at(3), {}};
    if (lines.size() > 4)
        tmpl.body.assign(lines.begin() + 4, lines.end());
    return tmpl;
}

void WriteTemplateFile(const std::filesystem::path& path, const MessageTemplate& tmpl)
{
    auto fail = [&path](int error) {
        return ETemplateError(formatMessage(kCannotCreateFile, {path.string(), std::strerror(error)}));
    };
    // A read-only file stays as it is, also for the administrator.
    struct stat existing {};
    const bool replacing = ::stat(path.c_str(), &existing) == 0;
    if (replacing && (!S_ISREG(existing.st_mode) || (existing.st_mode & S_IWUSR) == 0))
        throw fail(S_ISDIR(existing.st_mode) ? EISDIR : EACCES);
    const mode_t mode = replacing ? (existing.st_mode & 07777) : 0644;

    // The bytes go to a new file beside the old one, which is replaced only once they are all
    // written: a failure never leaves a half-written template behind.
    const std::string bytes = TemplateFileBytes(tmpl);
    std::string temporary = path.string() + ".XXXXXX";
    const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0)
        throw fail(errno);
    auto abandon = [&](int error) {
        ::close(fd);
        ::unlink(temporary.c_str());
        return fail(error);
    };
    if (const int error = writeAllBytes(fd, bytes))
        throw abandon(error);
    if (::fchmod(fd, mode) != 0 || ::fsync(fd) != 0)
        throw abandon(errno);
    if (::close(fd) != 0) {
        const int error = errno;
        ::unlink(temporary.c_str());
        throw fail(error);
    }
    if (::rename(temporary.c_str(), path.c_str()) != 0) {
        const int error = errno;
        ::unlink(temporary.c_str());
        throw fail(error);
    }
}

} // namespace quillet
