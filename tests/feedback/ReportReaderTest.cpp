// Classifying what comes back: delivery reports, complaints, unsubscribe mails and automatic
// replies, and the recipient each is about.
#include "feedback/ReportReader.h"
#include "feedback/UnsubscribeToken.h"

#include "support/TempFolder.h"

#include <gtest/gtest.h>

using namespace quillet;

namespace {

std::string seed(const std::string& name)
{
    return test::readFileBytes(QUILLET_SOURCE_DIR "/fuzz/corpus/feedback_report/" + name);
}

FeedbackContext unsubscribeContext()
{
    FeedbackContext context;
    context.unsubscribeMailboxes = {"Unsubscribe@Sender.example"};
    context.unsubscribeSecret = "0123456789abcdef-secret";
    return context;
}

} // namespace

TEST(ReportReader, DeliveryReportNamesEachRecipientVerpFirst)
{
    const FeedbackMessage report = ReadFeedbackMessage(seed("dsn-two-recipients.eml"), {});
    EXPECT_EQ(report.key, "<20261208.AB12@mx.sender.example>");
    ASSERT_EQ(report.items.size(), 2u);
    EXPECT_EQ(report.items[0].kind, FeedbackKind::Bounce);
    EXPECT_EQ(report.items[0].address, "ann@example.org"); // from the VERP address
    EXPECT_EQ(report.items[0].status, "5.1.1");
    EXPECT_EQ(report.items[0].detail, "550 5.1.1 <ann@example.org>: Recipient address    rejected: User unknown");
    EXPECT_EQ(report.items[1].kind, FeedbackKind::Soft);

    // Without VERP: the original recipient, then the returned Message-ID in the journals.
    std::string plain = seed("dsn-two-recipients.eml");
    for (std::string from = "bounces+ann=example.org@"; plain.find(from) != std::string::npos;)
        plain.replace(plain.find(from), from.size(), "bounces@");
    FeedbackContext context;
    context.findSent = [](std::string_view id) -> std::optional<SentMessage> {
        if (id == "<20261208010101.00ff@sender.example>")
            return SentMessage{"20261208-010101-abcd", "journal@example.org"};
        return std::nullopt;
    };
    const FeedbackMessage unnamed = ReadFeedbackMessage(plain, context);
    EXPECT_EQ(unnamed.items[0].address, "Ann@Example.org");
    EXPECT_EQ(unnamed.items[0].run, "20261208-010101-abcd");
    EXPECT_EQ(unnamed.items[1].address, "cid@example.org");
    std::string bare = plain;
    bare.erase(bare.find("Final-Recipient: rfc822; ann"),
               bare.find("Action: failed") - bare.find("Final-Recipient: rfc822; ann"));
    EXPECT_EQ(ReadFeedbackMessage(bare, context).items[0].address, "journal@example.org");
}

TEST(ReportReader, ComplaintsUnsubscribesAndAutoReplies)
{
    const FeedbackMessage complaint = ReadFeedbackMessage(seed("arf-complaint.eml"), {});
    ASSERT_EQ(complaint.items.size(), 1u);
    EXPECT_EQ(complaint.items[0].kind, FeedbackKind::Complaint);
    EXPECT_EQ(complaint.items[0].address, "bea@example.org");
    EXPECT_EQ(complaint.items[0].detail, "abuse");

    const FeedbackContext context = unsubscribeContext();
    const FeedbackItem bySubject = ReadFeedbackMessage(seed("unsubscribe-subject.eml"), context).items.at(0);
    EXPECT_EQ(bySubject.kind, FeedbackKind::Unsubscribe);
    EXPECT_EQ(bySubject.address, "dan@example.org");
    EXPECT_EQ(ReadFeedbackMessage(seed("unsubscribe-first-line.eml"), context).items.at(0).address, "fay@example.org");
    EXPECT_EQ(ReadFeedbackMessage(seed("vacation.eml"), context).items.at(0).kind, FeedbackKind::AutoReply);

    // "unsubscribe" to another address is not a request; a token is, whoever sends it, and
    // only for the address it was made for.
    std::string elsewhere = seed("unsubscribe-subject.eml");
    elsewhere.replace(elsewhere.find("To: unsubscribe@"), 16, "To: sales@");
    EXPECT_EQ(ReadFeedbackMessage(elsewhere, context).items.at(0).kind, FeedbackKind::Unrecognised);
    const std::string token = UnsubscribeToken(context.unsubscribeSecret, "gus@example.org");
    const std::string tokenMail = "From: x@example.net\r\nTo: any@sender.example\r\nSubject: Re: unsubscribe "
                                  "gus@example.org " +
                                  token + "\r\n\r\n";
    const FeedbackItem byToken = ReadFeedbackMessage(tokenMail, context).items.at(0);
    EXPECT_EQ(byToken.kind, FeedbackKind::Unsubscribe);
    EXPECT_EQ(byToken.address, "gus@example.org");
    std::string forged = tokenMail;
    forged.replace(forged.find("gus@"), 4, "hal@");
    EXPECT_EQ(ReadFeedbackMessage(forged, context).items.at(0).kind, FeedbackKind::Unrecognised);
}
