// Runs the real quillet binary for command-line tests.
//
// Each CliHarness owns four fresh temporary folders: the program folder (QUILLET_HOME), the
// settings folder (XDG_CONFIG_HOME), the state folder of the run journals (XDG_STATE_HOME) and
// a work folder for the test's files; all are removed with the harness. run() starts the binary with the given arguments and standard input, waits
// at most `timeout` (then kills it), and returns its exit status, standard output and standard
// error. The locale is C.UTF-8 (code page Windows-1252) unless the test sets LC_ALL itself.
#pragma once

#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <poll.h>
#include <stdexcept>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#ifndef QUILLET_CLI
#define QUILLET_CLI QUILLET_BIN_DIR "/quillet"
#endif

namespace quillet::test {

struct CliResult {
    int status = -1; // exit status; 128 + signal when killed; -1 when it timed out
    std::string out; // standard output
    std::string err; // standard error
    bool timedOut = false;
};

// Prints a result in a failed assertion's message.
inline std::ostream& operator<<(std::ostream& os, const CliResult& r)
{
    return os << "status " << r.status << "\n--- stdout ---\n" << r.out << "--- stderr ---\n" << r.err;
}

class CliHarness {
public:
    CliHarness()
        : home_(makeFolder("home")), config_(makeFolder("config")), state_(makeFolder("state")),
          work_(makeFolder("work"))
    {
        env_["QUILLET_HOME"] = home_.string();
        env_["XDG_CONFIG_HOME"] = config_.string();
        env_["XDG_STATE_HOME"] = state_.string();
        // The data folder (the suppression list) lies inside the state folder.
        env_["XDG_DATA_HOME"] = (state_ / "share").string();
        env_["LC_ALL"] = "C.UTF-8";
    }
    ~CliHarness()
    {
        std::error_code ignored;
        for (const auto* folder : {&home_, &config_, &state_, &work_})
            std::filesystem::remove_all(*folder, ignored);
    }
    CliHarness(const CliHarness&) = delete;
    CliHarness& operator=(const CliHarness&) = delete;

    const std::filesystem::path& home() const { return home_; }
    const std::filesystem::path& configHome() const { return config_; }
    const std::filesystem::path& stateHome() const { return state_; }
    // Sets the program, settings, state folders and the locale in a forked child before exec.
    void exportToChild() const
    {
        ::setenv("QUILLET_HOME", home_.c_str(), 1);
        ::setenv("XDG_CONFIG_HOME", config_.c_str(), 1);
        ::setenv("XDG_STATE_HOME", state_.c_str(), 1);
        ::setenv("XDG_DATA_HOME", (state_ / "share").c_str(), 1);
        ::setenv("LC_ALL", "C.UTF-8", 1);
    }
    const std::filesystem::path& work() const { return work_; }
    // A path in the work folder.
    std::string file(const std::string& name) const { return (work_ / name).string(); }

    // Sets (or, with nullptr, removes) an environment variable of the runs that follow.
    void setEnv(const std::string& name, const char* value)
    {
        if (value)
            env_[name] = value;
        else
            env_.erase(name);
    }

