#include "ProjectFileWriter.h"

#include "AtomicFileWriter.h"
#include "ProjectFileLayout.h"
#include "ProjectMessages.h"

#include <cstring>
#include <limits>

namespace quillet {

namespace {

constexpr mode_t kNewFileMode = 0600;

[[noreturn]] void fail(ProjectFileError::Kind kind, const char* format, const std::string& path, int error)
{
    throw ProjectFileError(kind, formatFileMessage(format, path, std::strerror(error)));
}

class ProjectOutput {
public:
    explicit ProjectOutput(AtomicFileWriter& file) : file_(file) {}

    void write(const void* data, std::size_t n) { file_.Write(data, n); }

    void writeCount(std::size_t count)
    {
        unsigned char bytes[layout::kCountSize];
        layout::putCount(bytes, static_cast<std::int32_t>(count));
        write(bytes, sizeof bytes);
    }

private:
    AtomicFileWriter& file_;
};

// Appends one 256-byte text field (cut to 255 bytes, rest zero-filled) to a block.
void appendText(std::string& block, std::string_view text)
{
    const ShortString255 field(text);
    block.append(reinterpret_cast<const char*>(field.bytes), sizeof field.bytes);
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

} // namespace

void saveProjectFile(const Project& project, const std::string& path)
{
    constexpr auto kMaxCount = static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max());
    if (project.groups.size() > kMaxCount || project.recipients.size() > kMaxCount ||
        project.accounts.size() > kMaxCount)
        throw ProjectFileError(ProjectFileError::Kind::CannotWrite, formatFileMessage(messages::kTooManyEntries, path));

    try {
        AtomicFileWriter file(path, kNewFileMode);
        ProjectOutput out(file);
        writeContents(project, out);
        file.Commit();
    } catch (const AtomicWriteError& error) {
        if (error.step() == AtomicWriteError::Step::Create)
            fail(ProjectFileError::Kind::CannotCreate, messages::kCannotCreateFile, path, error.error());
        fail(ProjectFileError::Kind::CannotWrite, messages::kCannotWriteFile, path, error.error());
    }
}

void saveProject(Project& project)
{
    saveProjectFile(project, project.path);
    project.setChanged(false);
}

} // namespace quillet
