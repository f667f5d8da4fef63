// The test certificate authority and server certificates, made once per test program with
// openssl (tests/transport/peers/make_test_ca.sh) in a temporary folder; see that script for the
// files. Available() is false when openssl is missing; tests then skip.
#pragma once

#include "support/TempFolder.h"

#include <cstdlib>
#include <memory>
#include <string>

namespace quillet::test {

class TestCertificates {
public:
    static const TestCertificates& Get()
    {
        static const std::unique_ptr<TestCertificates> made(new TestCertificates);
        return *made;
    }
    bool Available() const { return available_; }
    std::string File(const std::string& name) const { return (folder_.path() / name).string(); }
    std::string Ca() const { return File("ca.pem"); }
    std::string Certificate(const std::string& name) const { return File(name + ".pem"); }
    std::string Key(const std::string& name) const { return File(name + ".key"); }

private:
    TestCertificates()
    {
        const std::string script = std::string(QUILLET_SOURCE_DIR) + "/tests/transport/peers/make_test_ca.sh";
        available_ = std::system(("'" + script + "' '" + folder_.path().string() + "'").c_str()) == 0;
    }

    TempFolder folder_;
    bool available_ = false;
};

} // namespace quillet::test
