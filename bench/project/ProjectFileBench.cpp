// Saving and loading a project of 100,000 recipients (about 307 MB), each beside the system
// tool that does the least the same job can do, measured in the same run:
//   save (write + fsync + rename)  beside  dd if=FILE of=COPY bs=1M conv=fsync
//   load (file in the page cache)  beside  cat FILE > /dev/null
// and the peak memory of a process that only loads the file, beside the file's size.
//
// Usage: project_file_bench [--dir FOLDER] [--recipients N] [--runs K]
// FOLDER should be on a real disk (the default is the current folder; /tmp may be in memory).
#include "project/ProjectFileReader.h"
#include "project/ProjectFileWriter.h"
#include "support/ProjectSample.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

using namespace quillet;
using namespace quillet::bench;
using Clock = std::chrono::steady_clock;

namespace {

double seconds(Clock::duration d)
{
    return std::chrono::duration<double>(d).count();
}

// Child mode: load the file once and report the memory the load added at its peak.
int loadOnly(const std::string& file)
{
    const long long before = StatusBytes("VmRSS");
    const Project project = loadProjectFile(file);
    const long long peak = StatusBytes("VmHWM");
    std::printf("%lld %lld %zu\n", peak - before, peak, project.recipients.size());
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    std::string folder = ".";
    std::size_t recipients = 100000;
    int runs = 3;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--load-only" && i + 1 < argc)
            return loadOnly(argv[i + 1]);
        if (a == "--dir" && i + 1 < argc)
            folder = argv[++i];
        else if (a == "--recipients" && i + 1 < argc)
            recipients = std::strtoull(argv[++i], nullptr, 10);
        else if (a == "--runs" && i + 1 < argc)
            runs = std::max(1, std::atoi(argv[++i]));
        else {
            std::fprintf(stderr, "usage: %s [--dir FOLDER] [--recipients N] [--runs K]\n", argv[0]);
            return 2;
        }
    }

    const std::string file = (std::filesystem::path(folder) / "bench-project.oqf").string();
    const std::string copy = (std::filesystem::path(folder) / "bench-copy.oqf").string();
    Project project = SampleProject(recipients);
    const double fileMB = double(std::filesystem::file_size((saveProjectFile(project, file), file))) / 1e6;
    std::printf("project: %zu recipients, file %.1f MB in %s; best of %d runs\n", recipients, fileMB, folder.c_str(),
                runs);

    double save = 1e9, ddCopy = 1e9, load = 1e9, cat = 1e9;
    for (int run = 0; run < runs; ++run) {
        auto start = Clock::now();
        saveProjectFile(project, file);
        save = std::min(save, seconds(Clock::now() - start));
        ddCopy = std::min(ddCopy, TimeCommand("dd if=" + Quoted(file) + " of=" + Quoted(copy) +
                                              " bs=1M conv=fsync status=none"));
        std::filesystem::remove(copy);
    }
    project = Project(); // free the built project before the load figures

    TimeCommand("cat " + Quoted(file) + " > /dev/null"); // into the page cache
    for (int run = 0; run < runs; ++run) {
        cat = std::min(cat, TimeCommand("cat " + Quoted(file) + " > /dev/null"));
        auto start = Clock::now();
        const Project loaded = loadProjectFile(file);
        load = std::min(load, seconds(Clock::now() - start));
        if (loaded.recipients.size() != recipients) {
            std::fprintf(stderr, "loaded %zu recipients\n", loaded.recipients.size());
            return 1;
        }
    }

    long long added = 0, peak = 0;
    std::size_t count = 0;
    const std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
    if (FILE* child = ::popen((Quoted(self) + " --load-only " + Quoted(file)).c_str(), "r")) {
        if (std::fscanf(child, "%lld %lld %zu", &added, &peak, &count) != 3)
            std::fprintf(stderr, "the load-only run printed nothing\n");
        ::pclose(child);
    }
    std::filesystem::remove(file);

    std::printf("save (write+fsync+rename) %8.3f s   dd bs=1M conv=fsync %8.3f s   ratio %.2f (target <= 1.5)\n", save,
                ddCopy, save / ddCopy);
    std::printf("load (page cache)         %8.3f s   cat > /dev/null     %8.3f s   ratio %.2f (target <= 3)\n", load,
                cat, load / cat);
    std::printf("peak memory added by load %8.1f MB  file size           %8.1f MB  ratio %.2f (target <= 1.3)\n",
                double(added) / 1e6, fileMB, double(added) / 1e6 / fileMB);
    std::printf("peak resident size of the loading process %.1f MB\n", double(peak) / 1e6);
    return 0;
}
