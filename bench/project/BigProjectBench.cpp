// A project of a million recipients (about 3 GB) on the command line: each command that changes
// it beside what it cannot do without, loading the file plus `dd conv=fsync` of its size, and
// its peak memory beside the file's size. Also the peak memory of loading and then saving.
//
// The disk is shared and its fsync times swing several-fold from minute to minute, and on this
// virtual machine fresh memory (the host takes freed pages back) costs from nothing to many
// seconds for 3 GB, so each command and its peer run in turns over several rounds (in
// alternating order) and the medians are reported with the range of the rounds' ratios. Run once with --dir on a disk and once
// with --dir /dev/shm: on tmpfs fsync is free, so the second run shows our own work beyond
// the load and the copy without the disk's noise.
//
// Usage: big_project_bench [--dir FOLDER] [--recipients N] [--rounds K] [--quillet PATH]
//        big_project_bench [--recipients N] --sample FILE   (writes the sample project only)
// FOLDER should be on a real disk with room for three copies of the file (default: current
// folder). PATH is the command-line program (default: `quillet` beside this program).
#include "support/BenchBasics.h"
#include "support/ProjectSample.h"

#include "project/ProjectFileReader.h"
#include "project/ProjectFileWriter.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <tuple>
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

// Child mode, the peer: load the file, then copy it with dd conv=fsync while the loaded project
// is still held (as a command holds it while it writes: on a virtual machine whose free memory
// goes back to the host, the 3 GB of the new file's pages then cost the same on both sides).
// The two times go to TIMES as "load dd".
int loadThenCopy(const std::string& file, const std::string& copy, const std::string& times)
{
    const auto start = std::chrono::steady_clock::now();
    const Project project = loadProjectFile(file);
    const double load = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double dd = TimeCommand("dd if=" + Quoted(file) + " of=" + Quoted(copy) + " bs=1M conv=fsync status=none");
    std::ofstream(times) << load << ' ' << dd << '\n';
    return project.recipients.empty() ? 1 : 0;
}

} // namespace

int main(int argc, char** argv)
{
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    const std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
    std::string folder = ".";
    std::size_t recipients = 1000000;
    int rounds = 5;
    std::string quillet = (std::filesystem::path(self).parent_path() / "quillet").string();
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--load-and-save" && i + 1 < argc)
            return loadAndSave(argv[i + 1]);
        if (a == "--load-then-copy" && i + 3 < argc)
            return loadThenCopy(argv[i + 1], argv[i + 2], argv[i + 3]);
        if (a == "--sample" && i + 1 < argc) {
            saveProjectFile(SampleProject(recipients), argv[i + 1]);
            return 0;
        }
        if (a == "--dir" && i + 1 < argc)
            folder = argv[++i];
        else if (a == "--recipients" && i + 1 < argc)
            recipients = std::strtoull(argv[++i], nullptr, 10);
        else if (a == "--rounds" && i + 1 < argc)
            rounds = std::max(1, std::atoi(argv[++i]));
        else if (a == "--quillet" && i + 1 < argc)
            quillet = argv[++i];
        else {
            std::fprintf(stderr,
                         "usage: %s [--dir FOLDER] [--recipients N] [--rounds K] [--quillet PATH]\n"
                         "       %s [--recipients N] --sample FILE\n",
                         argv[0], argv[0]);
            return 2;
        }
    }
    const std::string file = (std::filesystem::path(folder) / "big-project.oqf").string();
    saveProjectFile(SampleProject(recipients), file);
    const double fileBytes = double(std::filesystem::file_size(file));
    std::printf("project: %zu recipients, file %.1f MB in %s\n", recipients, fileBytes / 1e6, folder.c_str());

    // Before each side the file's dirty pages are written out and the file is read into the page
    // cache, so that both start from the same state.
    const std::string settle = "sync " + Quoted(file) + " && cat " + Quoted(file) + " > /dev/null";
    const std::string copy = file + ".dd";
    const std::string times = file + ".times";
    auto measurePeer = [&] {
        TimeCommand(settle);
        const ProgramRun peer = RunProgram({self, "--load-then-copy", file, copy, times});
        std::filesystem::remove(copy);
        double load = 0, dd = 0;
        std::ifstream(times) >> load >> dd;
        std::filesystem::remove(times);
        if (peer.status != 0 || dd <= 0) {
            std::fprintf(stderr, "the peer failed on %s\n", file.c_str());
            std::exit(1);
        }
        return std::tuple{load, dd, peer.seconds};
    };

    std::printf("load average %s", LoadAverage().c_str());
    TimeCommand(settle);
    const ProgramRun save = RunProgram({self, "--load-and-save", file});
    std::printf("%-18s peak memory %8.1f MB  file %8.1f MB  ratio %.2f (target <= 1.1)\n", "load + save",
                save.peakBytes / 1e6, fileBytes / 1e6, save.peakBytes / fileBytes);

    // Every round changes a different recipient or adds a different group.
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
    std::vector<std::string> summary;
    for (int kind = 0; kind < 4; ++kind) {
        std::vector<double> ratios, times, peers;
        double peak = 0;
        for (int round = 0; round < rounds; ++round) {
            std::vector<std::string> argvOf = {quillet};
            for (std::string& argument : commandOf(kind, round))
                argvOf.push_back(std::move(argument));
            auto runCommand = [&] {
                TimeCommand(settle);
                const ProgramRun run = RunProgram(argvOf);
                if (run.status != 0) {
                    std::printf("%-18s failed (exit %d)\n", names[kind], run.status);
                    std::exit(1);
                }
                return run;
            };
            // Alternating order: neither side always follows the other's writes.
            std::tuple<double, double, double> peer;
            ProgramRun run;
            if (round % 2 == 0) {
                peer = measurePeer();
                run = runCommand();
            } else {
                run = runCommand();
                peer = measurePeer();
            }
            const auto [load, dd, peerSeconds] = peer;
            std::printf("  %-16s %7.3f s   peer %7.3f s (load %.3f s, dd %.3f s)   ratio %.2f\n", names[kind],
                        run.seconds, peerSeconds, load, dd, run.seconds / peerSeconds);
            ratios.push_back(run.seconds / peerSeconds);
            times.push_back(run.seconds);
            peers.push_back(peerSeconds);
            peak = std::max(peak, run.peakBytes);
        }
        char line[256];
        std::snprintf(line, sizeof line,
                      "%-18s %7.3f s  peer %7.3f s  median ratio %.2f (rounds %.2f-%.2f, target <= 1.5)  peak memory "
                      "%.2f of the file",
                      names[kind], Median(times), Median(peers), Median(ratios),
                      *std::min_element(ratios.begin(), ratios.end()), *std::max_element(ratios.begin(), ratios.end()),
                      peak / fileBytes);
        summary.push_back(line);
    }
    std::printf("\n%d rounds each, medians:\n", rounds);
    for (const std::string& line : summary)
        std::printf("%s\n", line.c_str());
    std::printf("load average %s", LoadAverage().c_str());
    std::filesystem::remove(file);
    return 0;
}
