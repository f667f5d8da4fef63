// The run journal (its lines, reading it back after kills and torn writes), the resume plan,
// the pace of a run and a run that skips a recipient's failure and records it.
#include "support/ScriptedSmtpPeer.h"
#include "support/TempFolder.h"

#include "mailing/JsonLine.h"
#include "mailing/MailingRun.h"
#include "mailing/RunJournal.h"
#include "mailing/RunJournalReader.h"
#include "mailing/RunPace.h"
#include "mailing/RunRecordText.h"
#include "mailing/RunResume.h"
#include "mailing/SendThrottle.h"
#include "transport/MailMessage.h"
#include "transport/SMTPClient.h"
#include "transport/TransportError.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace quillet;
using quillet::test::readFileBytes;
using quillet::test::ScriptedSmtpPeer;
using quillet::test::TempFolder;
using ::testing::ElementsAre;

namespace {

RecipientRecord recipient(const std::string& email, const std::string& group = "G")
{
    RecipientRecord r;
    r.EMail.set(email);
    r.Group.set(group);
    return r;
}

// A journal folder of the test's own.
struct JournalFolder {
    TempFolder folder;
    JournalFolder() { ::setenv("XDG_STATE_HOME", folder.path().c_str(), 1); }
    ~JournalFolder() { ::unsetenv("XDG_STATE_HOME"); }
};

RunDescription description(std::vector<std::string> recipients)
{
    RunDescription run;
    run.route = "default";
    run.projectPath = "/p/club.oqf";
    run.group = "G";
    run.recipients = std::move(recipients);
    run.draft = {"Hi \"%NAME%\"", {"line\tone", ""}, {"/a.pdf"}};
    run.servers.push_back({"mail.x.org", "25", "u", "s@x.org", ""});
    return run;
}

void appendBytes(const std::filesystem::path& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary | std::ios::app) << bytes;
}

} // namespace

TEST(JsonLine, WritesAndReadsBackEscapesAndRefusesDamage)
{
    JsonLineWriter json;
    json.beginObject().key("t").value("q\" b\\ \n\x01 é").key("n").value(std::size_t(42));
    json.key("a").values({"x", ""}).key("f").value(false).endObject();
    EXPECT_EQ(json.text(), "{\"t\":\"q\\\" b\\\\ \\n\\u0001 é\",\"n\":42,\"a\":[\"x\",\"\"],\"f\":false}");
    const JsonValue value = JsonValue::parse(json.text());
    EXPECT_EQ(value["t"].text(), "q\" b\\ \n\x01 é");
    EXPECT_EQ(value["n"].integer(), 42);
    EXPECT_EQ(value["a"].items().size(), 2u);
    EXPECT_FALSE(value["f"].boolean(true));
    EXPECT_EQ(value["missing"]["deeper"].integer(7), 7);
    EXPECT_EQ(JsonValue::parse(R"(["\ud83d\ude00", "\u00e9"])").items()[0].text(), "\xF0\x9F\x98\x80");

    for (const char* bad : {"{\"a\":1", "{\"a\":1}x", "[\"tab\there\"]", "{\"a\":tru}", "[01]", "\"\\x\"", ""})
        EXPECT_THROW(JsonValue::parse(bad), EJsonError) << bad;
    EXPECT_THROW(JsonValue::parse(std::string(100, '[') + std::string(100, ']')), EJsonError);
}

