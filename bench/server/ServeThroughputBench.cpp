// Throughput of `quillet serve` beside Postfix's smtp-sink, measured in the same run.
//
// Postfix's smtp-source sends MESSAGES messages of 1 KB over 20 parallel sessions, once keeping
// each session's connection (-d) and once with a connection per message (its default), to each
// server in turn: quillet serve, smtp-sink, quillet serve, ... for ROUNDS rounds. Each server is
// started fresh for every measurement. Prints the median messages per second of each and their
// ratio (quillet / smtp-sink).
//
// quillet serve writes every message to a file in the temporary folder, and creating and deleting
// a file costs as much as the rest of a message on some file systems, so the whole measurement is
// made once with the system's temporary folder (TMPDIR or /tmp) and once with a memory-backed one
// (/dev/shm, as /tmp is on many systems); the file system of each is printed.
//
// Usage: bench_server_throughput [--messages N] [--sessions N] [--rounds N] [--quillet PATH]
//                                [--tmpdir DIR]...
#include "support/BenchBasics.h"

#include <poll.h>
#include <signal.h>
#include <sys/statfs.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using quillet::bench::AcceptsLoopback;
using quillet::bench::FreeLoopbackPort;
using quillet::bench::Median;
using Clock = std::chrono::steady_clock;

const char* const SmtpSource = "/usr/sbin/smtp-source";
const char* const SmtpSink = "/usr/sbin/smtp-sink";

struct Options {
    int messages = 20000;
    int sessions = 20;
    int rounds = 5;
    std::string quillet = QUILLET_BIN_DIR "/quillet";
    std::vector<std::string> tmpdirs;
};

pid_t Spawn(const std::vector<std::string>& args, int stdoutFd = -1, const std::string& tmpdir = {})
{
    const pid_t pid = ::fork();
    if (pid < 0)
        throw std::runtime_error("fork failed");
    if (pid == 0) {
        if (stdoutFd >= 0)
            ::dup2(stdoutFd, 1);
        if (!tmpdir.empty())
            ::setenv("TMPDIR", tmpdir.c_str(), 1);
        std::vector<char*> argv;
        for (const std::string& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        ::execv(argv[0], argv.data());
        _exit(127);
    }
    return pid;
}

int Wait(pid_t pid)
{
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

void Stop(pid_t pid, int signal)
{
    ::kill(pid, signal);
    Wait(pid);
}

// A server under test, running while the object lives.
class Server {
public:
    virtual ~Server() = default;
    virtual int Port() const = 0;
};

class QuilletServe : public Server {
public:
    QuilletServe(const std::string& program, const std::string& tmpdir)
    {
        int out[2];
        if (::pipe(out) != 0)
            throw std::runtime_error("pipe failed");
        pid_ = Spawn({program, "serve", "--port", "0"}, out[1], tmpdir);
        ::close(out[1]);
        std::string line;
        pollfd p{out[0], POLLIN, 0};
        char c;
        while (line.find('\n') == std::string::npos && ::poll(&p, 1, 10000) == 1 && ::read(out[0], &c, 1) == 1)
            line += c;
        ::close(out[0]);
        const auto colon = line.rfind(':');
        if (line.rfind("Listening on ", 0) != 0 || colon == std::string::npos)
            throw std::runtime_error("quillet serve did not start: " + line);
        port_ = std::atoi(line.c_str() + colon + 1);
    }
    ~QuilletServe() override { Stop(pid_, SIGTERM); }
    int Port() const override { return port_; }

private:
    pid_t pid_;
    int port_;
};

class SmtpSinkServer : public Server {
public:
    SmtpSinkServer()
    {
        port_ = FreeLoopbackPort();
        std::vector<std::string> args{SmtpSink};
        if (::geteuid() == 0) {
            args.push_back("-u");
            args.push_back("nobody");
        }
        args.push_back("127.0.0.1:" + std::to_string(port_));
        args.push_back("1024");
        pid_ = Spawn(args);
        const auto deadline = Clock::now() + std::chrono::seconds(10);
        while (!AcceptsLoopback(static_cast<std::uint16_t>(port_))) {
            if (Clock::now() > deadline)
                throw std::runtime_error("smtp-sink did not start");
            ::usleep(10000);
        }
    }
    ~SmtpSinkServer() override { Stop(pid_, SIGTERM); }
    int Port() const override { return port_; }

private:
    pid_t pid_;
    int port_;
};

// Messages per second of one smtp-source run against the port.
double Measure(const Options& options, int port, bool keepConnection)
{
    std::vector<std::string> args{
        SmtpSource, "-s", std::to_string(options.sessions), "-m", std::to_string(options.messages), "-l", "1024"};
    if (keepConnection)
        args.push_back("-d");
    args.push_back("127.0.0.1:" + std::to_string(port));
    const auto start = Clock::now();
    const int status = Wait(Spawn(args));
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    if (status != 0)
        throw std::runtime_error("smtp-source failed with status " + std::to_string(status));
    return options.messages / seconds;
}

Options Parse(int argc, char** argv)
{
    Options options;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string name = argv[i];
        if (name == "--messages")
            options.messages = std::atoi(argv[i + 1]);
        else if (name == "--sessions")
            options.sessions = std::atoi(argv[i + 1]);
        else if (name == "--rounds")
            options.rounds = std::atoi(argv[i + 1]);
        else if (name == "--quillet")
            options.quillet = argv[i + 1];
        else if (name == "--tmpdir")
            options.tmpdirs.push_back(argv[i + 1]);
        else
            throw std::runtime_error("unknown option " + name);
    }
    if (options.tmpdirs.empty()) {
        const char* system = std::getenv("TMPDIR");
        options.tmpdirs.push_back(system && *system ? system : "/tmp");
        if (::access("/dev/shm", W_OK) == 0)
            options.tmpdirs.push_back("/dev/shm");
    }
    return options;
}

// The name of the file system a folder is on, as far as it matters here.
std::string FileSystemOf(const std::string& folder)
{
    struct statfs info {};
    if (::statfs(folder.c_str(), &info) != 0)
        return "not found";
    switch (static_cast<unsigned long>(info.f_type)) {
    case 0xEF53: return "ext4";
    case 0x01021994: return "tmpfs";
    case 0x58465342: return "xfs";
    case 0x9123683E: return "btrfs";
    case 0x794C7630: return "overlayfs";
    default: {
        char hex[32];
        std::snprintf(hex, sizeof hex, "type 0x%lx", static_cast<unsigned long>(info.f_type));
        return hex;
    }
    }
}

} // namespace

