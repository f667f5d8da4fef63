// Helpers of the transport benchmarks: running a program and timing it, and an smtp-sink
// started on a free port of 127.0.0.1 for the length of a benchmark.
#pragma once

#include "support/BenchBasics.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
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
