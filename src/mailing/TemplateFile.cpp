#include "TemplateFile.h"

#include "MailingTexts.h"
#include "project/AtomicFileWriter.h"
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
    const FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    auto fail = [&path](int error) {
        return ETemplateError(formatMessage(kCannotOpenFile, {path.string(), std::strerror(error)}));
    };
    if (!file.valid())
        throw fail(errno);
    std::string bytes;
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(file.get(), buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            throw fail(errno);
        if (n == 0)
            break;
        bytes.append(buffer, static_cast<std::size_t>(n));
    }
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
    WriteFileAtomically(path, TemplateFileBytes(tmpl));
}

void WriteFileAtomically(const std::filesystem::path& path, const std::string& bytes)
{
    auto fail = [&path](int error) {
        return ETemplateError(formatMessage(kCannotCreateFile, {path.string(), std::strerror(error)}));
    };
    // A read-only file stays as it is, also for the administrator.
    struct stat existing {};
    const bool replacing = ::stat(path.c_str(), &existing) == 0;
    if (replacing && (!S_ISREG(existing.st_mode) || (existing.st_mode & S_IWUSR) == 0))
        throw fail(S_ISDIR(existing.st_mode) ? EISDIR : EACCES);

    // A failure never leaves a half-written template behind.
    try {
        AtomicFileWriter file(path.string(), 0644);
        file.Write(bytes);
        file.Commit();
    } catch (const AtomicWriteError& error) {
        throw fail(error.error());
    }
}

} // namespace quillet
