// The SMTP client's connection security, authentication choice, time limits, stop signal and
// IPv6 against scripted peers on the loopback: what reaches the peer, and the errors' texts.
#include "transport/AntiFreeze.h"
#include "transport/MailMessage.h"
#include "transport/SMTPClient.h"
#include "transport/StopSignal.h"
#include "transport/TransportError.h"

#include "support/ScriptedSmtpPeer.h"
#include "transport/TestCertificates.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>

#include <chrono>
#include <thread>

using namespace quillet;
using namespace quillet::test;

namespace {

using Lines = std::vector<std::string>;

TMailMessage Message()
{
    TMailMessage message;
    message.From = TEMailAddressItem("sender@example.org");
    message.Recipients.SetAddressesText("rcpt@example.org");
    message.Subject = "Hello";
    message.ContentType = "text/plain";
    message.Body = {"Body"};
    return message;
}

void Aim(TSMTPClient& client, uint16_t port)
{
    client.Host = "127.0.0.1";
    client.Port = port;
    client.HeloName = "client.test";
}

TEST(ConnectionSecurityRule, NamesAndImplicitTls)
{
    for (auto security :
         {ConnectionSecurity::Auto, ConnectionSecurity::StartTls, ConnectionSecurity::Tls, ConnectionSecurity::None})
        EXPECT_EQ(ParseSecurity(SecurityName(security)), security);
    EXPECT_EQ(ParseSecurity("STARTTLS"), ConnectionSecurity::StartTls);
    EXPECT_FALSE(ParseSecurity("ssl"));
    EXPECT_TRUE(UsesImplicitTls(ConnectionSecurity::Auto, 465));
    EXPECT_FALSE(UsesImplicitTls(ConnectionSecurity::Auto, 587));
    EXPECT_TRUE(UsesImplicitTls(ConnectionSecurity::Tls, 2525));
    EXPECT_FALSE(UsesImplicitTls(ConnectionSecurity::StartTls, 465));
    EXPECT_FALSE(UsesImplicitTls(ConnectionSecurity::None, 465));
    EXPECT_TRUE(TSMTPClient::AnnouncesStartTls({"SIZE 100", "starttls"}));
    EXPECT_FALSE(TSMTPClient::AnnouncesStartTls({"STARTTLSX", "X STARTTLS"}));
    EXPECT_EQ(NormalizeFingerprint(std::string(64, 'a')),
              NormalizeFingerprint(std::string(32, 'A') + ":" + std::string(32, 'A')));
    EXPECT_EQ(NormalizeFingerprint("ab:cd"), "");
}

TEST(SMTPClientSecurity, RequiredStartTlsRefusesAServerWithoutItBeforeCredentials)
{
    ScriptedSmtpPeer server("220 ready\r\n", ScriptedSmtpPeer::Accepting({"AUTH LOGIN"}));
    TSMTPClient client;
    Aim(client, server.port());
    client.Security = ConnectionSecurity::StartTls;
    client.SetAuthenticationType(TAuthenticationType::atLogin);
    client.Username = "user";
    client.Password = "pass";
    try {
        client.Connect();
        FAIL() << "no error";
    } catch (const EServerCapabilityMissing& e) {
        EXPECT_STREQ(e.what(), "The server 127.0.0.1 offers no TLS; the connection security setting requires it.");
    }
    EXPECT_EQ(server.allCommands(), (Lines{"EHLO client.test", "QUIT"}));
}

TEST(SMTPClientSecurity, PasswordGoesInClearOnlyToThisMachineOrWhenAllowed)
{
    auto address = [](int family, const char* text) {
        SocketAddress a;
        a.storage.ss_family = static_cast<sa_family_t>(family);
        void* bytes = family == AF_INET ? static_cast<void*>(&reinterpret_cast<sockaddr_in&>(a.storage).sin_addr)
                                        : static_cast<void*>(&reinterpret_cast<sockaddr_in6&>(a.storage).sin6_addr);
        EXPECT_EQ(::inet_pton(family, text, bytes), 1);
        return a;
    };
    EXPECT_TRUE(TTCPClient::IsLoopbackAddress(address(AF_INET, "127.0.0.1")));
    EXPECT_TRUE(TTCPClient::IsLoopbackAddress(address(AF_INET, "127.200.0.9")));
    EXPECT_TRUE(TTCPClient::IsLoopbackAddress(address(AF_INET6, "::1")));
    EXPECT_TRUE(TTCPClient::IsLoopbackAddress(address(AF_INET6, "::ffff:127.0.0.1")));
    EXPECT_FALSE(TTCPClient::IsLoopbackAddress(address(AF_INET, "10.0.0.1")));
    EXPECT_FALSE(TTCPClient::IsLoopbackAddress(address(AF_INET6, "::ffff:10.0.0.1")));
    EXPECT_FALSE(TTCPClient::IsLoopbackAddress(address(AF_INET6, "2001:db8::1")));

    // The peer taken for a server elsewhere: refused before AUTH, unless allowed.
    for (const bool allowed : {false, true}) {
        ScriptedSmtpPeer server("220 ready\r\n", ScriptedSmtpPeer::Accepting({"AUTH LOGIN"}));
        TSMTPClient client;
        Aim(client, server.port());
        client.SetAuthenticationType(TAuthenticationType::atLogin);
        client.Username = "user";
        client.Password = "pass";
        client.PeerOnThisMachine = [](const SocketAddress&) { return false; };
        client.AllowPlainAuth = allowed;
        if (allowed) {
            client.Connect();
            TMailMessage message = Message();
            client.Send(message);
            client.Disconnect();
            EXPECT_EQ(server.allCommands().at(2), "AUTH LOGIN");
            continue;
        }
        try {
            client.Connect();
            FAIL() << "no error";
        } catch (const EServerCapabilityMissing& e) {
            EXPECT_STREQ(e.what(), "The server 127.0.0.1 offers no TLS; the password is not sent in clear (use "
                                   "--security starttls or tls, or --allow-plain-auth)");
        }
        EXPECT_EQ(server.allCommands(), (Lines{"EHLO client.test", "QUIT"}));
    }
}

TEST(SMTPClientSecurity, NoneNeverAsksForTls)
{
    ScriptedSmtpPeer server("220 ready\r\n", ScriptedSmtpPeer::Accepting({"STARTTLS"}));
    TSMTPClient client;
    Aim(client, server.port());
    client.Security = ConnectionSecurity::None;
    client.Connect();
    EXPECT_TRUE(client.StartTlsOffered());
    client.Disconnect();
    EXPECT_EQ(server.allCommands(), (Lines{"EHLO client.test", "QUIT"}));

    // A login the server offers only after STARTTLS is refused with the reason, not tried.
    ScriptedSmtpPeer authAfterTls("220 ready\r\n", ScriptedSmtpPeer::Accepting({"STARTTLS"}));
    Aim(client, authAfterTls.port());
    client.SetAuthenticationType(TAuthenticationType::atLogin);
    client.Username = "user";
    client.Password = "pass";
    try {
        client.Connect();
        FAIL() << "no error";
    } catch (const EServerCapabilityMissing& e) {
        EXPECT_STREQ(e.what(), "The server 127.0.0.1 takes the login only through TLS, and the connection security is "
                               "none (use --security starttls or auto)");
    }
}

TEST(SMTPClientAuthentication, PlainWhenLoginIsNotOfferedAndAClearErrorWhenNeitherIs)
{
    ScriptedSmtpPeer plain("220 ready\r\n", [](const std::string& command) -> std::string {
        if (command.rfind("AUTH PLAIN ", 0) == 0)
            return "235 ok\r\n";
        return ScriptedSmtpPeer::Accepting({"AUTH PLAIN CRAM-MD5"})(command);
    });
    TSMTPClient client;
    Aim(client, plain.port());
    client.SetAuthenticationType(TAuthenticationType::atLogin);
    client.Username = "user";
    client.Password = "pass";
    client.Connect();
    TMailMessage message = Message();
    client.Send(message);
    client.Disconnect();
    const Lines commands = plain.allCommands();
    ASSERT_GE(commands.size(), 3u);
    EXPECT_EQ(commands[2], "AUTH PLAIN AHVzZXIAcGFzcw=="); // NUL user NUL pass

    ScriptedSmtpPeer neither("220 ready\r\n", ScriptedSmtpPeer::Accepting({"AUTH CRAM-MD5 XOAUTH2"}));
    Aim(client, neither.port());
    client.Connect();
    try {
        client.Send(message);
        FAIL() << "no error";
    } catch (const EServerCapabilityMissing& e) {
        EXPECT_STREQ(e.what(),
                     "The server 127.0.0.1 offers no supported authentication method (offers: CRAM-MD5 XOAUTH2).");
    }
    client.Disconnect();
    EXPECT_EQ(neither.allCommands(), (Lines{"EHLO client.test", "RSET", "QUIT"}));
}

// A STARTTLS server through the line connection's own TLS, that sends a line of its own after
// its 220 reply to STARTTLS, in the same packet: the client must never read it as a reply.
TEST(SMTPClientSecurity, LinesSentBeforeTheHandshakeAreNeverReadAsReplies)
{
    const TestCertificates& certificates = TestCertificates::Get();
    if (!certificates.Available())
        GTEST_SKIP() << "openssl could not make the test certificates";
    auto context = TlsContext::Server(certificates.Certificate("server"), certificates.Key("server"));
    LoopbackListener listener;
    Lines received;
    std::thread peer([&] {
        TTCPConnection connection(listener.Accept());
        connection.ReadTimeout = kPeerWaitMs;
        try {
            connection.Write("220 ready\r\n");
            received.push_back(connection.ReadLn());
            connection.Write("250-test.server\r\n250 STARTTLS\r\n");
            received.push_back(connection.ReadLn());
            connection.Write("220 go ahead\r\n250 AUTH LOGIN\r\n");
            connection.StartTls(context, {});
            received.push_back(connection.ReadLn());
            connection.Write("250-test.server\r\n250 AUTH PLAIN\r\n");
            received.push_back(connection.ReadLn());
        } catch (const ETransportError& e) {
            received.push_back(e.what());
        }
    });
    TSMTPClient client;
    Aim(client, listener.Port());
    client.Trust.caFile = certificates.Ca();
    client.Connect();
    EXPECT_NE(client.Tls(), nullptr);
    EXPECT_EQ(client.AuthSchemes(), (Lines{"PLAIN"}));
    client.Disconnect();
    peer.join();
    EXPECT_EQ(received, (Lines{"EHLO client.test", "STARTTLS", "EHLO client.test", "QUIT"}));
}

// Through STARTTLS only the EHLO reply after the handshake says whether to pipeline: a server
// that announced PIPELINING in clear only gets one command at a time, one that announces it
// through TLS gets the whole group before it answers anything.
TEST(SMTPClientSecurity, PipeliningIsWhatTheGreetingThroughTlsAnnounces)
{
    const TestCertificates& certificates = TestCertificates::Get();
    if (!certificates.Available())
        GTEST_SKIP() << "openssl could not make the test certificates";
    auto context = TlsContext::Server(certificates.Certificate("server"), certificates.Key("server"));
    for (const bool throughTls : {false, true}) {
        LoopbackListener listener;
        Lines received;
        std::thread peer([&] {
            TTCPConnection connection(listener.Accept());
            connection.ReadTimeout = kPeerWaitMs;
            try {
                connection.Write("220 ready\r\n");
                received.push_back(connection.ReadLn());
                connection.Write(throughTls ? "250-test.server\r\n250 STARTTLS\r\n"
                                            : "250-test.server\r\n250-PIPELINING\r\n250 STARTTLS\r\n");
                received.push_back(connection.ReadLn());
                connection.Write("220 go ahead\r\n");
                connection.StartTls(context, {});
                received.push_back(connection.ReadLn());
                connection.Write(throughTls ? "250-test.server\r\n250 PIPELINING\r\n" : "250 test.server\r\n");
                const Lines replies{"250 reset\r\n", "250 sender ok\r\n", "250 recipient ok\r\n", "354 go ahead\r\n"};
                for (const std::string& reply : replies) {
                    received.push_back(connection.ReadLn());
                    if (!throughTls)
                        connection.Write(reply);
                }
                if (throughTls)
                    for (const std::string& reply : replies)
                        connection.Write(reply);
                while (connection.ReadLn() != ".") {
                }
                connection.Write("250 queued\r\n");
                received.push_back(connection.ReadLn());
            } catch (const ETransportError& e) {
                received.push_back(e.what());
            }
        });
        TSMTPClient client;
        Aim(client, listener.Port());
        client.Trust.caFile = certificates.Ca();
        client.Connect();
        EXPECT_EQ(client.PipeliningOffered(), throughTls);
        TMailMessage message = Message();
        client.Send(message);
        client.Disconnect();
        peer.join();
        EXPECT_EQ(received, (Lines{"EHLO client.test", "STARTTLS", "EHLO client.test", "RSET",
                                   "MAIL FROM:<sender@example.org>", "RCPT TO:<rcpt@example.org>", "DATA", "QUIT"}))
            << throughTls;
    }
}

// A message larger than the sockets hold, through TLS, to a server that takes its time before it
// reads the text: every line arrives once and in order. One that never reads it again ends with
// the data block's limit.
TEST(SMTPClientSecurity, ALargeMessageThroughTlsWaitsForRoomAndTheDataBlockLimit)
{
    const TestCertificates& certificates = TestCertificates::Get();
    if (!certificates.Available())
        GTEST_SKIP() << "openssl could not make the test certificates";
    auto context = TlsContext::Server(certificates.Certificate("server"), certificates.Key("server"));
    TMailMessage message = Message();
    message.Body.clear();
    for (int n = 0; n < 200000; ++n)
        message.Body.push_back("line " + std::to_string(n) + std::string(80, 'x'));
    for (const bool reads : {true, false}) {
        LoopbackListener listener;
        int lines = 0, inOrder = 0;
        std::thread peer([&] {
            TTCPConnection connection(listener.Accept());
            connection.ReadTimeout = kPeerWaitMs;
            try {
                connection.Write("220 ready\r\n");
                connection.ReadLn();
                connection.Write("250-test.server\r\n250 STARTTLS\r\n");
                connection.ReadLn();
                connection.Write("220 go ahead\r\n");
                connection.StartTls(context, {});
                connection.ReadLn();
                connection.Write("250 test.server\r\n");
                for (const char* reply : {"250 reset\r\n", "250 sender ok\r\n", "250 recipient ok\r\n"}) {
                    connection.ReadLn();
                    connection.Write(reply);
                }
                connection.ReadLn();
                connection.Write("354 go ahead\r\n");
                std::this_thread::sleep_for(std::chrono::milliseconds(reads ? 300 : 1500));
                if (!reads)
                    return;
                for (std::string line = connection.ReadLn(); line != "."; line = connection.ReadLn()) {
                    if (line == "line " + std::to_string(inOrder) + std::string(80, 'x'))
                        ++inOrder;
                    ++lines;
                }
                connection.Write("250 queued\r\n");
                connection.ReadLn();
            } catch (const ETransportError&) {
            }
        });
        TSMTPClient client;
        Aim(client, listener.Port());
        client.Trust.caFile = certificates.Ca();
        client.TimeLimits.dataBlock = 500;
        client.Connect();
        ASSERT_NE(client.Tls(), nullptr);
        if (reads) {
            client.Send(message);
            client.Disconnect();
        } else {
            try {
                client.Send(message);
                ADD_FAILURE() << "no error";
            } catch (const ETimeLimitExceeded& e) {
                EXPECT_EQ(std::string(e.what()), "Time limit: waited 0.5 s for the server to take more of the message "
                                                 "(server 127.0.0.1, port " +
                                                     std::to_string(listener.Port()) + ").");
            }
        }
        peer.join();
        if (reads) {
            EXPECT_EQ(inOrder, 200000);
            EXPECT_GE(lines, 200000);
        }
    }
}

TEST(SMTPClientTimeLimits, SilentServerEndsWithTheNamedLimit)
{
    ScriptedPeer silent([](PeerSocket& socket) { socket.ReadLine(); });
    TSMTPClient client;
    Aim(client, silent.Port());
    client.TimeLimits.greeting = 300;
    // The user hears once that the greeting is late; the wait keeps its whole limit.
    int notices = 0;
    client.NoGreetingNoticeMs = 100;
    client.OnNoGreetingYet = [&] { ++notices; };
    try {
        client.Connect();
        FAIL() << "no error";
    } catch (const ETimeLimitExceeded& e) {
        EXPECT_EQ(std::string(e.what()), "Time limit: waited 0.3 s for the greeting (server 127.0.0.1, port " +
                                             std::to_string(silent.Port()) + ").");
    }
    EXPECT_FALSE(client.Connected());
    EXPECT_EQ(notices, 1);
    client.OnNoGreetingYet = nullptr;

    // The same limit and text whether the commands go one by one or pipelined.
    for (const Lines& keywords : {Lines{}, Lines{"PIPELINING"}}) {
        ScriptedSmtpPeer stalls("220 ready\r\n", [keywords](const std::string& command) -> std::string {
            if (command.rfind("RCPT", 0) == 0) {
                std::this_thread::sleep_for(std::chrono::milliseconds(1500));
                return "";
            }
            return ScriptedSmtpPeer::Accepting(keywords)(command);
        });
        Aim(client, stalls.port());
        client.TimeLimits.rcpt = 1000;
        client.Connect();
        EXPECT_EQ(client.PipeliningOffered(), !keywords.empty());
        TMailMessage message = Message();
        try {
            client.Send(message);
            FAIL() << "no error";
        } catch (const ETimeLimitExceeded& e) {
            EXPECT_EQ(std::string(e.what()),
                      "Time limit: waited 1 s for the reply to RCPT TO (server 127.0.0.1, port " +
                          std::to_string(stalls.port()) + ").");
        }
        EXPECT_FALSE(client.Connected());
    }
}

TEST(SMTPClientStop, StopEndsAWaitAtOnceWithOrWithoutTheHook)
{
    for (const bool hooked : {false, true}) {
        ScriptedPeer silent([](PeerSocket& socket) { socket.ReadLine(); });
        StopSignal stop;
        std::optional<AntiFreezeScope> hook;
        int calls = 0;
        if (hooked)
            hook.emplace([&] {
                if (++calls == 2)
                    stop.Request();
            });
        std::thread stopper;
        if (!hooked)
            stopper = std::thread([&] {
                std::this_thread::sleep_for(std::chrono::milliseconds(200));
                stop.Request();
            });
        TSMTPClient client;
        Aim(client, silent.Port());
        client.TimeLimits = {};
        client.TimeLimits.greeting = 0;
        client.SetStopSignal(&stop);
        const auto start = std::chrono::steady_clock::now();
        EXPECT_THROW(client.Connect(), EStopped) << hooked;
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5)); // the peer waits 10 s
        EXPECT_FALSE(client.Connected());
        if (stopper.joinable())
            stopper.join();
    }
}

