#include "TemplateStore.h"

#include "MailingTexts.h"
#include "PreflightCheck.h"

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_set>

namespace quillet {

namespace {

// A file the user may write: a regular file with the owner's write permission that the user
// can open for writing. The permission bit is tested as well because the administrator may
// write any file.
bool isWritableRegularFile(const std::filesystem::path& path)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return false;
    return (st.st_mode & S_IWUSR) != 0 && ::access(path.c_str(), W_OK) == 0;
}

bool hasTemplateExtension(const std::string& fileName)
{
    return fileName.size() >= kTemplateExtension.size() &&
           fileName.compare(fileName.size() - kTemplateExtension.size(), std::string::npos, kTemplateExtension) == 0;
}

} // namespace

std::vector<TemplateRow> keepShownOrder(const std::vector<TemplateRow>& shown, std::vector<TemplateRow> listed)
{
    std::vector<TemplateRow> ordered;
    ordered.reserve(listed.size());
    std::vector<bool> taken(listed.size(), false);
    for (const TemplateRow& row : shown) {
        for (std::size_t i = 0; i < listed.size(); ++i) {
            if (!taken[i] && listed[i].name == row.name) {
                taken[i] = true;
                ordered.push_back(std::move(listed[i]));
                break;
            }
        }
    }
    for (std::size_t i = 0; i < listed.size(); ++i)
        if (!taken[i])
            ordered.push_back(std::move(listed[i]));
    return ordered;
}

std::filesystem::path TemplateStore::pathOf(const std::string& name) const
{
    // The name becomes a file name inside the folder: a "/" would reach another folder.
    if (name.find_first_of(std::string_view("/\0", 2)) != std::string::npos)
        throw ETemplateError(formatMessage(kTemplateNameInvalid, {name}));
    return folder_ / (name + std::string(kTemplateExtension));
}

std::filesystem::path TemplateStore::htmlPathOf(const std::string& name) const
{
    return pathOf(name).string() + ".html";
}

bool TemplateStore::exists(const std::string& name) const
{
    std::error_code error;
    return std::filesystem::exists(pathOf(name), error);
}

std::vector<TemplateRow> TemplateStore::list() const
{
    std::vector<TemplateRow> rows;
    std::error_code error;
    std::filesystem::directory_iterator it(folder_, error);
    if (error)
        return rows;
    for (; it != std::filesystem::directory_iterator(); it.increment(error)) {
        const std::filesystem::path path = it->path();
        if (!hasTemplateExtension(path.filename().string()) || !isWritableRegularFile(path))
            continue;
        std::vector<std::string> lines;
        try {
            lines = ReadTemplateLines(path);
        } catch (const ETemplateError&) {
            continue; // locked or vanished meanwhile: the list stays usable without it
        }
        if (lines.empty() || lines[0] != kTemplateHeader)
            continue;
        const MessageTemplate tmpl = TemplateFromLines(lines);
        rows.push_back({tmpl.name, tmpl.subject});
    }
    return rows;
}

MessageTemplate TemplateStore::read(const std::string& name) const
{
    MessageTemplate tmpl = TemplateFromLines(ReadTemplateLines(pathOf(name)));
    std::error_code error;
    if (std::filesystem::exists(htmlPathOf(name), error))
        tmpl.htmlBody = ReadTemplateLines(htmlPathOf(name));
    return tmpl;
}

void TemplateStore::create(const MessageTemplate& tmpl) const
{
    if (exists(tmpl.name))
        throw ETemplateError(std::string(kTemplateExists));
    save(tmpl);
}

void TemplateStore::save(const MessageTemplate& tmpl) const
{
    const std::filesystem::path path = pathOf(tmpl.name);
    // One level only: a program folder that is gone is an error, not something to rebuild.
    if (::mkdir(folder_.c_str(), 0755) != 0 && errno != EEXIST) {
        const int error = errno;
        throw ETemplateError(formatMessage(kCannotCreateFile, {path.string(), std::strerror(error)}));
    }
    WriteTemplateFile(path, tmpl);
    const std::filesystem::path html = htmlPathOf(tmpl.name);
    if (tmpl.htmlBody.empty()) {
        ::unlink(html.c_str());
        return;
    }
    std::string bytes;
    for (const auto& line : tmpl.htmlBody)
        bytes += line + "\r\n";
    WriteFileAtomically(html, bytes);
}

void TemplateStore::replace(const std::string& oldName, const MessageTemplate& edited) const
{
    if (edited.name == oldName) {
        save(edited);
        return;
    }
    create(edited);
    remove(oldName);
}

bool TemplateStore::remove(const std::string& name) const
{
    std::error_code error;
    std::filesystem::remove(htmlPathOf(name), error);
    return std::filesystem::remove(pathOf(name), error);
}

std::vector<std::string> TemplateMacroNames(const TemplateStore& store)
{
    std::vector<std::string> names;
    std::unordered_set<std::string> seen;
    const auto collect = [&](std::string_view text) {
        for (std::string& name : MacroNamesIn(text))
            if (seen.insert(name).second)
                names.push_back(std::move(name));
    };
    for (const TemplateRow& row : store.list()) {
        MessageTemplate tmpl;
        try {
            tmpl = store.read(row.name);
        } catch (const std::exception&) {
            continue; // removed or unreadable since it was listed
        }
        collect(tmpl.subject);
        for (const auto* lines : {&tmpl.body, &tmpl.htmlBody})
            for (const std::string& line : *lines)
                collect(line);
    }
    return names;
}

} // namespace quillet
