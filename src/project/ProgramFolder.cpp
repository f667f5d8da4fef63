#include "ProgramFolder.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

#include <unistd.h>

namespace quillet {

namespace {

std::string executableFolder()
{
    std::error_code error;
    const std::filesystem::path executable = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error || executable.empty())
        return std::filesystem::current_path(error).string();
    return executable.parent_path().string();
}

std::string inProgramFolder(const char* name)
{
    std::string folder = programFolder();
    if (folder.empty() || folder.back() != '/')
        folder += '/';
    return folder + name;
}

std::string withoutTrailingSlashes(std::string folder)
{
    while (folder.size() > 1 && folder.back() == '/')
        folder.pop_back();
    return folder;
}

// Where an installed program's user keeps the program folder: $XDG_DATA_HOME/orv-quillet, else
// ~/.local/share/orv-quillet.
std::filesystem::path userProgramFolderPath()
{
    const char* dataHome = std::getenv("XDG_DATA_HOME");
    std::filesystem::path base;
    if (dataHome && *dataHome == '/')
        base = dataHome;
    else if (const char* home = std::getenv("HOME"); home && *home)
        base = std::filesystem::path(home) / ".local/share";
    else
        base = std::filesystem::current_path();
    return base / "orv-quillet";
}

// Makes the user's program folder on first use, owner-only, with a copy of the installed
// templates that the user can change and add to. It is filled under a temporary name and then
// renamed, so an interrupted first start leaves no folder without its templates and two programs
// starting at once do not mix their copies. When it cannot be made, nothing is left half done
// and the next use tries again; what the program then reads or writes there fails with a
// message naming the file.
void makeUserProgramFolder(const std::filesystem::path& folder, const std::string& installed)
{
    std::error_code error;
    if (std::filesystem::is_directory(folder, error))
        return;
    const std::filesystem::path partial = folder.parent_path() / (".orv-quillet." + std::to_string(::getpid()));
    std::filesystem::create_directories(folder.parent_path(), error);
    if (!error)
        std::filesystem::remove_all(partial, error); // left by an earlier process of this id
    if (!error)
        std::filesystem::create_directory(partial, error);
    if (!error)
        std::filesystem::permissions(partial, std::filesystem::perms::owner_all, error);
    const std::filesystem::path templates = std::filesystem::path(installed) / "Templates";
    if (!error && std::filesystem::is_directory(templates, error))
        std::filesystem::copy(templates, partial / "Templates", std::filesystem::copy_options::recursive, error);
    if (!error)
        std::filesystem::rename(partial, folder, error); // fails when another start made it first
    if (error)
        std::filesystem::remove_all(partial, error);
}

// A file the program only reads: the program folder's own copy, else the installed one.
std::string readOnlyItem(const char* name)
{
    const std::string installed = installedDataFolder();
    if (installed.empty() || (std::getenv("QUILLET_HOME") && *std::getenv("QUILLET_HOME")))
        return inProgramFolder(name);
    const std::filesystem::path own = userProgramFolderPath() / name;
    std::error_code error;
    return std::filesystem::exists(own, error) ? withoutTrailingSlashes(own.string()) : installed + '/' + name;
}

} // namespace

std::string installedDataFolder()
{
    static const std::string folder = [] {
        const std::filesystem::path executable(executableFolder());
        if (executable.filename() != "bin")
            return std::string();
        const std::filesystem::path data = executable.parent_path() / "share/orv-quillet";
        std::error_code error;
        return std::filesystem::is_directory(data, error) ? data.string() : std::string();
    }();
    return folder;
}

std::string programFolder()
{
    if (const char* home = std::getenv("QUILLET_HOME"); home && *home)
        return withoutTrailingSlashes(home);
    if (const std::string installed = installedDataFolder(); !installed.empty()) {
        const std::filesystem::path folder = userProgramFolderPath();
        makeUserProgramFolder(folder, installed);
        return withoutTrailingSlashes(folder.string());
    }
    static const std::string folder = executableFolder();
    return folder;
}

std::string defaultProjectPath()
{
    return inProgramFolder("default.oqf");
}

std::string templatesFolder()
{
    return inProgramFolder("Templates");
}

std::string logoPath()
{
    return readOnlyItem("qlogo.dat");
}

std::string layoutFilePath()
{
    return inProgramFolder("quillet.dat");
}

std::string helpFolder()
{
    // Not "quillet": the command-line executable of that name lives in the same folder.
    return readOnlyItem("quillet-help");
}

} // namespace quillet
