// Helpers of the transport benchmarks: running a program and timing it, and an smtp-sink
// started on a free port of 127.0.0.1 for the length of a benchmark.
#pragma once

#include "support/BenchBasics.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace quillet::bench {

constexpr const char* kSmtpSink = "/usr/sbin/smtp-sink";
constexpr const char* kSmtpSource = "/usr/sbin/smtp-source";

inline double Seconds(std::chrono::steady_clock::duration d)
{
    return std::chrono::duration<double>(d).count();
}

// The processor time (user and system) a process has used so far, from /proc; 0 when unreadable.
inline double ProcessCpuSeconds(pid_t pid)
{
    std::FILE* file = std::fopen(("/proc/" + std::to_string(pid) + "/stat").c_str(), "r");
    if (!file)
        return 0;
    char text[1024] = {};
    const std::size_t length = std::fread(text, 1, sizeof text - 1, file);
    std::fclose(file);
    // The fields after the command name (which may hold spaces) end at its last ')'.
    const char* rest = std::strrchr(text, ')');
    if (!rest || length == 0)
        return 0;
    unsigned long utime = 0, stime = 0;
    if (std::sscanf(rest + 2, "%*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %lu %lu", &utime, &stime) != 2)
        return 0;
    return double(utime + stime) / double(::sysconf(_SC_CLK_TCK));
}

// The times a single-threaded process has given up or lost the processor so far (voluntary and
// involuntary context switches), from /proc; 0 when unreadable.
inline long ProcessContextSwitches(pid_t pid)
{
    std::FILE* file = std::fopen(("/proc/" + std::to_string(pid) + "/status").c_str(), "r");
    if (!file)
        return 0;
    long total = 0;
    long value = 0;
    char line[256];
    while (std::fgets(line, sizeof line, file))
        if (std::sscanf(line, "voluntary_ctxt_switches: %ld", &value) == 1 ||
            std::sscanf(line, "nonvoluntary_ctxt_switches: %ld", &value) == 1)
            total += value;
    std::fclose(file);
    return total;
}

// The processor time and context switches of this process (of all its threads, ended ones too)
// or of the ended child processes waited for so far.
struct Usage {
    double cpuSeconds = 0;
    long contextSwitches = 0;
};
inline Usage OwnUsage(int who)
{
    rusage usage{};
    ::getrusage(who, &usage);
    return {double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6,
            usage.ru_nvcsw + usage.ru_nivcsw};
}

// The processor time of the ended child processes waited for so far.
inline double ChildrenCpuSeconds()
{
    return OwnUsage(RUSAGE_CHILDREN).cpuSeconds;
}

// Starts a program with its output to stdoutPath (or inherited when empty); returns its pid or -1.
inline pid_t Spawn(const std::vector<std::string>& argv, const std::string& stdoutPath = {})
{
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (!stdoutPath.empty())
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, stdoutPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0644);
    std::vector<char*> args;
    for (const auto& arg : argv)
        args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    pid_t pid = -1;
    if (::posix_spawn(&pid, argv[0].c_str(), &actions, nullptr, args.data(), environ) != 0)
        pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

// Runs a program to its end; the wall-clock seconds it took, or nothing when it failed.
inline std::optional<double> TimeProgram(const std::vector<std::string>& argv, const std::string& stdoutPath = {})
{
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = Spawn(argv, stdoutPath);
    if (pid < 0)
        return std::nullopt;
    int status = 0;
    ::waitpid(pid, &status, 0);
    const double seconds = Seconds(std::chrono::steady_clock::now() - start);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return std::nullopt;
    return seconds;
}

// Times smtp-source sending count messages of size bytes, one after another over each of
// `sessions` connections at once, to 127.0.0.1:port; nothing when it failed.
inline std::optional<double> TimeSmtpSourceBatch(uint16_t port, int count, std::size_t size, int sessions = 1)
{
    return TimeProgram({kSmtpSource, "-d", "-s", std::to_string(sessions), "-m", std::to_string(count), "-l",
                        std::to_string(size), "127.0.0.1:" + std::to_string(port)});
}

// smtp-sink listening on 127.0.0.1 until the object goes.
class SmtpSink {
public:
    SmtpSink()
    {
        for (int attempt = 0; attempt < 3 && pid_ < 0; ++attempt) {
            port_ = FreeLoopbackPort();
            std::vector<std::string> argv = {kSmtpSink};
            if (::geteuid() == 0)
                argv.insert(argv.end(), {"-u", "nobody"});
            argv.insert(argv.end(), {"127.0.0.1:" + std::to_string(port_), "100"});
            pid_ = Spawn(argv);
            if (pid_ > 0 && !Ready()) {
                Stop();
            }
        }
    }
    ~SmtpSink() { Stop(); }
    SmtpSink(const SmtpSink&) = delete;
    SmtpSink& operator=(const SmtpSink&) = delete;

    bool Running() const { return pid_ > 0; }
    uint16_t Port() const { return port_; }
    pid_t Pid() const { return pid_; }

private:
    bool Ready()
    {
        for (int i = 0; i < 50; ++i) {
            if (AcceptsLoopback(port_))
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        return false;
    }
    void Stop()
    {
        if (pid_ <= 0)
            return;
        ::kill(pid_, SIGTERM);
        ::waitpid(pid_, nullptr, 0);
        pid_ = -1;
    }

    pid_t pid_ = -1;
    uint16_t port_ = 0;
};

} // namespace quillet::bench