int main(int argc, char** argv)
{
    try {
        const Options options = Parse(argc, argv);
        for (const char* program : {SmtpSource, SmtpSink})
            if (::access(program, X_OK) != 0)
                throw std::runtime_error(std::string(program) + " is not installed (Debian package postfix)");
        std::printf("smtp-source: %d sessions, %d messages of 1 KB, %d rounds, alternating servers\n", options.sessions,
                    options.messages, options.rounds);
        for (const std::string& tmpdir : options.tmpdirs) {
            std::printf("temporary folder %s (%s):\n", tmpdir.c_str(), FileSystemOf(tmpdir).c_str());
            for (const bool keep : {true, false}) {
                std::vector<double> ours, sink;
                for (int round = 0; round < options.rounds; ++round) {
                    {
                        QuilletServe server(options.quillet, tmpdir);
                        ours.push_back(Measure(options, server.Port(), keep));
                    }
                    {
                        SmtpSinkServer server;
                        sink.push_back(Measure(options, server.Port(), keep));
                    }
                    std::printf("  round %d %-22s quillet serve %8.0f msg/s   smtp-sink %8.0f msg/s\n", round + 1,
                                keep ? "(-d, one connection):" : "(connection/message):", ours.back(), sink.back());
                    std::fflush(stdout);
                }
                const double a = Median(ours), b = Median(sink);
                std::printf("%-40s quillet serve %8.0f msg/s   smtp-sink %8.0f msg/s   ratio %.2f\n",
                            keep ? "median, connection kept (-d):" : "median, connection per message:", a, b, a / b);
            }
        }
        return 0;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "bench_server_throughput: %s\n", error.what());
        return 1;
    }
}
