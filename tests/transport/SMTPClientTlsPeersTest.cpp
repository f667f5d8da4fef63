// The SMTP client against Debian's aiosmtpd with TLS (peers/tls_smtp_server.py) and the test
// certificate authority: STARTTLS before AUTH, TLS from the first byte, AUTH PLAIN, a wrong
// password, and every kind of certificate refused (nothing sent) or trusted by file or pin; and
// the system's trusted certificates read from their hashed folder when a chain needs them.
#include "transport/MailMessage.h"
#include "transport/SMTPClient.h"
#include "transport/TransportError.h"

#include "support/TempFolder.h"
#include "transport/TestCertificates.h"
#include "transport/TlsPeer.h"

#include <gtest/gtest.h>

#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509_vfy.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>

using namespace quillet;
using namespace quillet::test;
namespace fs = std::filesystem;

namespace {

class TlsPeers : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (const char* missing = TlsPeer::Missing())
            GTEST_SKIP() << missing;
    }

    static void Aim(TSMTPClient& client, const TlsPeer& peer, const std::string& password = "secret")
    {
        ASSERT_NE(peer.Port(), 0) << "the peer did not start";
        client.Host = "127.0.0.1";
        client.Port = peer.Port();
        client.SetAuthenticationType(TAuthenticationType::atLogin);
        client.Username = "user";
        client.Password = password;
    }

    static void SendOne(TSMTPClient& client)
    {
        TMailMessage message;
        message.From = TEMailAddressItem("from@example.org");
        message.Recipients.SetAddressesText("rcpt@example.org");
        message.Subject = "Through TLS";
        message.ContentType = "text/plain";
        message.Body = {"Body"};
        client.Connect();
        client.Send(message);
        client.Disconnect();
    }

    // The fingerprint as openssl prints it.
    static std::string OpensslFingerprint(const std::string& certificate)
    {
        const std::string command =
            "openssl x509 -noout -fingerprint -sha256 -in '" + TestCertificates::Get().Certificate(certificate) + "'";
        std::string output;
        if (FILE* pipe = ::popen(command.c_str(), "r")) {
            char buffer[256];
            while (std::fgets(buffer, sizeof buffer, pipe))
                output += buffer;
            ::pclose(pipe);
        }
        const size_t equals = output.find('=');
        return equals == std::string::npos ? "" : output.substr(equals + 1, 95);
    }
};

TEST_F(TlsPeers, StartTlsComesBeforeTheLoginAndTheMessageArrives)
{
    TlsPeer peer("starttls", "server");
    TSMTPClient client;
    Aim(client, peer);
    client.Trust.caFile = TestCertificates::Get().Ca();
    SendOne(client);
    EXPECT_EQ(peer.AuthLog(), "LOGIN user ok tls\n");
    EXPECT_TRUE(peer.Received(1));
}

TEST_F(TlsPeers, ImplicitTlsWithPlainOnlyAndAWrongPasswordKeepingTheReply)
{
    TlsPeer peer("implicit", "server", true);
    TSMTPClient client;
    Aim(client, peer);
    client.Security = ConnectionSecurity::Tls;
    client.Trust.caFile = TestCertificates::Get().Ca();
    SendOne(client);
    EXPECT_TRUE(peer.Received(1));

    Aim(client, peer, "wrong");
    try {
        SendOne(client);
        FAIL() << "no error";
    } catch (const EProtocolReplyError& e) {
        EXPECT_EQ(e.code(), 535);
        EXPECT_NE(std::string(e.what()).find("Authentication credentials invalid"), std::string::npos) << e.what();
    }
    client.Disconnect();
    EXPECT_EQ(peer.AuthLog(), "PLAIN user ok tls\nPLAIN user refused tls\n");
    EXPECT_FALSE(peer.Received(2));
}

