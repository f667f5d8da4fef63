// A real IMAP server for tests: Dovecot started in the foreground on 127.0.0.1 with two
// ephemeral ports (IMAP with STARTTLS, IMAP over TLS), its own configuration, one passwd-file
// user ("ann", password "secret") and a Maildir in a temporary folder, TLS with a certificate
// made at start (CN localhost, IP 127.0.0.1). Ended by its PID with the object. available() is
// false when Dovecot or openssl is not installed.
#pragma once

#include "support/FreePort.h"
#include "support/TempFolder.h"

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <netinet/in.h>
#include <string>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace quillet::test {

class DovecotServer {
public:
    static bool available()
    {
        return ::access("/usr/sbin/dovecot", X_OK) == 0 && ::access("/usr/bin/openssl", X_OK) == 0;
    }

    DovecotServer() : imapPort_(freePort()), imapsPort_(freePort())
    {
        const std::string d = folder_.path().string();
        for (const char* sub : {"run", "Maildir/cur", "Maildir/new", "Maildir/tmp"})
            std::filesystem::create_directories(folder_.path() / sub);
        if (std::system(("openssl req -x509 -newkey rsa:2048 -nodes -keyout " + d + "/key.pem -out " + d +
                         "/cert.pem -days 2 -subj /CN=localhost -addext subjectAltName=IP:127.0.0.1 2>/dev/null")
                            .c_str()) != 0)
            throw std::runtime_error("openssl could not make a certificate");
        writeFileBytes(d + "/passwd", "ann:{PLAIN}secret::::::\n");
        // Dovecot serves no mail as root: the mail belongs to the caller, or to nobody for root.
        const uid_t uid = ::getuid() == 0 ? 65534 : ::getuid();
        const gid_t gid = ::getuid() == 0 ? 65534 : ::getgid();
        mailUid_ = uid;
        mailGid_ = gid;
        writeFileBytes(d + "/dovecot.conf",
                       "protocols = imap\nlisten = 127.0.0.1\nbase_dir = " + d + "/run\nstate_dir = " + d +
                           "/run\nlog_path = " + d + "/dovecot.log\nssl = yes\nssl_cert = <" + d +
                           "/cert.pem\nssl_key = <" + d + "/key.pem\nmail_location = maildir:" + d +
                           "/Maildir\ndisable_plaintext_auth = no\nauth_mechanisms = plain login\n"
                           "passdb {\n  driver = passwd-file\n  args = " +
                           d +
                           "/passwd\n}\n"
                           "userdb {\n  driver = static\n  args = uid=" +
                           std::to_string(uid) + " gid=" + std::to_string(gid) + " home=" + d +
                           "\n}\n"
                           "service imap-login {\n  chroot =\n  inet_listener imap {\n    port = " +
                           std::to_string(imapPort_) + "\n  }\n  inet_listener imaps {\n    port = " +
                           std::to_string(imapsPort_) + "\n    ssl = yes\n  }\n}\nservice anvil {\n  chroot =\n}\n");
        ::chmod(d.c_str(), 0755);
        ownMail();
        pid_ = ::fork();
        if (pid_ == 0) {
            ::execl("/usr/sbin/dovecot", "dovecot", "-F", "-c", (d + "/dovecot.conf").c_str(), nullptr);
            ::_exit(127);
        }
        // Ready when both ports take connections (at most ten seconds).
        for (int i = 0; i < 200 && !(listening(imapPort_) && listening(imapsPort_)); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ~DovecotServer()
    {
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            int status = 0;
            ::waitpid(pid_, &status, 0);
        }
    }
    DovecotServer(const DovecotServer&) = delete;
    DovecotServer& operator=(const DovecotServer&) = delete;

    unsigned short imapPort() const { return imapPort_; }
    unsigned short imapsPort() const { return imapsPort_; }
    std::string certificate() const { return (folder_.path() / "cert.pem").string(); }
    std::filesystem::path maildir() const { return folder_.path() / "Maildir"; }
    std::string log() const { return readFileBytes((folder_.path() / "dovecot.log").string()); }

    // Puts a message into the Maildir's new/ as the server's mail user.
    void deliver(const std::string& name, const std::string& message) const
    {
        writeFileBytes((maildir() / "new" / name).string(), message);
        ownMail();
    }

private:
    static bool listening(unsigned short port)
    {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(port);
        const bool connected = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
        ::close(fd);
        return connected;
    }
    void ownMail() const
    {
        if (::getuid() != 0)
            return;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(maildir()))
            if (::chown(entry.path().c_str(), mailUid_, mailGid_) != 0)
                throw std::runtime_error("chown failed");
        if (::chown(maildir().c_str(), mailUid_, mailGid_) != 0)
            throw std::runtime_error("chown failed");
    }

    TempFolder folder_;
    unsigned short imapPort_;
    unsigned short imapsPort_;
    uid_t mailUid_ = 0;
    gid_t mailGid_ = 0;
    pid_t pid_ = -1;
};

} // namespace quillet::test