    CliResult run(const std::vector<std::string>& args, const std::string& input = {},
                  std::chrono::milliseconds timeout = std::chrono::seconds(60)) const
    {
        int inPipe[2], outPipe[2], errPipe[2];
        if (::pipe2(inPipe, O_CLOEXEC) || ::pipe2(outPipe, O_CLOEXEC) || ::pipe2(errPipe, O_CLOEXEC))
            throw std::runtime_error("pipe failed");

        std::vector<std::string> environment = childEnvironment();
        std::vector<char*> argv{const_cast<char*>(QUILLET_CLI)};
        for (const std::string& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        std::vector<char*> envp;
        for (std::string& e : environment)
            envp.push_back(e.data());
        envp.push_back(nullptr);

        const pid_t child = ::fork();
        if (child < 0)
            throw std::runtime_error("fork failed");
        if (child == 0) {
            ::dup2(inPipe[0], 0);
            ::dup2(outPipe[1], 1);
            ::dup2(errPipe[1], 2);
            if (::chdir(work_.c_str()) != 0)
                _exit(126);
            ::execve(argv[0], argv.data(), envp.data());
            _exit(127);
        }
        ::close(inPipe[0]);
        ::close(outPipe[1]);
        ::close(errPipe[1]);

        CliResult result;
        std::size_t written = 0;
        int inFd = inPipe[1];
        if (input.empty()) {
            ::close(inFd);
            inFd = -1;
        }
        int outFd = outPipe[0], errFd = errPipe[0];
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        std::signal(SIGPIPE, SIG_IGN);
        while (outFd >= 0 || errFd >= 0) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) {
                result.timedOut = true;
                ::kill(child, SIGKILL);
                break;
            }
            pollfd fds[3] = {{outFd, POLLIN, 0}, {errFd, POLLIN, 0}, {inFd, POLLOUT, 0}};
            if (::poll(fds, 3, static_cast<int>(std::min<long long>(left.count(), 1000))) < 0 && errno != EINTR)
                break;
            for (int i = 0; i < 2; ++i) {
                int& fd = i == 0 ? outFd : errFd;
                if (fd >= 0 && (fds[i].revents & (POLLIN | POLLHUP | POLLERR))) {
                    char buffer[65536];
                    const ssize_t n = ::read(fd, buffer, sizeof buffer);
                    if (n > 0)
                        (i == 0 ? result.out : result.err).append(buffer, static_cast<std::size_t>(n));
                    else if (n == 0 || errno != EINTR) {
                        ::close(fd);
                        fd = -1;
                    }
                }
            }
            if (inFd >= 0 && (fds[2].revents & (POLLOUT | POLLERR | POLLHUP))) {
                const ssize_t n = ::write(inFd, input.data() + written, input.size() - written);
                if (n > 0)
                    written += static_cast<std::size_t>(n);
                if (n < 0 || written == input.size()) {
                    ::close(inFd);
                    inFd = -1;
                }
            }
        }
        for (int fd : {inFd, outFd, errFd})
            if (fd >= 0)
                ::close(fd);
        // The output is closed; the process may still be running (it closed its output itself):
        // it gets until the deadline too.
        int status = 0;
        while (::waitpid(child, &status, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() >= deadline) {
                result.timedOut = true;
                ::kill(child, SIGKILL);
                ::waitpid(child, &status, 0);
                break;
            }
            ::usleep(2000);
        }
        if (result.timedOut)
            result.status = -1;
        else if (WIFEXITED(status))
            result.status = WEXITSTATUS(status);
        else if (WIFSIGNALED(status))
            result.status = 128 + WTERMSIG(status);
        return result;
    }

    static std::string readFile(const std::string& path) { return readFileBytes(path); }
    static void writeFile(const std::string& path, const std::string& bytes) { writeFileBytes(path, bytes); }

private:
    static std::filesystem::path makeFolder(const char* what)
    {
        std::string pattern =
            (std::filesystem::temp_directory_path() / (std::string("quillet-cli-") + what + "-XXXXXX")).string();
        if (!::mkdtemp(pattern.data()))
            throw std::runtime_error("cannot create a temporary folder");
        return pattern;
    }

    // The test process's environment without the locale and program variables, plus env_.
    std::vector<std::string> childEnvironment() const
    {
        std::vector<std::string> result;
        for (char** e = environ; *e; ++e) {
            const std::string entry = *e;
            const std::string name = entry.substr(0, entry.find('='));
            if (env_.count(name) || name == "LANG" || name == "LC_CTYPE" || name == "LC_ALL" ||
                name == "QUILLET_HOME" || name == "XDG_CONFIG_HOME" || name == "XDG_STATE_HOME" ||
                name == "XDG_DATA_HOME" || name == "QUILLET_SUPPRESSION")
                continue;
            result.push_back(entry);
        }
        for (const auto& [name, value] : env_)
            result.push_back(name + "=" + value);
        return result;
    }

    std::filesystem::path home_;
    std::filesystem::path config_;
    std::filesystem::path state_;
    std::filesystem::path work_;
    std::map<std::string, std::string> env_;
};

} // namespace quillet::test
