// Debian's aiosmtpd with TLS (peers/tls_smtp_server.py) as a peer of tests: STARTTLS required
// before AUTH, or TLS from the first byte, with a certificate of TestCertificates; user "user",
// password "secret". Received messages and the authentication log are kept in a folder of its own.
#pragma once

#include "transport/ChildProcess.h"
#include "transport/TestCertificates.h"
#include "support/TempFolder.h"

#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace quillet::test {

inline constexpr const char* kPython = "/usr/bin/python3";

class TlsPeer {
public:
    // Why the peer cannot run on this machine (a reason to skip), or nullptr.
    static const char* Missing()
    {
        if (::access(kPython, X_OK) != 0 ||
            std::system((std::string(kPython) + " -c 'import aiosmtpd' 2>/dev/null").c_str()) != 0)
            return "python3-aiosmtpd is not installed";
        if (!TestCertificates::Get().Available())
            return "openssl could not make the test certificates";
        return nullptr;
    }

    // mode: "starttls" or "implicit"; certificate: a name of TestCertificates.
    TlsPeer(const std::string& mode, const std::string& certificate, bool plainOnly = false)
    {
        const TestCertificates& certificates = TestCertificates::Get();
        std::vector<std::string> argv = {kPython,
                                         "-W",
                                         "ignore",
                                         std::string(QUILLET_SOURCE_DIR) + "/tests/transport/peers/tls_smtp_server.py",
                                         folder_.path().string(),
                                         "user",
                                         "secret",
                                         mode,
                                         certificates.Certificate(certificate),
                                         certificates.Key(certificate)};
        if (plainOnly)
            argv.push_back("--plain-only");
        process_ = std::make_unique<ChildProcess>(argv);
        const auto ready = process_->ReadLine(15000);
        if (ready && ready->rfind("PORT ", 0) == 0)
            port_ = static_cast<uint16_t>(std::stoi(ready->substr(5)));
    }
    uint16_t Port() const { return port_; }
    std::string AuthLog() const { return readFileBytes((folder_.path() / "auth.log").string()); }
    bool Received(int number) const
    {
        return std::filesystem::exists(folder_.path() / ("message-" + std::to_string(number) + ".eml"));
    }

private:
    TempFolder folder_;
    std::unique_ptr<ChildProcess> process_;
    uint16_t port_ = 0;
};

} // namespace quillet::test
