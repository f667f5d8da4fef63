// A project of a million recipients (about 3 GB) on the command line: each command that changes
// it beside what it cannot do without, loading the file plus `dd conv=fsync` of its size, and
// its peak memory beside the file's size. Also the peak memory of loading and then saving.
//
// Usage: big_project_bench [--dir FOLDER] [--recipients N] [--rounds K] [--quillet PATH]
// FOLDER should be on a real disk with room for three copies of the file (default: current
// folder). PATH is the command-line program (default: `quillet` beside this program).
#include "support/BenchBasics.h"
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
    int rounds = 3;
    std::string quillet = (std::filesystem::path(self).parent_path() / "quillet").string();
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--load-and-save" && i + 1 < argc)
            return loadAndSave(argv[i + 1]);
        if (a == "--dir" && i + 1 < argc)
            folder = argv[++i];
        else if (a == "--recipients" && i + 1 < argc)
            recipients = std::strtoull(argv[++i], nullptr, 10);
        else if (a == "--rounds" && i + 1 < argc)
            rounds = std::max(1, std::atoi(argv[++i]));
        else if (a == "--quillet" && i + 1 < argc)
            quillet = argv[++i];
        else {
            std::fprintf(stderr, "usage: %s [--dir FOLDER] [--recipients N] [--rounds K] [--quillet PATH]\n", argv[0]);
            return 2;
        }
    }
    const std::string file = (std::filesystem::path(folder) / "big-project.oqf").string();
    saveProjectFile(SampleProject(recipients), file);
    const double fileBytes = double(std::filesystem::file_size(file));
    std::printf("project: %zu recipients, file %.1f MB in %s\n", recipients, fileBytes / 1e6, folder.c_str());
    std::setvbuf(stdout, nullptr, _IOLBF, 0);

    // The peer, measured again before every command (the machine's load changes): the file's
    // dirty pages written out first, then a load from the page cache and dd conv=fsync.
    const std::string copy = file + ".dd";
    auto measurePeer = [&] {
        TimeCommand("sync " + Quoted(file) + " && cat " + Quoted(file) + " > /dev/null");
        const auto start = Clock::now();
        const Project loaded = loadProjectFile(file);
        const double load = std::chrono::duration<double>(Clock::now() - start).count();
        const double dd =
            TimeCommand("dd if=" + Quoted(file) + " of=" + Quoted(copy) + " bs=1M conv=fsync status=none");
        std::filesystem::remove(copy);
        TimeCommand("sync " + Quoted(file) + " && cat " + Quoted(file) + " > /dev/null");
        std::printf("  peer: load %.3f s + dd bs=1M conv=fsync %.3f s = %.3f s\n", load, dd, load + dd);
        return load + dd;
    };

    measurePeer();
    const ProgramRun save = RunProgram({self, "--load-and-save", file});
    std::printf("%-18s peak memory %8.1f MB  file %8.1f MB  ratio %.2f (target <= 1.1)\n", "load + save",
                save.peakBytes / 1e6, fileBytes / 1e6, save.peakBytes / fileBytes);

    // Each command runs `rounds` times, each time right after its own peer; the median ratio
    // is reported. Every round changes a different recipient or adds a different group.
    const std::string group = SampleGroupName(3);
    auto commandOf = [&](int kind, int round) -> std::vector<std::string> {
        const std::string n = std::to_string(round);
        switch (kind) {
        case 0: return {"recipient", "add", file, "--group", group, "--email", "added" + n + "@example.org"};
        case 1:
            return {"recipient",
                    "edit",
                    file,
                    "--group",
                    group,
                    "--email",
                    SampleAddress(recipients / 2 / 10 * 10 + 3 + 10 * std::size_t(round)),
                    "--name",
                    "Edited"};
        case 2:
            return {"recipient",
                    "delete",
                    file,
                    "--group",
                    group,
                    "--email",
                    SampleAddress((recipients - 1) / 10 * 10 + 3 - 10 * std::size_t(round))};
        default: return {"group", "add", file, "Bench group " + n};
        }
    };
    const char* names[] = {"recipient add", "recipient edit", "recipient delete", "group add"};
    for (int kind = 0; kind < 4; ++kind) {
        std::vector<double> ratios, times;
        double peak = 0;
        for (int round = 0; round < rounds; ++round) {
            std::vector<std::string> argvOf = {quillet};
            for (std::string& argument : commandOf(kind, round))
                argvOf.push_back(std::move(argument));
            const double peer = measurePeer();
            const ProgramRun run = RunProgram(argvOf);
            if (run.status != 0) {
                std::printf("%-18s failed (exit %d)\n", names[kind], run.status);
                return 1;
            }
            std::printf("  %s %.3f s\n", names[kind], run.seconds);
            ratios.push_back(run.seconds / peer);
            times.push_back(run.seconds);
            peak = std::max(peak, run.peakBytes);
        }
        std::printf("%-18s %8.3f s  ratio to its peer %.2f (target <= 1.5)   peak memory %8.1f MB, %.2f of the file\n",
                    names[kind], Median(times), Median(ratios), peak / 1e6, peak / fileBytes);
    }
    std::filesystem::remove(file);
    return 0;
}
