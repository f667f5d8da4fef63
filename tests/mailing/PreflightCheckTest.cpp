// The pre-flight check on a crafted project: every kind of finding exactly once, and only the
// run's size on a clean one.
#include "support/TempFolder.h"

#include "mailing/PreflightCheck.h"

#include <gtest/gtest.h>

using namespace quillet;
using quillet::test::TempFolder;

namespace {

RecipientRecord person(const std::string& email, const std::string& name, bool enabled = true)
{
    RecipientRecord r;
    r.EMail.set(email);
    r.Name.set(name);
    r.ParamName1.set("CITY");
    r.ParamValue1.set("Oslo");
    r.Enabled = enabled ? 1 : 0;
    return r;
}

std::vector<FindingKind> kinds(const std::vector<PreflightFinding>& findings)
{
    std::vector<FindingKind> out;
    for (const auto& f : findings)
        out.push_back(f.kind);
    return out;
}

} // namespace

TEST(PreflightCheck, EveryFindingOnceOnACraftedProject)
{
    TempFolder dir;
    dir.write("big.bin", std::string(2000, 'x'));
    const std::string big = dir.file("big.bin");
    Project project;
    project.recipients = {person("a@x.org", "Ann"), person("b@x.org", ""), person("not an address", "C"),
                          person("A@X.org", "Dup", false), person("e@x.org", "%TOWN%")};
    std::vector<std::size_t> rows = {0, 1, 2, 3, 4};
    MailDraft draft{"Hi %NAME%", {}, {big, (dir / "missing.txt").string()}};
    draft.htmlBody = {"<p>%CITY% %ZIP%</p>"};
    PreflightInput input{&project, &rows, &draft, false, false, 1000};
    const auto findings = CheckMailing(input);
    EXPECT_EQ(kinds(findings), (std::vector<FindingKind>{FindingKind::UnreplacedMacro, FindingKind::UnreplacedMacro,
                                                         FindingKind::EmptySubjectMacro, FindingKind::NoFrom,
                                                         FindingKind::InvalidAddress, FindingKind::DuplicateAddress,
                                                         FindingKind::DisabledRecipient, FindingKind::LargeAttachment,
                                                         FindingKind::MissingAttachment, FindingKind::RunSize}));
    EXPECT_EQ(findings[0].text, "5 recipient(s): %ZIP% is not replaced in the message (a@x.org, b@x.org, not an "
                                "address, A@X.org, e@x.org)");
    // A value that brings a macro of its own is rendered to find it.
    EXPECT_EQ(findings[1].text, "1 recipient(s): %TOWN% is not replaced in the message (e@x.org)");
    EXPECT_EQ(findings[2].text, "1 recipient(s): %NAME% is empty in the subject (b@x.org)");
    EXPECT_TRUE(HasWarnings(findings));

    // A parameter whose name differs only in letter case is named.
    MailDraft lower{"Hi", {"from %city%"}, {}};
    input.draft = &lower;
    EXPECT_EQ(CheckMailing(input)[0].text, "5 recipient(s): %city% is not replaced in the message (a@x.org, b@x.org, "
                                           "not an address, A@X.org, e@x.org); their parameter \"CITY\" differs "
                                           "only in letter case (macros match it exactly)");

    // Empty subject and body; disabled recipients left out are no finding.
    MailDraft empty{" ", {""}, {}};
    input.draft = &empty;
    input.skipDisabled = true;
    EXPECT_EQ(kinds(CheckMailing(input)),
              (std::vector<FindingKind>{FindingKind::EmptySubject, FindingKind::EmptyBody, FindingKind::NoFrom,
                                        FindingKind::InvalidAddress, FindingKind::RunSize}));

    MailDraft clean{"Hi %NAME%", {"from %CITY%"}, {}};
    rows = {0};
    PreflightInput good{&project, &rows, &clean, true, false, 1000};
    const auto none = CheckMailing(good);
    EXPECT_EQ(kinds(none), std::vector<FindingKind>{FindingKind::RunSize});
    EXPECT_FALSE(HasWarnings(none));
    // A small run's size in KB (not "0.0 MB"); from a tenth of a megabyte on, in MB.
    EXPECT_TRUE(none.back().text.ends_with(" KB in all")) << none.back().text;
    clean.body.assign(1, std::string(200 * 1024, 'x'));
    EXPECT_TRUE(CheckMailing(good).back().text.ends_with("about 0.2 MB in all")) << CheckMailing(good).back().text;
}

TEST(PreflightCheck, SigningForAnotherDomainAndALargeUnsignedRunAreNamed)
{
    Project project;
    std::vector<std::size_t> rows;
    for (std::size_t i = 0; i <= kUnsignedRunLimit; ++i) {
        project.recipients.push_back(person("r" + std::to_string(i) + "@x.org", "Ann"));
        rows.push_back(i);
    }
    MailDraft draft{"Hi", {"text"}, {}};
    PreflightInput input{&project, &rows, &draft, true, true};
    input.fromAddress = "news@Shop.example";
    EXPECT_EQ(kinds(CheckMailing(input)), (std::vector<FindingKind>{FindingKind::UnsignedRun, FindingKind::RunSize}));
    input.signing = true;
    input.signingDomain = "shop.EXAMPLE";
    EXPECT_EQ(kinds(CheckMailing(input)), std::vector<FindingKind>{FindingKind::RunSize});
    input.signingDomain = "mailer.example";
    const auto findings = CheckMailing(input);
    ASSERT_EQ(kinds(findings), (std::vector<FindingKind>{FindingKind::SigningDomain, FindingKind::RunSize}));
    EXPECT_EQ(findings[0].text, "Messages are signed for mailer.example but come from Shop.example: receivers do not "
                                "count that signature for the sender");
}
