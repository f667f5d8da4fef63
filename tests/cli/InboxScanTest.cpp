// quillet inbox scan over a Maildir, an mbox file and a real IMAP server (Dovecot, over TLS and
// with STARTTLS): what each kind of message does to the suppression list, that a second scan
// changes nothing, dry runs, and where read messages go.
#include "cli/CliHarness.h"
#include "support/DovecotServer.h"

#include <gtest/gtest.h>

#include <cstdio>

using namespace quillet::test;

namespace {

std::string seed(const std::string& name)
{
    return readFileBytes(QUILLET_SOURCE_DIR "/fuzz/corpus/feedback_report/" + name);
}

const char* const kSeeds[] = {"dsn-two-recipients.eml", "arf-complaint.eml", "unsubscribe-subject.eml",
                              "unsubscribe-first-line.eml", "vacation.eml"};

std::string lastLine(const std::string& text)
{
    const std::size_t end = text.find_last_not_of('\n');
    const std::size_t start = text.rfind('\n', end);
    return text.substr(start == std::string::npos ? 0 : start + 1, end == std::string::npos ? 0 : end - start);
}

} // namespace

TEST(InboxScan, MaildirAndMboxFillTheListOnce)
{
    CliHarness cli;
    cli.setEnv("QUILLET_SUPPRESSION", cli.file("list.sqlite").c_str());
    const std::string maildir = cli.file("Maildir");
    std::string mbox;
    for (const char* sub : {"/cur", "/new", "/tmp"})
        std::filesystem::create_directories(maildir + sub);
    for (const char* name : kSeeds) {
        CliHarness::writeFile(maildir + "/new/" + name, seed(name));
        mbox += "From MAILER-DAEMON Tue Dec  8 01:00:00 2026\n" + seed(name) + "\n";
    }
    CliHarness::writeFile(cli.file("box.mbox"), mbox);
    const std::vector<std::string> unsubscribe{"--unsubscribe-mailto", "unsubscribe@sender.example"};
    auto scan = [&](std::vector<std::string> args) {
        args.insert(args.begin(), {"inbox", "scan"});
        args.insert(args.end(), unsubscribe.begin(), unsubscribe.end());
        return cli.run(args);
    };

    const CliResult dry = scan({"--mbox", cli.file("box.mbox"), "--dry-run"});
    ASSERT_EQ(dry.status, 0) << dry;
    EXPECT_EQ(lastLine(dry.out), "bounced 1, soft 1, complained 1, unsubscribed 2, ignored 1, unrecognised 0");
    EXPECT_NE(dry.out.find("would record complaint: bea@example.org\n"), std::string::npos) << dry.out;
    EXPECT_EQ(cli.run({"suppress", "list"}).out, "");

    const CliResult json = scan({"--maildir", maildir, "--json", "--move-to", "Done"});
    ASSERT_EQ(json.status, 0) << json;
    EXPECT_NE(json.out.find(R"({"id": "new/dsn-two-recipients.eml", "kind": "bounce", "address": "ann@example.org", )"
                            R"("run": "", "status": "5.1.1", "detail": "550 5.1.1)"),
              std::string::npos)
        << json.out;
    EXPECT_EQ(lastLine(json.out), "bounced 1, soft 1, complained 1, unsubscribed 2, ignored 1, unrecognised 0");
    EXPECT_TRUE(std::filesystem::exists(maildir + "/.Done/cur/vacation.eml"));
    EXPECT_TRUE(std::filesystem::is_empty(maildir + "/new"));

    const CliResult list = cli.run({"suppress", "list"});
    for (const char* line : {"ann@example.org\tbounced\t", "bea@example.org\tcomplained\t",
                             "dan@example.org\tunsubscribed\t", "fay@example.org\tunsubscribed\t"})
        EXPECT_NE(list.out.find(line), std::string::npos) << list.out;
    EXPECT_EQ(list.out.find("cid@"), std::string::npos); // one soft bounce of three

    // The same reports again, from the mbox: nothing new.
    const CliResult again = scan({"--mbox", cli.file("box.mbox")});
    EXPECT_EQ(lastLine(again.out), "bounced 0, soft 0, complained 0, unsubscribed 0, ignored 0, unrecognised 0");
    EXPECT_EQ(cli.run({"suppress", "list"}).out, list.out);
}

TEST(InboxScan, ImapOverTlsAndStartTlsMarksSeenOrMoves)
{
    if (!DovecotServer::available())
        GTEST_SKIP() << "Dovecot or openssl is not installed";
    DovecotServer dovecot;
    CliHarness cli;
    cli.setEnv("QUILLET_SUPPRESSION", cli.file("list.sqlite").c_str());
    CliHarness::writeFile(cli.file("password"), "secret\n");
    dovecot.deliver("1.eml", seed("dsn-two-recipients.eml"));
    dovecot.deliver("2.eml", seed("vacation.eml"));
    dovecot.deliver("3.eml", "From: someone@example.net\r\nSubject: A question\r\n\r\nHello\r\n");
    const std::string imaps = "imaps://127.0.0.1:" + std::to_string(dovecot.imapsPort()) + "/INBOX";
    const std::string imap = "imap://127.0.0.1:" + std::to_string(dovecot.imapPort()) + "/INBOX";
    const std::vector<std::string> login{"--user", "ann", "--password-file", cli.file("password")};
    auto scan = [&](std::vector<std::string> args) {
        args.insert(args.begin(), {"inbox", "scan"});
        args.insert(args.end(), login.begin(), login.end());
        return cli.run(args);
    };

    // An untrusted certificate is refused before the password is sent.
    const CliResult untrusted = scan({"--imap", imaps});
    EXPECT_EQ(untrusted.status, 1) << untrusted;
    EXPECT_EQ(dovecot.log().find("Login: user=<ann>"), std::string::npos);

    const CliResult dry = scan({"--imap", imaps, "--tls-ca", dovecot.certificate(), "--dry-run"});
    EXPECT_EQ(dry.out.substr(dry.out.rfind("bounced")),
              "bounced 1, soft 1, complained 0, unsubscribed 0, ignored 1, unrecognised 1\n")
        << dry;
    const CliResult first = scan({"--imap", imaps, "--tls-ca", dovecot.certificate()});
    EXPECT_EQ(first.out, "bounced 1, soft 1, complained 0, unsubscribed 0, ignored 1, unrecognised 1\n") << first;
    EXPECT_NE(cli.run({"suppress", "list"}).out.find("ann@example.org\tbounced\t"), std::string::npos);

    // STARTTLS, trusted by the certificate's pin: only the unrecognised message is still unseen;
    // a new complaint is read and moved.
    FILE* pipe = ::popen(("openssl x509 -noout -fingerprint -sha256 -in " + dovecot.certificate()).c_str(), "r");
    char buffer[256] = {};
    ASSERT_TRUE(pipe && std::fgets(buffer, sizeof buffer, pipe));
    ::pclose(pipe);
    std::string pin = buffer;
    pin = pin.substr(pin.find('=') + 1);
    pin.erase(pin.find_last_not_of("\r\n") + 1);
    dovecot.deliver("4.eml", seed("arf-complaint.eml"));
    const CliResult second = scan({"--imap", imap, "--security", "starttls", "--tls-pin", pin, "--move-to", "Reports"});
    EXPECT_EQ(second.out, "bounced 0, soft 0, complained 1, unsubscribed 0, ignored 0, unrecognised 1\n") << second;
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dovecot.maildir() / ".Reports" / "cur"),
                            std::filesystem::directory_iterator()),
              1);
}
