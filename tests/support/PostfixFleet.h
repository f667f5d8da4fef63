// A fleet of real Postfix instances for tests and benchmarks: each instance has its own
// configuration, queue and data folders under one temporary folder, listens on a port of
// 127.0.0.1 and relays everything it accepts to one smtp-sink on loopback, which appends every
// message it receives to one file. The system's mail set-up is never read or touched (Postfix
// only reads the list of its own installed files).
//
// Every process started here dies with the object: the masters and the sink are stopped
// (SIGTERM, then SIGKILL) and awaited, they are told to end when this process dies
// (PR_SET_PDEATHSIG), and each master ends by itself after its lifetime (master -e).
// Starting needs root (Postfix's master switches to its own user); where anything cannot start,
// Error() says why and nothing is left running.
#pragma once

#include "support/FreePort.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <grp.h>
#include <netinet/in.h>
#include <pwd.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace quillet::test {

class PostfixFleet {
public:
    static constexpr const char* kPostfix = "/usr/sbin/postfix";
    static constexpr const char* kMaster = "/usr/lib/postfix/sbin/master";
    static constexpr const char* kSmtpSink = "/usr/sbin/smtp-sink";
    // How long a peer may take to accept its first connection.
    static constexpr auto kStartWait = std::chrono::seconds(15);
    // The sink's listen backlog: every instance opens up to 20 connections to it.
    static constexpr int kSinkBacklog = 256;

    // Starts `instances` Postfix instances and the sink under a new folder in `parent`. Each
    // master ends by itself after `lifetime` even when nothing stops it.
    PostfixFleet(std::size_t instances, std::chrono::seconds lifetime,
                 const std::filesystem::path& parent = std::filesystem::temp_directory_path())
    {
        try {
            Start(instances, lifetime, parent);
        } catch (const std::exception& error) {
            error_ = error.what();
            StopAll();
        }
    }
    ~PostfixFleet()
    {
        StopAll();
        std::error_code ignored;
        if (!root_.empty())
            std::filesystem::remove_all(root_, ignored);
    }
    PostfixFleet(const PostfixFleet&) = delete;
    PostfixFleet& operator=(const PostfixFleet&) = delete;

    // Empty when every instance and the sink accept connections.
    const std::string& Error() const { return error_; }
    std::size_t Size() const { return ports_.size(); }
    std::uint16_t Port(std::size_t instance) const { return ports_.at(instance); }
    std::uint16_t SinkPort() const { return sinkPort_; }

    // Messages still in the instances' queues.
    std::size_t Queued() const
    {
        std::size_t count = 0;
        for (std::size_t i = 0; i < ports_.size(); ++i)
            for (const char* queue : {"maildrop", "incoming", "active", "deferred", "hold"}) {
                std::error_code error;
                for (std::filesystem::recursive_directory_iterator it(InstanceFolder(i) / "queue" / queue, error), end;
                     !error && it != end; it.increment(error))
                    count += it->is_regular_file() ? 1 : 0;
            }
        return count;
    }

