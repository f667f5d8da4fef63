// `quillet serve --port 0 ARGS...` run in the background for command-line tests: its port is
// read from its "Listening on" line, its later standard output line by line; it is killed with
// the object unless stopped before.
#pragma once

#include "cli/CliHarness.h"

#include <poll.h>
#include <string>
#include <vector>

namespace quillet::test {

// `quillet serve --port 0 ...` in the background; its standard output is read line by line.
class ServeProcess {
public:
    // `command`: the command words and options before args; `errorFile`: where its standard
    // error goes (empty: the test's).
    ServeProcess(const CliHarness& cli, std::vector<std::string> args,
                 std::vector<std::string> command = {"serve", "--port", "0"}, const std::string& errorFile = {})
    {
        int out[2];
        if (::pipe2(out, O_CLOEXEC) != 0)
            throw std::runtime_error("pipe failed");
        args.insert(args.begin(), command.begin(), command.end());
        args.insert(args.begin(), QUILLET_CLI);
        pid_ = ::fork();
        if (pid_ == 0) {
            ::dup2(out[1], 1);
            if (!errorFile.empty()) {
                const int err = ::open(errorFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
                ::dup2(err, 2);
            }
            cli.exportToChild();
            std::vector<char*> argv;
            for (std::string& a : args)
                argv.push_back(a.data());
            argv.push_back(nullptr);
            ::execv(QUILLET_CLI, argv.data());
            _exit(127);
        }
        ::close(out[1]);
        out_ = out[0];
        listening_ = ReadLine();
        const auto colon = listening_.rfind(':');
        if (listening_.rfind("Listening on ", 0) != 0 || colon == std::string::npos)
            throw std::runtime_error("serve did not start: " + listening_);
        port_ = std::stoi(listening_.substr(colon + 1));
    }
    ~ServeProcess()
    {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        ::close(out_);
    }

    int port() const { return port_; }
    // The first line: "Listening on ADDRESS:PORT".
    const std::string& listening() const { return listening_; }

    // The next line of standard output without its LF; empty when none comes within 10 s.
    std::string ReadLine()
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (pending_.find('\n') == std::string::npos && std::chrono::steady_clock::now() < deadline) {
            pollfd p{out_, POLLIN, 0};
            if (::poll(&p, 1, 100) <= 0)
                continue;
            char chunk[4096];
            const ssize_t n = ::read(out_, chunk, sizeof chunk);
            if (n <= 0)
                break;
            pending_.append(chunk, std::size_t(n));
        }
        const auto end = pending_.find('\n');
        if (end == std::string::npos)
            return {};
        std::string line = pending_.substr(0, end);
        pending_.erase(0, end + 1);
        return line;
    }

    // Sends the signal and returns the exit status (-1 when it does not end within 10 s).
    int Stop(int signal)
    {
        ::kill(pid_, signal);
        int status = 0;
        for (int i = 0; i < 1000; ++i) {
            if (::waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            ::usleep(10000);
        }
        return -1;
    }

private:
    pid_t pid_ = -1;
    int out_ = -1;
    int port_ = 0;
    std::string listening_;
    std::string pending_;
};

} // namespace quillet::test
