// Helpers of the server tests: a plain socket client with time limits on every wait, a private
// temporary folder for the data files, and counts of the process's threads and descriptors.
#pragma once

#include "server/SMTPServer.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <dirent.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <vector>
#include <stdexcept>
#include <string>
#include <thread>

namespace quillet::test {

// Every data file of the server tests lands here (TMPDIR is set before any test runs).
inline const std::string& PrivateTempFolder()
{
    // Kept for the whole run (never destroyed), so that the exit handler can still remove it.
    static const std::string* folder = [] {
        char pattern[] = "/tmp/quillet-server-tests-XXXXXX";
        const char* made = ::mkdtemp(pattern);
        if (!made)
            throw std::runtime_error("cannot create the test folder");
        ::setenv("TMPDIR", made, 1);
        auto* name = new std::string(made);
        std::atexit([] { std::filesystem::remove_all(*folder); });
        return name;
    }();
    return *folder;
}

// Files whose name starts with "oqm" in the private temporary folder.
inline int DataFilesLeft()
{
    int count = 0;
    for (const auto& entry : std::filesystem::directory_iterator(PrivateTempFolder()))
        if (entry.path().filename().string().rfind("oqm", 0) == 0)
            ++count;
    return count;
}

// Descriptors of this process open on a data file (deleted ones too), after waiting up to two
// seconds for them to be closed.
inline int DataFilesOpen()
{
    const std::string prefix = PrivateTempFolder() + "/oqm";
    int count = 0;
    for (int wait = 0; wait < 200; ++wait) {
        count = 0;
        for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
            std::error_code error;
            const std::string target = std::filesystem::read_symlink(entry.path(), error).string();
            if (!error && target.rfind(prefix, 0) == 0)
                ++count;
        }
        if (count == 0)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return count;
}

inline int CountEntries(const char* folder)
{
    int count = 0;
    if (DIR* dir = ::opendir(folder)) {
        while (const dirent* entry = ::readdir(dir))
            if (entry->d_name[0] != '.')
                ++count;
        ::closedir(dir);
    }
    return count;
}
inline int OpenDescriptors()
{
    return CountEntries("/proc/self/fd");
}
// Threads of the process. The first thread ever started may bring a helper thread of the runtime
// (ThreadSanitizer starts one), so one is started and ended before the first count.
// A joined thread's entry leaves /proc a moment after the join has returned (later still on a
// busy machine), so a count is taken again for up to a second until it is the one expected.
inline int ThreadCountSettled(int expected)
{
    int count = CountEntries("/proc/self/task");
    for (int i = 0; i < 100 && count != expected; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        count = CountEntries("/proc/self/task");
    }
    return count;
}

inline int RunningThreads()
{
    static const bool warmedUp = [] {
        const int alone = CountEntries("/proc/self/task");
        std::thread([] {}).join();
        ThreadCountSettled(alone);
        return true;
    }();
    (void)warmedUp;
    return CountEntries("/proc/self/task");
}

// A blocking client on 127.0.0.1 whose every wait is limited.
class TestClient {
public:
    static constexpr std::chrono::milliseconds DefaultWait{5000};

    explicit TestClient(std::uint16_t port)
    {
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        timeval limit{10, 0};
        ::setsockopt(fd_, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
        if (fd_ < 0 || ::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
            Close();
            throw std::runtime_error("cannot connect to port " + std::to_string(port));
        }
    }
    ~TestClient() { Close(); }
    TestClient(const TestClient&) = delete;
    TestClient& operator=(const TestClient&) = delete;

    void Close()
    {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = -1;
    }

    void Send(std::string_view bytes)
    {
        while (!bytes.empty()) {
            const ssize_t sent = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
            if (sent <= 0)
                throw std::runtime_error("send failed");
            bytes.remove_prefix(std::size_t(sent));
        }
    }
    void SendLine(std::string_view line) { Send(std::string(line) + "\r\n"); }

    // The next line with its CR LF; throws when none arrives in time or the server closed.
    std::string ReadLine(std::chrono::milliseconds wait = DefaultWait)
    {
        const auto deadline = std::chrono::steady_clock::now() + wait;
        for (;;) {
            const std::size_t end = buffer_.find('\n');
            if (end != std::string::npos) {
                std::string line = buffer_.substr(0, end + 1);
                buffer_.erase(0, end + 1);
                return line;
            }
            if (!Receive(deadline))
                throw std::runtime_error("connection closed; pending \"" + buffer_ + "\"");
        }
    }

    // Sends a command and returns the reply line.
    std::string Command(std::string_view line)
    {
        SendLine(line);
        return ReadLine();
    }

    // True when the server closes the connection within the wait, with nothing more to read.
    bool ClosedByServer(std::chrono::milliseconds wait = DefaultWait)
    {
        const auto deadline = std::chrono::steady_clock::now() + wait;
        try {
            while (Receive(deadline)) {
            }
        } catch (const std::exception&) {
            return false;
        }
        return buffer_.empty();
    }

    const std::string& Pending() const { return buffer_; }
    int Handle() const { return fd_; }

private:
    // Appends received bytes; false when the peer closed. Throws on time-out.
    bool Receive(std::chrono::steady_clock::time_point deadline)
    {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        pollfd waiting{fd_, POLLIN, 0};
        if (left.count() <= 0 || ::poll(&waiting, 1, int(left.count())) <= 0)
            throw std::runtime_error("no reply in time; pending \"" + buffer_ + "\"");
        char chunk[4096];
        const ssize_t got = ::recv(fd_, chunk, sizeof chunk, 0);
        if (got <= 0)
            return false;
        buffer_.append(chunk, std::size_t(got));
        return true;
    }

    int fd_ = -1;
    std::string buffer_;
};

// A server on an ephemeral port of 127.0.0.1 that keeps every received message in memory.
class ServerFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        PrivateTempFolder();
        server.DefaultPort = 0;
        server.OnReceiveRaw = [this](TSMTPServerThread&, const ReceivedData& data, const TEMailAddressList& rcpt,
                                     std::string&) {
            std::string bytes;
            if (FILE* f = std::fopen(data.Path.c_str(), "rb")) {
                char chunk[65536];
                std::size_t got;
                while ((got = std::fread(chunk, 1, sizeof chunk, f)) > 0)
                    bytes.append(chunk, got);
                std::fclose(f);
            }
            std::lock_guard guard(receivedLock);
            received.push_back(bytes);
            receivedRecipients.push_back(rcpt.AddressesText());
        };
    }
    void TearDown() override { server.SetActive(false); }

    std::uint16_t Start()
    {
        server.SetActive(true);
        return server.BoundPort();
    }

    std::vector<std::string> Received()
    {
        std::lock_guard guard(receivedLock);
        return received;
    }

    std::vector<std::string> Recipients()
    {
        std::lock_guard guard(receivedLock);
        return receivedRecipients;
    }

    std::mutex receivedLock;
    std::vector<std::string> received;
    std::vector<std::string> receivedRecipients;
    // Last, so that it goes (with its threads) before what its hook touches.
    TSMTPServer server;
};

} // namespace quillet::test