TEST_F(TlsPeers, CertificatesThatFailAreRefusedBeforeAnythingIsSent)
{
    struct Case {
        const char* certificate;
        bool trustCa;
        const char* reason;
    };
    for (const Case& c : {Case{"server", false, "the certificate's issuer is unknown"},
                          Case{"self", true, "the certificate is self-signed"},
                          Case{"other", true, "the certificate is for another host name"},
                          Case{"expired", true, "the certificate has expired"}}) {
        TlsPeer peer("starttls", c.certificate);
        TSMTPClient client;
        Aim(client, peer);
        if (c.trustCa)
            client.Trust.caFile = TestCertificates::Get().Ca();
        const std::string fingerprint = OpensslFingerprint(c.certificate);
        try {
            SendOne(client);
            FAIL() << c.certificate << ": no error";
        } catch (const ECertificateRejected& e) {
            EXPECT_EQ(e.reason(), c.reason) << c.certificate;
            EXPECT_EQ(e.fingerprint(), fingerprint) << c.certificate;
            EXPECT_EQ(std::string(e.what()), "The certificate of the server 127.0.0.1 (port " +
                                                 std::to_string(peer.Port()) + ") is not trusted: " + c.reason +
                                                 ".\r\nSHA-256 fingerprint: " + fingerprint);
        }
        EXPECT_FALSE(client.Connected());
        EXPECT_EQ(peer.AuthLog(), "") << c.certificate;

        // Pinned for this host and port, the same certificate is trusted.
        client.Trust.pins = {{"127.0.0.1", peer.Port(), NormalizeFingerprint(fingerprint)}};
        SendOne(client);
        EXPECT_TRUE(peer.Received(1)) << c.certificate;
        if (std::string(c.certificate) != "server")
            continue;
        // A pin's host matches in any letter case; a pin that does not match is the reason given.
        client.Host = "LocalHost";
        client.Trust.pins = {{"localhost", peer.Port(), NormalizeFingerprint(fingerprint)}};
        SendOne(client);
        EXPECT_TRUE(peer.Received(2));
        const std::string other = NormalizeFingerprint(std::string(64, 'a'));
        client.Trust.pins = {{"localhost", peer.Port(), other}};
        try {
            SendOne(client);
            FAIL() << "no error";
        } catch (const ECertificateRejected& e) {
            EXPECT_EQ(e.reason(), "its fingerprint is not the one pinned for this server (pinned " + other + ", seen " +
                                      fingerprint + ")");
        }
    }
}

// Without a trusted-certificates file the system's store decides; here SSL_CERT_FILE makes the
// test authority the system's, and the server's chain is trusted through it.
TEST_F(TlsPeers, TheSystemStoreVouchesForAServerWithoutAFile)
{
    const char* variable = X509_get_default_cert_file_env();
    const char* before = std::getenv(variable);
    const std::string saved = before ? before : "";
    ::setenv(variable, TestCertificates::Get().Ca().c_str(), 1);
    TlsPeer peer("starttls", "server");
    TSMTPClient client;
    Aim(client, peer);
    EXPECT_NO_THROW(SendOne(client));
    before ? ::setenv(variable, saved.c_str(), 1) : ::unsetenv(variable);
    EXPECT_TRUE(peer.Received(1));
}

// A client context takes the system's certificates from their hashed folder, reading none until a
// chain needs one (with SSL_CERT_FILE and SSL_CERT_DIR unset, as on a user's desktop), and a root
// certificate of that folder is then trusted.
TEST(SystemTrust, AHashedFolderIsReadWhenAChainNeedsIt)
{
    TempFolder folder;
    EXPECT_FALSE(IsHashedCertificateFolder(folder.path().string()));
    writeFileBytes((folder.path() / "ca.pem").string(), "x");
    writeFileBytes((folder.path() / "ABCDEF12.0").string(), "x");
    EXPECT_FALSE(IsHashedCertificateFolder(folder.path().string()));
    writeFileBytes((folder.path() / "abcdef12.0").string(), "x");
    EXPECT_TRUE(IsHashedCertificateFolder(folder.path().string()));
    EXPECT_FALSE(IsHashedCertificateFolder((folder.path() / "missing").string()));

    const std::string system = X509_get_default_cert_dir();
    if (!IsHashedCertificateFolder(system))
        GTEST_SKIP() << system << " holds no hashed certificates";
    std::string root;
    for (const auto& entry : fs::directory_iterator(system))
        if (entry.path().extension() == ".0" && (root.empty() || entry.path().string() < root))
            root = entry.path().string();
    std::FILE* file = std::fopen(root.c_str(), "r");
    ASSERT_NE(file, nullptr) << root;
    std::unique_ptr<X509, decltype(&X509_free)> certificate(PEM_read_X509(file, nullptr, nullptr, nullptr), X509_free);
    std::fclose(file);
    ASSERT_NE(certificate, nullptr) << root;

    std::map<std::string, std::string> saved;
    for (const char* name : {X509_get_default_cert_file_env(), X509_get_default_cert_dir_env()})
        if (const char* value = std::getenv(name)) {
            saved[name] = value;
            ::unsetenv(name);
        }
    std::unique_ptr<X509_STORE, decltype(&X509_STORE_free)> trust(X509_STORE_new(), X509_STORE_free);
    X509_STORE* store = trust.get();
    LoadSystemTrust(store);
    for (const auto& [name, value] : saved)
        ::setenv(name.c_str(), value.c_str(), 1);
    EXPECT_EQ(sk_X509_OBJECT_num(X509_STORE_get0_objects(store)), 0);
    std::unique_ptr<X509_STORE_CTX, decltype(&X509_STORE_CTX_free)> check(X509_STORE_CTX_new(), X509_STORE_CTX_free);
    ASSERT_EQ(X509_STORE_CTX_init(check.get(), store, certificate.get(), nullptr), 1);
    X509_VERIFY_PARAM_set_flags(X509_STORE_CTX_get0_param(check.get()), X509_V_FLAG_NO_CHECK_TIME);
    EXPECT_EQ(X509_verify_cert(check.get()), 1)
        << root << ": " << X509_verify_cert_error_string(X509_STORE_CTX_get_error(check.get()));
}

} // namespace