    // Waits until every queue is empty; false when the wait ran out first.
    bool WaitUntilDrained(std::chrono::seconds wait) const
    {
        const auto deadline = std::chrono::steady_clock::now() + wait;
        while (Queued() > 0) {
            if (std::chrono::steady_clock::now() > deadline)
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return true;
    }

    // For every recipient address, how many messages the sink received for it.
    std::map<std::string, std::size_t> DeliveredPerRecipient() const
    {
        std::map<std::string, std::size_t> delivered;
        for (const auto& [arguments, count] : SinkHeaderCounts("X-Rcpt-Args"))
            delivered[arguments.substr(1, arguments.find('>') - 1)] += count;
        return delivered;
    }

    // For every instance's host name (relayN.quillet.test), how many messages it relayed.
    std::map<std::string, std::size_t> DeliveredPerInstance() const { return SinkHeaderCounts("X-Helo-Args"); }

    // An instance's mail log, for the message of a failed check.
    std::string Log(std::size_t instance) const
    {
        std::ifstream in(InstanceFolder(instance) / "maillog");
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

private:
    // The values of one of the envelope lines the sink writes before every message, counted.
    std::map<std::string, std::size_t> SinkHeaderCounts(const std::string& name) const
    {
        std::map<std::string, std::size_t> counts;
        std::ifstream in(root_ / "sink" / "received");
        const std::string prefix = name + ": ";
        for (std::string line; std::getline(in, line);)
            if (line.compare(0, prefix.size(), prefix) == 0)
                ++counts[line.substr(prefix.size())];
        return counts;
    }

    std::filesystem::path InstanceFolder(std::size_t i) const { return root_ / ("postfix" + std::to_string(i + 1)); }

    void Start(std::size_t instances, std::chrono::seconds lifetime, const std::filesystem::path& parent)
    {
        if (::geteuid() != 0)
            throw std::runtime_error("Postfix instances need root (the master switches to the postfix user)");
        for (const char* program : {kPostfix, kMaster, kSmtpSink})
            if (::access(program, X_OK) != 0)
                throw std::runtime_error(std::string(program) + " is not installed");
        const passwd* user = ::getpwnam("postfix");
        const uid_t postfixUser = user ? user->pw_uid : 0;
        user = ::getpwnam("nobody");
        const uid_t nobody = user ? user->pw_uid : 0;
        if (postfixUser == 0 || nobody == 0 || !::getgrnam("postdrop"))
            throw std::runtime_error("the postfix or nobody user or the postdrop group is missing");

        std::string pattern = (parent / "quillet-postfix-XXXXXX").string();
        if (!::mkdtemp(pattern.data()))
            throw std::runtime_error("cannot create a folder under " + parent.string());
        root_ = pattern;
        // Postfix's own processes run as the postfix user and must reach their folders.
        std::filesystem::permissions(root_, std::filesystem::perms(0755));

        const std::filesystem::path sinkFolder = root_ / "sink";
        std::filesystem::create_directory(sinkFolder);
        Chown(sinkFolder, nobody);
        sinkPort_ = StartListening(
            [&](std::uint16_t port) {
                return std::vector<std::string>{kSmtpSink,
                                                "-u",
                                                "nobody",
                                                "-D",
                                                (sinkFolder / "received").string(),
                                                "127.0.0.1:" + std::to_string(port),
                                                std::to_string(kSinkBacklog)};
            },
            sinkFolder / "sink.out", "smtp-sink");

        for (std::size_t i = 0; i < instances; ++i) {
            const std::filesystem::path folder = InstanceFolder(i);
            for (const char* sub : {"etc", "queue", "data"})
                std::filesystem::create_directories(folder / sub);
            Chown(folder / "data", postfixUser);
            WriteMainConfig(folder, i);
            ports_.push_back(StartListening(
                [&](std::uint16_t port) {
                    WriteMasterConfig(folder, port);
                    // Creates the queue folders with their owners and modes, and checks the set-up.
                    if (RunToEnd({kPostfix, "-c", (folder / "etc").string(), "check"}, folder / "check.out") != 0)
                        throw std::runtime_error("postfix check failed for " + folder.string() + ": " +
                                                 ReadFile(folder / "maillog"));
                    return std::vector<std::string>{kMaster, "-c", (folder / "etc").string(),
                                                    "-d",    "-e", std::to_string(lifetime.count())};
                },
                folder / "master.out", "Postfix in " + folder.string()));
        }
    }

    void WriteMainConfig(const std::filesystem::path& folder, std::size_t i) const
    {
        const std::string name = "relay" + std::to_string(i + 1);
        std::ofstream out(folder / "etc" / "main.cf");
        out << "compatibility_level = 3.6\n"
            << "queue_directory = " << (folder / "queue").string() << "\n"
            << "data_directory = " << (folder / "data").string() << "\n"
            << "maillog_file = " << (folder / "maillog").string() << "\n"
            << "maillog_file_prefixes = " << folder.string() << "\n"
            << "syslog_name = quillet-" << name << "\n"
            << "mail_owner = postfix\nsetgid_group = postdrop\n"
            << "myhostname = " << name
            << ".quillet.test\nmydomain = quillet.test\n"
            // Nothing is delivered locally: every message is relayed to the sink.
            << "mydestination =\nlocal_recipient_maps =\nalias_maps =\nalias_database =\n"
            << "local_transport = error:local delivery is off\n"
            << "inet_interfaces = 127.0.0.1\ninet_protocols = ipv4\nmynetworks = 127.0.0.0/8\n"
            << "smtpd_relay_restrictions = permit_mynetworks, reject\n"
            << "relayhost = [127.0.0.1]:" << sinkPort_ << "\n"
            << "smtputf8_enable = no\nbiff = no\n";
    }

    static void WriteMasterConfig(const std::filesystem::path& folder, std::uint16_t port)
    {
        std::ofstream out(folder / "etc" / "master.cf");
        out << "127.0.0.1:" << port << " inet n - n - - smtpd\n";
        // Postfix's own services, none of them chrooted (the queue is not set up for it).
        for (const char* service :
             {"pickup unix n - n 60 1 pickup", "cleanup unix n - n - 0 cleanup", "qmgr unix n - n 300 1 qmgr",
              "rewrite unix - - n - - trivial-rewrite", "bounce unix - - n - 0 bounce", "defer unix - - n - 0 bounce",
              "trace unix - - n - 0 bounce", "verify unix - - n - 1 verify", "flush unix n - n 1000? 0 flush",
              "proxymap unix - - n - - proxymap", "smtp unix - - n - - smtp", "relay unix - - n - - smtp",
              "showq unix n - n - - showq", "error unix - - n - - error", "retry unix - - n - - error",
              "discard unix - - n - - discard", "anvil unix - - n - 1 anvil", "scache unix - - n - 1 scache",
              "postlog unix-dgram n - n - 1 postlogd"})
            out << service << "\n";
    }

    // Starts a listening program on a free port, trying another port when it does not come up.
    template <typename MakeArguments>
    std::uint16_t StartListening(MakeArguments makeArguments, const std::filesystem::path& output,
                                 const std::string& what)
    {
        for (int attempt = 0; attempt < 3; ++attempt) {
            const std::uint16_t port = freePort();
            const pid_t pid = Spawn(makeArguments(port), output);
            children_.push_back(pid);
            const auto deadline = std::chrono::steady_clock::now() + kStartWait;
            while (std::chrono::steady_clock::now() < deadline && ::waitpid(pid, nullptr, WNOHANG) == 0) {
                if (Accepts(port))
                    return port;
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
            }
            Stop(pid);
            children_.pop_back();
        }
        throw std::runtime_error(what + " did not start: " + ReadFile(output) +
                                 ReadFile(output.parent_path() / "maillog"));
    }

    static pid_t Spawn(const std::vector<std::string>& argv, const std::filesystem::path& output)
    {
        // Everything the child needs is made before fork: a threaded process may not allocate there.
        std::vector<char*> args;
        for (const std::string& arg : argv)
            args.push_back(const_cast<char*>(arg.c_str()));
        args.push_back(nullptr);
        const int out = ::open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        const pid_t parent = ::getpid();
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::prctl(PR_SET_PDEATHSIG, SIGTERM);
            if (::getppid() != parent)
                ::_exit(1);
            ::setpgid(0, 0); // a terminal's Ctrl+C ends this process, whose end then stops the peers
            ::dup2(out, STDOUT_FILENO);
            ::dup2(out, STDERR_FILENO);
            ::execv(args[0], args.data());
            ::_exit(127);
        }
        if (out >= 0)
            ::close(out);
        if (pid < 0)
            throw std::runtime_error("fork failed");
        return pid;
    }

    static int RunToEnd(const std::vector<std::string>& argv, const std::filesystem::path& output)
    {
        const pid_t pid = Spawn(argv, output);
        int status = 0;
        ::waitpid(pid, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    static void Stop(pid_t pid)
    {
        ::kill(pid, SIGTERM);
        for (int i = 0; i < 100; ++i) {
            if (::waitpid(pid, nullptr, WNOHANG) != 0)
                return;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
    }

    void StopAll()
    {
        // Masters first, so nothing relays into a stopped sink.
        for (auto it = children_.rbegin(); it != children_.rend(); ++it)
            Stop(*it);
        children_.clear();
    }

    static bool Accepts(std::uint16_t port)
    {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
        ::close(fd);
        return ok;
    }

    static void Chown(const std::filesystem::path& path, uid_t owner)
    {
        if (::chown(path.c_str(), owner, static_cast<gid_t>(-1)) != 0)
            throw std::runtime_error("cannot hand " + path.string() + " to its user");
    }

    static std::string ReadFile(const std::filesystem::path& path)
    {
        std::ifstream in(path);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

    std::filesystem::path root_;
    std::string error_;
    std::uint16_t sinkPort_ = 0;
    std::vector<std::uint16_t> ports_;
    std::vector<pid_t> children_;
};

} // namespace quillet::test
