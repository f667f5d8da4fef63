// What the project benchmarks share: a sample project of N recipients in ten groups, the
// addresses and group names it holds, timing a shell command or a program and reading this
// process's memory.
#pragma once

#include "project/Project.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

namespace quillet::bench {

inline constexpr int kSampleGroups = 10;

inline std::string SampleGroupName(std::size_t group)
{
    return "Group " + std::to_string(group);
}

// The address of recipient i; recipient i belongs to group i % 10.
inline std::string SampleAddress(std::size_t i)
{
    return "recipient" + std::to_string(i) + "@example.org";
}

inline Project SampleProject(std::size_t recipients)
{
    Project project;
    project.properties.Name.set("Benchmark");
    for (int g = 0; g < kSampleGroups; ++g)
        project.groups.push_back({SampleGroupName(std::size_t(g)), "Benchmark group"});
    project.recipients.resize(recipients);
    for (std::size_t i = 0; i < recipients; ++i) {
        RecipientRecord& r = project.recipients[i];
        r.EMail.set(SampleAddress(i));
        r.Name.set("Name" + std::to_string(i));
        r.Surname.set("Surname" + std::to_string(i));
        r.ParamName1.set("CITY");
        r.ParamValue1.set("City " + std::to_string(i % 1000));
        r.Group.set(SampleGroupName(i % kSampleGroups));
    }
    project.accounts.push_back({"smtp.example.org", "user", "secret", "25", "Sender", "s@example.org", "", "True"});
    return project;
}

inline std::string Quoted(const std::string& path)
{
    std::string q = "'";
    for (char c : path)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

// Runs a shell command and returns its wall-clock seconds; a failing command ends the benchmark.
inline double TimeCommand(const std::string& command)
{
    const auto start = std::chrono::steady_clock::now();
    if (std::system(command.c_str()) != 0) {
        std::fprintf(stderr, "command failed: %s\n", command.c_str());
        std::exit(1);
    }
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// A memory figure of this process from /proc/self/status ("VmRSS", "VmHWM"), in bytes.
inline long long StatusBytes(const char* field)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    const std::string prefix = std::string(field) + ":";
    while (std::getline(status, line))
        if (line.rfind(prefix, 0) == 0)
            return std::atoll(line.c_str() + prefix.size()) * 1024;
    return 0;
}

struct ProgramRun {
    int status = -1;
    double seconds = 0;
    double peakBytes = 0;
};

// Runs a program (argv[0] is its path) with its output discarded: exit status, wall-clock
// seconds and peak resident memory.
inline ProgramRun RunProgram(const std::vector<std::string>& argv)
{
    std::vector<char*> args;
    for (const std::string& arg : argv)
        args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int quiet = ::open("/dev/null", O_WRONLY);
        ::dup2(quiet, STDOUT_FILENO);
        ::dup2(quiet, STDERR_FILENO);
        ::execv(args[0], args.data());
        ::_exit(127);
    }
    ProgramRun run;
    int status = 0;
    rusage usage{};
    if (pid > 0 && ::wait4(pid, &status, 0, &usage) == pid) {
        run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        run.peakBytes = double(usage.ru_maxrss) * 1024;
    }
    return run;
}

} // namespace quillet::bench
