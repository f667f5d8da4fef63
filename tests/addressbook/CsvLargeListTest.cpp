// CSV export and import of lists large enough to be split between threads: the halves join into
// the same bytes, and the records read back are byte for byte the ones exported.
#include "addressbook/CsvExport.h"
#include "addressbook/CsvImport.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>

using namespace quillet;

namespace {

constexpr std::size_t kRecipients = 70000; // above the thresholds of both thread splits

std::string import(Project& project, const std::string& csv, DuplicateRule rule)
{
    const CsvImportSettings settings{"G", rule, "CP1252"};
    const CsvDocument document = readCsvDocument(csv, {}, settings.codePage);
    CsvMapping mapping = automaticCsvMapping(document, settings.codePage);
    resolveCsvMapping(mapping, document);
    const CsvImportPlan plan = planCsvImport(project, document, mapping, settings);
    applyCsvImport(project, document, mapping, settings, plan);
    return plan.report.summary();
}

} // namespace

TEST(CsvLargeList, ExportsInOrderAndReadsBackTheSameRecords)
{
    Project source;
    source.groups.push_back({"G", ""});
    for (std::size_t i = 0; i < kRecipients; ++i) {
        RecipientRecord r;
        r.EMail.set("r" + std::to_string(i) + "@x.org");
        r.Name.set(i % 7 == 0 ? "Lee, \"Ann\"" : "Ann");
        r.Enabled = i % 3 != 0;
        r.ParamName1.set("CITY");
        r.ParamValue1.set(std::to_string(i));
        r.Group.set("G");
        source.recipients.push_back(r);
    }
    // Only the last record, in the second half, fills slot 2: the header must still show it.
    source.recipients.back().ParamName2.set("ZIP");
    source.recipients.back().ParamValue2.set("1000");

    const std::string csv = recipientsCsv(source, {std::string("G"), false});
    // The file written as it is made has the same bytes, when the first record's columns fit
    // every record and when (here) they do not.
    test::TempFolder folder;
    writeRecipientsCsv(source, {std::string("G"), false}, folder.file("g.csv"));
    EXPECT_EQ(folder.read("g.csv"), csv);
    RecipientList fitting = source.recipients;
    std::swap(source.recipients, fitting);
    source.recipients.back().ParamName2.set("");
    source.recipients.back().ParamValue2.set("");
    writeRecipientsCsv(source, {std::string("G"), false}, folder.file("g.csv"));
    EXPECT_EQ(folder.read("g.csv"), recipientsCsv(source, {std::string("G"), false}));
    EXPECT_TRUE(folder.read("g.csv").starts_with("email,name,surname,enabled,group,CITY\r\nr0@x.org,"));
    std::swap(source.recipients, fitting);
    EXPECT_EQ(csv.substr(0, csv.find('\n') + 1), "email,name,surname,enabled,group,CITY,param2 name,param2 value\r\n");
    EXPECT_NE(csv.find("\r\nr7@x.org,\"Lee, \"\"Ann\"\"\",,True,G,7,,\r\nr8@x.org,Ann,,True,G,8,,\r\n"),
              std::string::npos);
    EXPECT_TRUE(csv.ends_with("\r\nr69999@x.org,Ann,,False,G,69999,ZIP,1000\r\n"));

    Project copy;
    copy.groups.push_back({"G", ""});
    EXPECT_EQ(import(copy, csv, DuplicateRule::Skip), "imported 70000, updated 0, duplicates skipped 0, invalid 0");
    ASSERT_EQ(copy.recipients.size(), kRecipients);
    EXPECT_EQ(std::memcmp(copy.recipients.data(), source.recipients.data(), kRecipients * sizeof(RecipientRecord)), 0);

    // Again with updates: every row finds its recipient, and nothing changes.
    EXPECT_EQ(import(copy, csv, DuplicateRule::Update), "imported 0, updated 70000, duplicates skipped 0, invalid 0");
    ASSERT_EQ(copy.recipients.size(), kRecipients);
    EXPECT_EQ(std::memcmp(copy.recipients.data(), source.recipients.data(), kRecipients * sizeof(RecipientRecord)), 0);
}

TEST(CsvLargeList, ReadsTheTextInHalvesWithTheLinesOfOneReading)
{
    std::string rows;
    for (std::size_t i = 0; i < 40000; ++i) // about 1.5 MB: read in two halves
        rows += "r" + std::to_string(i) + "@x.org,Ann,Surname\r\n";
    const auto problemLines = [](const std::string& csv) {
        Project project;
        project.groups.push_back({"G", ""});
        const CsvImportSettings settings{"G", DuplicateRule::Skip, "CP1252"};
        const CsvDocument document = readCsvDocument(csv, {}, settings.codePage);
        CsvMapping mapping = automaticCsvMapping(document, settings.codePage);
        resolveCsvMapping(mapping, document);
        const CsvImportPlan plan = planCsvImport(project, document, mapping, settings);
        std::string lines = std::to_string(plan.report.imported);
        for (const CsvProblem& problem : plan.report.problems)
            lines += " " + std::to_string(problem.line);
        return lines;
    };
    const std::string header = "email,name,surname\r\n", end = "bad@,X,Y\r\nlast@x.org,,\r\n";
    EXPECT_EQ(problemLines(header + rows + end), "40001 40002");

    // Every address twice, the second time with another name: each update finds the record the
    // row before it appends, whichever of the two address tables holds it.
    std::string renamed = rows;
    for (std::size_t at = 0; (at = renamed.find(",Ann,", at)) != std::string::npos; ++at)
        renamed.replace(at, 5, ",Bee,");
    Project twice;
    twice.groups.push_back({"G", ""});
    EXPECT_EQ(import(twice, "email,name,surname\r\n" + rows + renamed, DuplicateRule::Update),
              "imported 40000, updated 40000, duplicates skipped 0, invalid 0");
    EXPECT_TRUE(std::all_of(twice.recipients.begin(), twice.recipients.end(),
                            [](const RecipientRecord& r) { return r.Name.view() == "Bee"; }));

    // A quoted field of many lines across the middle: its line breaks are text, not records.
    const std::size_t middle = rows.find('\n', rows.size() / 2) + 1;
    const std::string across = "mid@x.org,\"" + std::string(200000, '\n') + "\",Z\r\n";
    EXPECT_EQ(problemLines(header + rows.substr(0, middle) + across + rows.substr(middle) + end),
              "40001 " + std::to_string(2 + std::count(rows.begin(), rows.begin() + middle, '\n')) + " " +
                  std::to_string(40003 + 200000));
}
