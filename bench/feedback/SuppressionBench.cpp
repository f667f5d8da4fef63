// Hearing back, measured beside peers in the same run:
//  1. Leaving out the suppressed: 1,000,000 recipients checked against a 1,000,000-entry list
//     (half of the recipients are in it, in other letter cases): the list loaded from its SQLite
//     file and every recipient looked up, beside `sort` of both address lists and `comm -23`
//     (LC_ALL=C, coreutils). Target: at least 1x.
//  2. Scanning: a Maildir of 10,000 mixed reports (delivery reports, complaints, unsubscribes,
//     automatic replies) read, classified and put into a fresh list, beside Python's
//     mailbox.Maildir with the email package parsing each message and walking its parts.
//     Target: at least 5x.
// Prints the seconds of each side (the median of three rounds) and the ratio peer/ours.
//
// Usage: bench_suppression [recipients] [reports]
#include "feedback/MailboxScan.h"

#include "support/BenchBasics.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <unistd.h>

using namespace quillet;

namespace {

double secondsOf(const std::function<void()>& work)
{
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double median3(const std::function<void()>& work)
{
    return bench::Median({secondsOf(work), secondsOf(work), secondsOf(work)});
}

std::string address(std::size_t i, bool upper)
{
    return (upper ? "User" : "user") + std::to_string(i) + (upper ? "@Example.ORG" : "@example.org");
}

std::string report(std::size_t i)
{
    const std::string to = "user" + std::to_string(i) + "@example.org";
    const std::string id = "<r" + std::to_string(i) + "@mx.example>";
    switch (i % 4) {
    case 0:
        return "From: MAILER-DAEMON@mx.example\r\nTo: bounces@sender.example\r\nMessage-ID: " + id +
               "\r\nSubject: Undelivered Mail\r\nMIME-Version: 1.0\r\nContent-Type: multipart/report; "
               "report-type=delivery-status; boundary=\"b\"\r\n\r\n--b\r\nContent-Type: text/plain\r\n\r\nNot "
               "delivered.\r\n--b\r\nContent-Type: message/delivery-status\r\n\r\nReporting-MTA: dns; "
               "mx.example\r\n\r\nFinal-Recipient: rfc822; " +
               to +
               "\r\nAction: failed\r\nStatus: 5.1.1\r\nDiagnostic-Code: smtp; 550 unknown\r\n\r\n--b\r\n"
               "Content-Type: text/rfc822-headers\r\n\r\nFrom: news@sender.example\r\nSubject: News\r\n--b--\r\n";
    case 1:
        return "From: abuse@isp.example\r\nTo: bounces@sender.example\r\nMessage-ID: " + id +
               "\r\nSubject: Complaint\r\nMIME-Version: 1.0\r\nContent-Type: multipart/report; "
               "report-type=feedback-report; boundary=\"b\"\r\n\r\n--b\r\nContent-Type: text/plain\r\n\r\nAbuse "
               "report.\r\n--b\r\nContent-Type: message/feedback-report\r\n\r\nFeedback-Type: abuse\r\nVersion: "
               "1\r\nOriginal-Rcpt-To: " +
               to +
               "\r\n\r\n--b\r\nContent-Type: message/rfc822\r\n\r\nFrom: news@sender.example\r\n\r\nHi\r\n--b--\r\n";
    case 2:
        return "From: " + to + "\r\nTo: unsubscribe@sender.example\r\nMessage-ID: " + id +
               "\r\nSubject: unsubscribe\r\n\r\nPlease remove me.\r\n";
    default:
        return "From: " + to + "\r\nTo: news@sender.example\r\nMessage-ID: " + id +
               "\r\nSubject: Out of office\r\nAuto-Submitted: auto-replied\r\n\r\nAway.\r\n";
    }
}

} // namespace

int main(int argc, char** argv)
{
    const std::size_t recipients = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 1'000'000;
    const std::size_t reports = argc > 2 ? std::strtoul(argv[2], nullptr, 10) : 10'000;
    char pattern[] = "/tmp/bench-suppression-XXXXXX";
    const std::filesystem::path folder = ::mkdtemp(pattern);
    std::printf("load average: %s", bench::LoadAverage().c_str());

    // 1. The list: every second recipient and as many others, in other letter cases.
    {
        std::vector<SuppressionEntry> entries;
        std::ofstream listFile(folder / "list.txt"), recipientFile(folder / "recipients.txt");
        for (std::size_t i = 0; i < recipients; ++i) {
            const std::size_t listed = i % 2 ? i : recipients + i;
            entries.push_back({address(listed, true), "bounced", "", "", "", ""});
            listFile << address(listed, false) << '\n';
            recipientFile << address(i, false) << '\n';
        }
        SuppressionStore(folder / "list.sqlite").AddAll(entries);
    }
    std::vector<std::string> chosen;
    for (std::size_t i = 0; i < recipients; ++i)
        chosen.push_back(address(i, false));
    std::size_t left = 0;
    const double ours = median3([&] {
        const SuppressedAddresses suppressed = SuppressionStore(folder / "list.sqlite").LoadAddresses();
        left = 0;
        for (const std::string& recipient : chosen)
            left += suppressed.Contains(recipient) ? 0 : 1;
    });
    const std::string f = folder.string();
    const std::string command =
        "cd " + f +
        " && LC_ALL=C sort list.txt > list.sorted && LC_ALL=C sort recipients.txt > "
        "recipients.sorted && LC_ALL=C comm -23 recipients.sorted list.sorted | wc -l > comm.out";
    const double peer = median3([&] { (void)std::system(command.c_str()); });
    std::printf("leaving out: %zu of %zu left; ours %.3f s, sort+comm %.3f s, ratio %.2fx\n", left, recipients, ours,
                peer, peer / ours);

    // 2. The Maildir of reports.
    const std::filesystem::path maildir = folder / "Maildir";
    for (const char* sub : {"cur", "new", "tmp"})
        std::filesystem::create_directories(maildir / sub);
    for (std::size_t i = 0; i < reports; ++i)
        std::ofstream(maildir / "new" / (std::to_string(i) + ".eml"), std::ios::binary) << report(i);
    int round = 0;
    ScanCounts counts;
    const double scan = median3([&] {
        SuppressionStore store(folder / ("scan" + std::to_string(round++) + ".sqlite"));
        ScanOptions options;
        options.dryRun = false;
        options.context.unsubscribeMailboxes = {"unsubscribe@sender.example"};
        const std::unique_ptr<Mailbox> mailbox = OpenMaildir(maildir);
        counts = ScanMailbox(*mailbox, store, options);
    });
    const std::string python = "python3 -c \"import mailbox,sys\nn=0\nfor m in mailbox.Maildir(sys.argv[1], "
                               "create=False):\n  n+=sum(1 for p in m.walk())\n\" " +
                               maildir.string();
    const double pythonSeconds = median3([&] { (void)std::system(python.c_str()); });
    std::printf("scanning: %s; ours %.3f s, Python mailbox+email %.3f s, ratio %.2fx\n", ScanSummary(counts).c_str(),
                scan, pythonSeconds, pythonSeconds / scan);
    std::filesystem::remove_all(folder);
    return 0;
}
