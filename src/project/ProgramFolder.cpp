#include "ProgramFolder.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

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

} // namespace

std::string programFolder()
{
    if (const char* home = std::getenv("QUILLET_HOME"); home && *home) {
        std::string folder = home;
        while (folder.size() > 1 && folder.back() == '/')
            folder.pop_back();
        return folder;
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
    return inProgramFolder("qlogo.dat");
}

std::string layoutFilePath()
{
    return inProgramFolder("quillet.dat");
}

std::string helpFolder()
{
    // Not "quillet": the command-line executable of that name lives in the same folder.
    return inProgramFolder("quillet-help");
}

} // namespace quillet
