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
using Clock = std::chrono::steady_clock;

namespace {

double seconds(Clock::duration d)
{
    return std::chrono::duration<double>(d).count();
}

std::string quoted(const std::string& path)
{
    std::string q = "'";
    for (char c : path)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

double timeCommand(const std::string& command)
{
    const auto start = Clock::now();
    if (std::system(command.c_str()) != 0) {
        std::fprintf(stderr, "command failed: %s\n", command.c_str());
        std::exit(1);
    }
    return seconds(Clock::now() - start);
}

Project sampleProject(std::size_t recipients)
{
    Project project;
    project.properties.Name.set("Benchmark");
    for (int g = 0; g < 10; ++g)
        project.groups.push_back({"Group " + std::to_string(g), "Benchmark group"});
    project.recipients.reserve(recipients);
    for (std::size_t i = 0; i < recipients; ++i) {
        RecipientRecord r;
        r.EMail.set("recipient" + std::to_string(i) + "@example.org");
        r.Name.set("Name" + std::to_string(i));
        r.Surname.set("Surname" + std::to_string(i));
        r.ParamName1.set("CITY");
        r.ParamValue1.set("City " + std::to_string(i % 1000));
        r.Group.set("Group " + std::to_string(i % 10));
        project.recipients.push_back(r);
    }
    project.accounts.push_back({"smtp.example.org", "user", "secret", "25", "Sender", "s@example.org", "", "True"});
    return project;
}

// Memory figures of this process from /proc/self/status, in bytes.
long long statusBytes(const char* field)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    const std::string prefix = std::string(field) + ":";
    while (std::getline(status, line))
        if (line.rfind(prefix, 0) == 0)
            return std::atoll(line.c_str() + prefix.size()) * 1024;
    return 0;
}

// Child mode: load the file once and report the memory the load added at its peak.
int loadOnly(const std::string& file)
{
    const long long before = statusBytes("VmRSS");
    const Project project = loadProjectFile(file);
    const long long peak = statusBytes("VmHWM");
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
    Project project = sampleProject(recipients);
    const double fileMB = double(std::filesystem::file_size((saveProjectFile(project, file), file))) / 1e6;
    std::printf("project: %zu recipients, file %.1f MB in %s; best of %d runs\n", recipients, fileMB,
                folder.c_str(), runs);

    double save = 1e9, ddCopy = 1e9, load = 1e9, cat = 1e9;
    for (int run = 0; run < runs; ++run) {
        auto start = Clock::now();
        saveProjectFile(project, file);
        save = std::min(save, seconds(Clock::now() - start));
        ddCopy = std::min(ddCopy, timeCommand("dd if=" + quoted(file) + " of=" + quoted(copy) +
                                              " bs=1M conv=fsync status=none"));
        std::filesystem::remove(copy);
    }
    project = Project(); // free the built project before the load figures

    timeCommand("cat " + quoted(file) + " > /dev/null"); // into the page cache
    for (int run = 0; run < runs; ++run) {
        cat = std::min(cat, timeCommand("cat " + quoted(file) + " > /dev/null"));
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
    if (FILE* child = ::popen((quoted(self) + " --load-only " + quoted(file)).c_str(), "r")) {
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
