// A project of a million recipients (about 3 GB) on the command line: each command that changes
// it beside what it cannot do without, loading the file plus `dd conv=fsync` of its size, and
// its peak memory beside the file's size. Also the peak memory of loading and then saving.
//
// Usage: big_project_bench [--dir FOLDER] [--recipients N] [--quillet PATH]
// FOLDER should be on a real disk with room for three copies of the file (default: current
// folder). PATH is the command-line program (default: `quillet` beside this program).
#include "support/ProjectSample.h"

#include "project/ProjectFileReader.h"
#include "project/ProjectFileWriter.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

using namespace quillet;
using namespace quillet::bench;
using Clock = std::chrono::steady_clock;

namespace {

// Child mode: load the file, then save it over itself (its peak memory is the parent's figure).
int loadAndSave(const std::string& file)
{
    Project project = loadProjectFile(file);
    saveProjectFile(project, file);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    const std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
    std::string folder = ".";
    std::size_t recipients = 1000000;
    std::string quillet = (std::filesystem::path(self).parent_path() / "quillet").string();
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--load-and-save" && i + 1 < argc)
            return loadAndSave(argv[i + 1]);
        if (a == "--dir" && i + 1 < argc)
            folder = argv[++i];
        else if (a == "--recipients" && i + 1 < argc)
            recipients = std::strtoull(argv[++i], nullptr, 10);
        else if (a == "--quillet" && i + 1 < argc)
            quillet = argv[++i];
        else {
            std::fprintf(stderr, "usage: %s [--dir FOLDER] [--recipients N] [--quillet PATH]\n", argv[0]);
            return 2;
        }
    }
    const std::string file = (std::filesystem::path(folder) / "big-project.oqf").string();
    saveProjectFile(SampleProject(recipients), file);
    const double fileBytes = double(std::filesystem::file_size(file));
    std::printf("project: %zu recipients, file %.1f MB in %s\n", recipients, fileBytes / 1e6, folder.c_str());

    TimeCommand("cat " + Quoted(file) + " > /dev/null"); // into the page cache
    double load = 1e9;
    for (int round = 0; round < 2; ++round) {
        const auto start = Clock::now();
        const Project loaded = loadProjectFile(file);
        load = std::min(load, std::chrono::duration<double>(Clock::now() - start).count());
    }
    const std::string copy = file + ".dd";
    const double dd = TimeCommand("dd if=" + Quoted(file) + " of=" + Quoted(copy) + " bs=1M conv=fsync status=none");
    std::filesystem::remove(copy);
    const double peer = load + dd;
    std::printf("load %.3f s + dd bs=1M conv=fsync %.3f s = %.3f s (the peer of every command)\n", load, dd, peer);

    const ProgramRun save = RunProgram({self, "--load-and-save", file});
    std::printf("%-18s peak memory %8.1f MB  file %8.1f MB  ratio %.2f (target <= 1.1)\n", "load + save",
                save.peakBytes / 1e6, fileBytes / 1e6, save.peakBytes / fileBytes);

    const std::string group = SampleGroupName(3);
    const std::vector<std::pair<std::string, std::vector<std::string>>> commands = {
        {"recipient add", {"recipient", "add", file, "--group", group, "--email", "added@example.org", "--name", "Added"}},
        {"recipient edit",
         {"recipient", "edit", file, "--group", group, "--email", SampleAddress(recipients / 2 / 10 * 10 + 3),
          "--name", "Edited"}},
        {"recipient delete",
         {"recipient", "delete", file, "--group", group, "--email", SampleAddress((recipients - 1) / 10 * 10 + 3)}},
        {"group add", {"group", "add", file, "Bench group"}},
    };
    for (const auto& [name, arguments] : commands) {
        std::vector<std::string> argvOf = {quillet};
        argvOf.insert(argvOf.end(), arguments.begin(), arguments.end());
        const ProgramRun run = RunProgram(argvOf);
        if (run.status != 0) {
            std::printf("%-18s failed or not available (exit %d)\n", name.c_str(), run.status);
            continue;
        }
        std::printf("%-18s %8.3f s  ratio %.2f (target <= 1.5)   peak memory %8.1f MB  ratio to file %.2f\n",
                    name.c_str(), run.seconds, run.seconds / peer, run.peakBytes / 1e6, run.peakBytes / fileBytes);
    }
    std::filesystem::remove(file);
    return 0;
}