TEST(SMTPClientIPv6, LiteralAddressesWithAndWithoutBrackets)
{
    const int fd = ::socket(AF_INET6, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in6 address{};
    address.sin6_family = AF_INET6;
    address.sin6_addr = in6addr_loopback;
    socklen_t length = sizeof address;
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&address), length) != 0 || ::listen(fd, 4) != 0) {
        if (fd >= 0)
            ::close(fd);
        GTEST_SKIP() << "no IPv6 loopback";
    }
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    std::thread peer([fd] {
        for (int i = 0; i < 2; ++i) {
            const int connection = ::accept4(fd, nullptr, nullptr, SOCK_CLOEXEC);
            PeerSocket socket(connection);
            socket.Send("220 ready\r\n");
            socket.ReadToEnd();
        }
    });
    for (const char* host : {"::1", "[::1]"}) {
        TTCPClient client;
        client.Host = host;
        client.Port = ntohs(address.sin6_port);
        client.Connect(5000);
        EXPECT_EQ(client.GetResponse({220}), 220) << host;
        client.Disconnect();
    }
    peer.join();
    ::close(fd);
    const auto resolved = TTCPClient::ResolveAddresses("[::1]", 25);
    ASSERT_EQ(resolved.size(), 1u);
    EXPECT_EQ(resolved[0].Family(), AF_INET6);
}

} // namespace