TEST(RunJournal, RecordsEveryFateAndReadsItBackAfterAKill)
{
    JournalFolder state;
    RunDescription run = description({"a@x.org", "b@x.org", "c@x.org", "d@x.org"});
    run.fromSender = true;
    std::filesystem::path path;
    {
        RunJournal journal = RunJournal::Create(run);
        path = journal.Path();
        journal.Pending(0, "a@x.org");
        journal.Outcome(0, "a@x.org", RecipientStatus::Sent, "250 Ok", 1);
        journal.Outcome(1, "b@x.org", RecipientStatus::Rejected, "550 no such user", 1);
        journal.Pending(2, "c@x.org"); // killed between the final dot and its reply
    }
    EXPECT_EQ(path, RunJournalFolder() / (run.id + ".jsonl"));
    struct stat info {};
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    ASSERT_EQ(::stat(RunJournalFolder().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
    const std::string bytes = readFileBytes(path.string());
    EXPECT_EQ(bytes.find("password"), std::string::npos);
    EXPECT_NE(bytes.find("\"body\":[\"line\\tone\",\"\"]"), std::string::npos);

    RunRecord record = ReadRunJournal(run.id);
    EXPECT_EQ(record.description.draft.subject, "Hi \"%NAME%\"");
    EXPECT_EQ(record.description.draft.body, run.draft.body);
    EXPECT_EQ(record.description.servers.at(0).host, "mail.x.org");
    EXPECT_TRUE(record.description.fromSender);
    EXPECT_EQ(record.ending, "");
    EXPECT_EQ(record.recipients[0].status, RecipientStatus::Sent);
    EXPECT_EQ(record.recipients[1].status, RecipientStatus::Rejected);
    EXPECT_EQ(record.recipients[1].reply, "550 no such user");
    EXPECT_EQ(record.recipients[2].status, RecipientStatus::Unknown);
    EXPECT_EQ(record.recipients[3].status, RecipientStatus::NotTried);
    const RunCounts counts = record.Counts();
    EXPECT_EQ(counts.sent + counts.rejected + counts.unknown + counts.notTried, 4u);

    // A kill in the middle of a write leaves a torn last line: it is left out, and the resumed
    // session starts on a line of its own.
    appendBytes(path, "{\"type\":\"outcome\",\"n\":3,\"email\":\"d@x");
    EXPECT_EQ(ReadRunJournal(run.id).unreadableLines, 1u);
    {
        RunJournal resumed = RunJournal::Resume(run.id, run);
        resumed.Outcome(3, "d@x.org", RecipientStatus::Sent, "250 Ok", 2);
        resumed.Ended("completed", "");
    }
    record = ReadRunJournal(run.id);
    EXPECT_EQ(record.sessions, 2u);
    EXPECT_EQ(record.unreadableLines, 1u);
    EXPECT_EQ(record.ending, "completed");
    EXPECT_EQ(record.recipients[3].status, RecipientStatus::Sent);
    EXPECT_EQ(record.recipients[3].attempts, 2);
    EXPECT_THAT(ListRunIds(), ElementsAre(run.id));

    EXPECT_THROW(ReadRunJournal("../etc/passwd"), EMailingError);
    EXPECT_THROW(ReadRunJournal("20990101-000000-0000"), EMailingError);
    EXPECT_THROW(ParseRunJournal("{\"type\":\"outcome\"}\n", "x"), EMailingError);
}

TEST(RunJournal, ASessionHoldsItsRunSoASecondCannotResumeItAndADoubleSendIsNamed)
{
    JournalFolder state;
    RunDescription run = description({"a@x.org", "b@x.org"});
    {
        RunJournal journal = RunJournal::Create(run);
        EXPECT_EQ(RunInProgress(run.id), std::optional<long>(::getpid()));
        try {
            RunJournal::Resume(run.id, run);
            ADD_FAILURE() << "a run in progress was resumed";
        } catch (const ERunInProgress& error) {
            EXPECT_EQ(std::string(error.what()),
                      "Run " + run.id + " is still in progress (process " + std::to_string(::getpid()) + ")");
        }
        journal.Outcome(0, "a@x.org", RecipientStatus::Sent, "250 Ok", 1);
    }
    EXPECT_EQ(RunInProgress(run.id), std::nullopt);
    {
        RunJournal again = RunJournal::Resume(run.id, run);
        again.Outcome(0, "a@x.org", RecipientStatus::Sent, "250 Ok", 1);
    }
    const RunRecord record = ReadRunJournal(run.id);
    EXPECT_THAT(RunRecordText(record),
                ::testing::HasSubstr("Warning: 1 recipient(s) recorded as sent more than once: a@x.org (2 times)\n"));
}

TEST(RunResume, MatchesByAddressWithinTheGroupAndLeavesOutSentUnknownAndRemoved)
{
    RunRecord run;
    for (const char* email : {"a@x.org", "b@x.org", "b@x.org", "c@x.org", "gone@x.org", "u@x.org"})
        run.recipients.push_back({email, RecipientStatus::NotTried, "", 0, ""});
    run.recipients[0].status = RecipientStatus::Sent;
    run.recipients[1].status = RecipientStatus::Sent;
    run.recipients[3].status = RecipientStatus::Failed;
    run.recipients[5].status = RecipientStatus::Unknown;
    // The project changed: rows in another order, one recipient removed, one added.
    Project project;
    for (const char* email : {"new@x.org", "c@x.org", "b@x.org", "u@x.org", "a@x.org", "b@x.org"})
        project.recipients.push_back(recipient(email));
    const std::vector<std::size_t> groupRows{4, 2, 5, 1, 0, 3}; // a, b, b, c, new, u

    ResumePlan plan = PlanResume(run, project, groupRows, false);
    EXPECT_THAT(plan.rows, ElementsAre(5, 1)); // the second b, then c
    EXPECT_THAT(plan.positions, ElementsAre(2, 3));
    EXPECT_THAT(plan.removed, ElementsAre("gone@x.org"));
    EXPECT_THAT(plan.unknown, ElementsAre("u@x.org"));
    EXPECT_EQ(plan.alreadySent, 2u);

    plan = PlanResume(run, project, groupRows, true);
    EXPECT_THAT(plan.rows, ElementsAre(5, 1, 3));
    EXPECT_TRUE(plan.unknown.empty());
}

TEST(SendThrottle, SpacesMessagesPerServerAndParsesRates)
{
    const auto rate = ParseSendRate("120/min");
    ASSERT_TRUE(rate);
    EXPECT_EQ(rate->Interval(), std::chrono::milliseconds(500));
    EXPECT_EQ(ParseSendRate("3/h")->Interval(), std::chrono::minutes(20));
    for (const char* bad : {"", "10", "0/s", "-1/s", "1.5/s", "10/day", "/s", "10/S", "9999999999/s"})
        EXPECT_FALSE(ParseSendRate(bad)) << bad;

    SendThrottle throttle(*ParseSendRate("4/s"));
    const auto t0 = SendThrottle::Clock::now();
    EXPECT_EQ(throttle.WaitBefore(0, t0).count(), 0);
    throttle.Started(0, t0);
    EXPECT_EQ(throttle.WaitBefore(0, t0 + std::chrono::milliseconds(100)), std::chrono::milliseconds(150));
    EXPECT_EQ(throttle.WaitBefore(1, t0).count(), 0); // another server of the rotation
    EXPECT_EQ(throttle.WaitBefore(0, t0 + std::chrono::milliseconds(250)).count(), 0);
    SendThrottle none{SendRate{}};
    none.Started(0, t0);
    EXPECT_EQ(none.WaitBefore(0, t0).count(), 0);
}

TEST(DeliveryPolicy, ClassesFailuresByReplyAndByWhereTheConnectionWasLost)
{
    auto classify = [](auto error, bool dataEnded) {
        return ClassifyFailure(std::make_exception_ptr(error), dataEnded);
    };
    ClassifiedFailure f = classify(EProtocolReplyError(550, "No such user\r\n"), false);
    EXPECT_EQ(f.kind, FailureKind::Permanent);
    EXPECT_EQ(f.reply, "550 No such user");
    f = classify(EProtocolReplyError(421, "closing\r\n"), true);
    EXPECT_EQ(f.kind, FailureKind::Temporary);
    EXPECT_TRUE(f.connectionLost);
    EXPECT_EQ(classify(EProtocolReplyError(451, "later\r\n"), false).kind, FailureKind::Temporary);
    EXPECT_EQ(classify(EConnClosedGracefully(), false).kind, FailureKind::Temporary);
    EXPECT_EQ(classify(EConnClosedGracefully(), true).kind, FailureKind::Unknown);
    EXPECT_EQ(classify(EFileOpenError("Cannot open file"), false).kind, FailureKind::Fatal);
    EXPECT_EQ(classify(std::runtime_error("macro"), false).kind, FailureKind::Fatal);
    // Too large for the server's announced size: this message only; a server lacking what the
    // settings require: every message alike.
    f = classify(EMessageTooLarge("too large"), false);
    EXPECT_EQ(f.kind, FailureKind::Permanent);
    EXPECT_FALSE(f.connectionLost);
    EXPECT_EQ(classify(EServerCapabilityMissing("no TLS"), false).kind, FailureKind::Fatal);

    DeliveryOptions options;
    EXPECT_EQ(RetryWait(options, 1), std::chrono::seconds(30));
    EXPECT_EQ(RetryWait(options, 2), std::chrono::seconds(90));
    EXPECT_EQ(RetryWait(options, 40), kMaxRetryWait);
}

namespace {

// Every call of the run into its recorder, as text.
struct RecordedCalls : DeliveryRecorder {
    std::vector<std::string> calls;
    void Pending(std::size_t n, std::string_view email) override
    {
        calls.push_back("pending " + std::to_string(n) + " " + std::string(email));
    }
    void Outcome(std::size_t n, std::string_view, RecipientStatus status, std::string_view reply, int attempts) override
    {
        calls.push_back(std::to_string(n) + " " + std::string(StatusName(status)) + " " + std::string(reply) + " " +
                        std::to_string(attempts));
    }
    void Ended(std::string_view ending, std::string_view error) override
    {
        calls.push_back("end " + std::string(ending) + (error.empty() ? "" : " " + std::string(error)));
    }
    void Flush() override {}
};

struct RecordedRun : ::testing::Test {
    Project project;
    MailDraft draft{"S", {"B"}, {}};
    TSMTPClient client;
    TMailMessage message;
    MailingRun run{client, message, nullptr};
    ScriptedSmtpPeer peer;
    RecordedCalls recorder;

    RecordedRun()
    {
        for (const char* who : {"a@x.org", "b@x.org", "c@x.org"})
            project.recipients.push_back(recipient(who));
        project.recipients[2].Enabled = 0;
        peer.failDataOf = 2;
        peer.start();
    }
    MailingRunRequest request()
    {
        MailingRunRequest r;
        r.project = &project;
        r.recipients = {0, 1, 2};
        r.positions = {4, 5, 6};
        r.draft = &draft;
        r.defaultServer.host = "127.0.0.1";
        r.defaultServer.port = std::to_string(peer.port());
        r.recorder = &recorder;
        return r;
    }
};

} // namespace

TEST_F(RecordedRun, SkipRecordsTheRefusalAndGoesOnOverTheSameConnection)
{
    MailingRunRequest r = request();
    r.delivery.onError = OnError::Skip;
    r.delivery.skipDisabled = true;
    EXPECT_EQ(run.Run(r), 1u);
    EXPECT_THAT(recorder.calls, ElementsAre("pending 4 a@x.org", "4 sent 250 queued 1", "5 rejected 554 no thanks 1",
                                            "6 skipped disabled 0", "end completed"));
    EXPECT_EQ(run.LastCounts().rejected, 1u);
    EXPECT_EQ(run.LastCounts().skipped, 1u);
    ASSERT_TRUE(peer.waitClosed(1));
    EXPECT_EQ(peer.connections().size(), 1u);
}

TEST_F(RecordedRun, StopRecordsTheRefusalThenEndsTheRunWithIt)
{
    EXPECT_THROW(run.Run(request()), EProtocolReplyError);
    EXPECT_THAT(recorder.calls, ElementsAre("pending 4 a@x.org", "4 sent 250 queued 1", "5 rejected 554 no thanks 1",
                                            "end error no thanks\r\n"));
    EXPECT_EQ(run.LastCounts().sent, 1u);
}

TEST_F(RecordedRun, AnAddressThatIsNoMailboxIsSkippedAndNeverSentTo)
{
    project.recipients[1].EMail.set("not an email");
    MailingRunRequest r = request();
    r.recipients = {0, 1};
    EXPECT_EQ(run.Run(r), 1u);
    EXPECT_THAT(recorder.calls, ElementsAre("pending 4 a@x.org", "4 sent 250 queued 1", "5 skipped invalid address 0",
                                            "end completed"));
    EXPECT_EQ(run.LastCounts().invalid, 1u);
    EXPECT_THAT(run.LastReport().invalidAddresses, ElementsAre("not an email"));
    ASSERT_TRUE(peer.waitClosed(1));
    EXPECT_EQ(peer.connections().at(0).received.find("RCPT TO:<>"), std::string::npos);
}

TEST_F(RecordedRun, ARefusedLoginEndsTheRunWhateverThePolicyAndLeavesEveryoneNotTried)
{
    ScriptedSmtpPeer login;
    login.offerAuth = true;
    login.acceptedPassword = "cmlnaHQ="; // "right"
    login.start();
    MailingRunRequest r = request();
    r.defaultServer.port = std::to_string(login.port());
    r.defaultServer.userName = "u";
    r.defaultServer.password = "wrong";
    r.delivery.onError = OnError::Skip;
    EXPECT_THROW(run.Run(r), EAuthenticationFailed);
    EXPECT_THAT(recorder.calls, ElementsAre("end error Authentication failed\r\n"));
    ASSERT_TRUE(login.waitClosed(1));
    const std::vector<std::string> commands = login.allCommands();
    EXPECT_EQ(std::count(commands.begin(), commands.end(), "AUTH LOGIN"), 1);
}

TEST(RunPace, TimeLeftFollowsThePaceButNeverBeatsTheRate)
{
    const auto t0 = RunPace::Clock::now();
    EXPECT_EQ(PaceText(RunPace({}, t0).At(0, 100, t0 + std::chrono::seconds(1))), "");
    EXPECT_EQ(PaceText(RunPace({}, t0).At(10, 100, t0 + std::chrono::seconds(4))), "2.5/s, 0:36 left");
    // Fast so far, but 60 a minute allows no more than one a second for the 90 left.
    EXPECT_EQ(PaceText(RunPace(*ParseSendRate("60/min"), t0).At(10, 100, t0 + std::chrono::seconds(1))),
              "10.0/s, 1:30 left");
    EXPECT_EQ(PaceText(RunPace(*ParseSendRate("1/s"), t0).At(1, 3702, t0 + std::chrono::seconds(1))),
              "1.0/s, 1:01:41 left");
}
