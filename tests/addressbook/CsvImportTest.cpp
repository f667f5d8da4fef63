// CSV import: the corpus of awkward files with the exact report and recipients each gives,
// the duplicate rules, explicit mapping, cancel, and the export read back.
#include "addressbook/CsvExport.h"
#include "addressbook/CsvImport.h"
#include "ProjectBuilder.h"
#include "project/ProjectFileError.h"
#include "support/FileSizeLimit.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <unistd.h>

using namespace quillet;
namespace fs = std::filesystem;

namespace {

const char* const kCodePage = "CP1252";
const fs::path kCorpus = fs::path(QUILLET_SOURCE_DIR) / "tests/addressbook/csv-corpus";

std::string readFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Bytes beyond printable ASCII as \xNN, so that the expected files stay plain text.
std::string escaped(std::string_view text, bool keepLineBreaks = false)
{
    std::string out;
    for (const unsigned char c : text) {
        if ((c >= 0x20 && c < 0x7F) || (keepLineBreaks && c == '\n')) {
            out += static_cast<char>(c);
        } else {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
        }
    }
    return out;
}

// A group's recipients, one a line: email|name|surname|enabled|NAME=VALUE...
std::string dump(const Project& project, std::string_view group)
{
    std::string out;
    for (const RecipientRecord& r : project.recipients) {
        if (!(r.Group == group))
            continue;
        out += escaped(r.EMail.view()) + "|" + escaped(r.Name.view()) + "|" + escaped(r.Surname.view()) + "|" +
               (r.enabled() ? "1" : "0");
        for (int i = 0; i < 4; ++i)
            if (r.paramName(i).length() || r.paramValue(i).length())
                out += "|" + std::to_string(i + 1) + ":" + escaped(r.paramName(i).view()) + "=" +
                       escaped(r.paramValue(i).view());
        out += "\n";
    }
    return out;
}

Project membersWithOld()
{
    Project project;
    project.groups.push_back({"Members", ""});
    project.groups.push_back({"Others", ""});
    project.recipients.push_back(test::recipient("other@example.org", "Others"));
    project.recipients.push_back(test::recipient("old@example.org", "Members", "Old"));
    return project;
}

// Imports the bytes into "Members" as the command line does without options; "error: ..." on failure.
std::string importText(std::string bytes, Project& project, const CsvImportSettings& settings,
                       const std::vector<std::string>& map = {}, CsvFormat format = {})
{
    try {
        const CsvDocument document = readCsvDocument(std::move(bytes), format, settings.codePage);
        CsvMapping mapping = automaticCsvMapping(document, settings.codePage);
        applyExplicitCsvMap(mapping, document, map, settings.codePage);
        resolveCsvMapping(mapping, document);
        const CsvImportPlan plan = planCsvImport(project, document, mapping, settings);
        applyCsvImport(project, document, mapping, settings, plan);
        return plan.report.text();
    } catch (const CsvImportError& error) {
        return std::string("error: ") + error.what() + "\n";
    }
}

CsvImportSettings members(DuplicateRule rule = DuplicateRule::Skip)
{
    return {"Members", rule, kCodePage};
}

} // namespace

TEST(CsvImportCorpus, EachFileGivesItsExactReportAndRecipients)
{
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(kCorpus))
        if (entry.path().extension() == ".csv")
            files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    ASSERT_GE(files.size(), 14u);
    for (const fs::path& file : files) {
        Project project = membersWithOld();
        const std::string report = importText(readFile(file), project, members());
        const std::string actual = escaped(report, true) + "--\n" + dump(project, "Members");
        fs::path expectedPath = file;
        expectedPath.replace_extension(".expected");
        if (std::getenv("QUILLET_WRITE_CORPUS"))
            std::ofstream(expectedPath, std::ios::binary) << actual;
        EXPECT_EQ(actual, readFile(expectedPath)) << file.filename();
    }
}

// The reader's quick path for plain records (SIMD) against its general path, over the corpus and
// records whose fields end within and beyond a 64-byte block, with blanks and quotes at their edges.
TEST(CsvImportCorpus, QuickReadingOfPlainRecordsGivesWhatTheGeneralReadingGives)
{
    std::vector<std::string> texts = {"a,b\r\nc", "x,\"q\",y\n,,\n", " a,b \n\tc\t;d\r\re\xC3\xA9,f", "\xE2\x82\xAC"};
    for (std::size_t n = 0; n < 72; ++n)
        texts.push_back(std::string(n, 'a') + ",\xC3\xA9" + std::string(n % 17, 'b') + "\r\n" + std::string(n, 'c'));
    for (const auto& entry : fs::directory_iterator(kCorpus))
        if (entry.path().extension() == ".csv")
            texts.push_back(readFile(entry.path()));
    for (const std::string& text : texts)
        for (const char separator : {',', ';', '\t'}) {
            CsvReader quick(text, separator), general(text, separator, false);
            bool more = true;
            while (more) {
                more = quick.next();
                ASSERT_EQ(more, general.next());
                ASSERT_EQ(quick.position(), general.position()) << escaped(text);
                EXPECT_EQ(quick.nextLine(), general.nextLine());
                EXPECT_EQ(quick.ascii(), general.ascii());
                ASSERT_EQ(quick.size(), general.size());
                for (std::size_t i = 0; i < quick.size(); ++i)
                    EXPECT_EQ(quick.field(i), general.field(i));
            }
        }
}

TEST(CsvImport, DuplicateRulesUpdateReplacesMappedFieldsAndKeepAppendsAll)
{
    const std::string csv = "email,name\nOLD@example.org,Renamed\nnew@example.org,New\nnew@example.org,Newer\n";
    Project updated = membersWithOld();
    updated.recipients[1].Surname.set("Stays");
    EXPECT_EQ(importText(csv, updated, members(DuplicateRule::Update)),
              "imported 1, updated 2, duplicates skipped 0, invalid 0\n");
    EXPECT_EQ(dump(updated, "Members"), "OLD@example.org|Renamed|Stays|1\nnew@example.org|Newer||1\n");

    Project kept = membersWithOld();
    EXPECT_EQ(importText(csv, kept, members(DuplicateRule::Keep)),
              "imported 3, updated 0, duplicates skipped 0, invalid 0\n");
    EXPECT_EQ(kept.recipients.size(), 5u);
}

TEST(CsvImport, AParameterNamedByALongHeaderIsCutAsAStoredText)
{
    // The name is cut to 255 bytes as any stored text is; the row's other texts stay whole.
    const std::string name(300, 'N');
    Project project = membersWithOld();
    EXPECT_EQ(importText("email," + name + ",surname\nann@example.org,Lisbon,Lee\nbob@example.org,\"Faro\",Bo\xE9\n",
                         project, members()),
              "imported 2, updated 0, duplicates skipped 0, invalid 0\n");
    for (const std::size_t i : {std::size_t(2), std::size_t(3)}) {
        EXPECT_EQ(project.recipients[i].ParamName1.view(), name.substr(0, 255));
        EXPECT_EQ(project.recipients[i].Surname.view(), i == 2 ? "Lee" : "Bo\xE9");
    }
    EXPECT_EQ(project.recipients[3].ParamValue1.view(), "Faro");
}

TEST(CsvImport, ExplicitMapChoosesColumnsByNumberOrHeader)
{
    const std::string csv = "a,b,c,d,e,f\nAnn,ann@example.org,Lee,1,Lisbon,9\n";
    Project project = membersWithOld();
    EXPECT_EQ(importText(csv, project, members(), {"email=2", "name=A", "Surname=3", "CITY=e", "ZIP=6"}),
              "imported 1, updated 0, duplicates skipped 0, invalid 0\n");
    EXPECT_EQ(dump(project, "Members"), "old@example.org|Old||1\nann@example.org|Ann|Lee|1|1:CITY=Lisbon|2:ZIP=9\n");
    // The five-parameter file imports once four are picked.
    Project picked = membersWithOld();
    EXPECT_EQ(importText(readFile(kCorpus / "too-many-params.csv"), picked, members(), {"A=A", "C=c", "E=6"}),
              "imported 1, updated 0, duplicates skipped 0, invalid 0\n");
    EXPECT_EQ(dump(picked, "Members"), "old@example.org|Old||1\nann@example.org|||1|1:A=1|2:C=3|3:E=5\n");

    Project untouched = membersWithOld();
    EXPECT_EQ(importText(csv, untouched, members(), {"email=7"}), "error: The file has no column \"7\"\n");
    EXPECT_EQ(importText(csv, untouched, members(), {"email"}),
              "error: The mapping \"email\" does not read FIELD=COLUMN\n");
    EXPECT_EQ(importText("name\nAnn\n", untouched, members()), "error: No column is mapped to the e-mail address\n");
    EXPECT_EQ(untouched.recipients.size(), 2u);
    EXPECT_FALSE(untouched.changed());
}

// Two columns for one field, as the desktop dialog allows: the last column that the record has
// wins, whether the row is packed straight from its fields or built one field at a time.
TEST(CsvImport, OfTwoColumnsForOneFieldTheLastTheRecordHasWins)
{
    const CsvDocument document = readCsvDocument(
        "email,name,name2,enabled,enabled2\nann@example.org,Ann,Anna,False,True\nbob@example.org,Bob,Bobby,false,"
        "True\ncy@example.org,Cy\n",
        {}, kCodePage);
    CsvMapping mapping = automaticCsvMapping(document, kCodePage);
    mapping.columns[2] = {CsvField::Name, {}, -1};
    mapping.columns[4] = {CsvField::Enabled, {}, -1};
    resolveCsvMapping(mapping, document);
    Project project = membersWithOld();
    const CsvImportPlan plan = planCsvImport(project, document, mapping, members());
    applyCsvImport(project, document, mapping, members(), plan);
    EXPECT_EQ(dump(project, "Members"),
              "old@example.org|Old||1\nann@example.org|Anna||1\nbob@example.org|Bobby||1\ncy@example.org|Cy||1\n");
}

TEST(CsvImport, GivenEncodingAndSeparatorOverrideDetection)
{
    Project project = membersWithOld();
    // Latin-1 bytes that are not UTF-8, with a separator that is not one of the usual three.
    EXPECT_EQ(importText("email|name\nann@example.org|Ren\xE9\n", project, members(), {}, {"ISO-8859-1", '|'}),
              "imported 1, updated 0, duplicates skipped 0, invalid 0\n");
    EXPECT_EQ(dump(project, "Members"), "old@example.org|Old||1\nann@example.org|Ren\\xE9||1\n");
    EXPECT_EQ(importText("email\na@b.c\n", project, members(), {}, {"NO-SUCH-ENCODING", 0}),
              "error: Unknown encoding \"NO-SUCH-ENCODING\"\n");
}

// Every encoding the import detects or is given is decoded before the text is read, the same for
// a text of plain ASCII as for one beyond it.
TEST(CsvImport, EachEncodingIsDecodedWhetherItsTextIsAsciiOrNot)
{
    auto utf16 = [](std::u16string_view text, bool bigEndian, bool mark) {
        std::string bytes;
        for (const char16_t unit : (mark ? u"\uFEFF" : u"") + std::u16string(text)) {
            const char high = static_cast<char>(unit >> 8), low = static_cast<char>(unit & 0xFF);
            bytes += bigEndian ? std::string{high, low} : std::string{low, high};
        }
        return bytes;
    };
    const std::u16string ascii = u"email\tcity\r\nann@example.org\tLima\r\n";
    const std::u16string latin = u"email\tcity\r\nann@example.org\tS\u00E3o Paulo\r\n";
    struct Case {
        std::string bytes;
        std::string encoding; // given; empty: detected
        std::string detected;
        std::string city; // in the code page
        const char* codePage = kCodePage;
    };
    const std::vector<Case> cases = {
        {utf16(ascii, false, true), "", "UTF-16LE", "Lima"},
        {utf16(latin, false, true), "", "UTF-16LE", "S\xE3o Paulo"},
        {utf16(ascii, true, true), "", "UTF-16BE", "Lima"},
        {utf16(latin, true, true), "", "UTF-16BE", "S\xE3o Paulo"},
        {utf16(ascii, false, false), "", "UTF-16LE", "Lima"},
        {utf16(latin, true, false), "", "UTF-16BE", "S\xE3o Paulo"},
        {utf16(ascii, false, true), "UTF-16LE", "UTF-16LE", "Lima"},
        {utf16(latin, false, false), "UTF-16LE", "UTF-16LE", "S\xE3o Paulo"},
        {"email,city\nann@example.org,Lima\n", "ISO-2022-JP", "ISO-2022-JP", "Lima", "CP932"},
        {"email,city\nann@example.org,\x1B$BEl5~\x1B(B\n", "ISO-2022-JP", "ISO-2022-JP", "\x93\x8C\x8B\x9E", "CP932"},
        {"\xEF\xBB\xBF"
         "email,city\nann@example.org,S\xC3\xA3o Paulo\n",
         "", "UTF-8", "S\xE3o Paulo"},
        {"email,city\nann@example.org,S\xE3o Paulo\n", "", kCodePage, "S\xE3o Paulo"},
    };
    for (const Case& c : cases) {
        const CsvDocument document = readCsvDocument(c.bytes, {c.encoding, 0}, c.codePage);
        EXPECT_EQ(document.encoding, c.detected);
        Project project = membersWithOld();
        const CsvImportSettings settings{"Members", DuplicateRule::Skip, c.codePage};
        EXPECT_EQ(importText(c.bytes, project, settings, {}, {c.encoding, 0}),
                  "imported 1, updated 0, duplicates skipped 0, invalid 0\n")
            << c.encoding << " " << escaped(c.city);
        EXPECT_EQ(dump(project, "Members"),
                  "old@example.org|Old||1\nann@example.org|||1|1:city=" + escaped(c.city) + "\n");
    }
}

// A large text is checked for UTF-8 in two halves: a character across the middle, whole or cut
// short, and a run of continuation bytes there, are judged as in a small text.
TEST(CsvImport, Utf8IsDetectedAcrossTheMiddleOfALargeText)
{
    const std::string half(1 << 20, 'a');
    for (std::size_t shift = 0; shift < 5; ++shift)
        for (const std::string middle : {"\xE2\x82\xAC", "\xF0\x9F\x98\x80", "\xE2\x82", "\x82\x82\x82\x82\x82"}) {
            const std::string text = half.substr(shift) + middle + half;
            const bool wellFormed = middle.size() > 2 && middle[0] != '\x82';
            EXPECT_EQ(decodeCsvBytes(text, {}, kCodePage).encoding, wellFormed ? "UTF-8" : kCodePage)
                << shift << " " << middle.size();
        }
}

TEST(CsvImport, PlanChangesNothingAndCancelStopsIt)
{
    std::string csv = "email\n";
    for (int i = 0; i < 10000; ++i)
        csv += "user" + std::to_string(i) + "@example.org\n";
    const Project before = membersWithOld();
    Project project = membersWithOld();
    const CsvDocument document = readCsvDocument(csv, {}, kCodePage);
    CsvMapping mapping = automaticCsvMapping(document, kCodePage);
    resolveCsvMapping(mapping, document);
    std::size_t calls = 0;
    EXPECT_THROW(planCsvImport(project, document, mapping, members(),
                               [&](std::size_t done, std::size_t total) {
                                   EXPECT_LE(done, total);
                                   return ++calls < 2;
                               }),
                 CsvImportCancelled);
    EXPECT_EQ(calls, 2u);
    const CsvImportPlan plan = planCsvImport(project, document, mapping, members());
    EXPECT_EQ(plan.report.imported, 10000u);
    EXPECT_EQ(project.recipients.size(), before.recipients.size());
    EXPECT_FALSE(project.changed());
}

// A large file is mapped rather than read: UTF-8 with or without a byte-order mark is used where
// it lies, other encodings are decoded, and each gives the report of the same bytes read into
// memory. A file cut short by another program after it was mapped is refused, not a crash.
TEST(CsvImport, LargeFileIsMappedAndAFileCutShortMeanwhileIsRefused)
{
    std::string rows = "email;name\n";
    for (int i = 0; i < 40000; ++i)
        rows += "user" + std::to_string(i % 30000) + "@example.org;Ren\xC3\xA9 " + std::to_string(i) + "\n";
    const test::TempFolder folder;
    const auto plan = [](const CsvDocument& document) {
        CsvMapping mapping = automaticCsvMapping(document, kCodePage);
        resolveCsvMapping(mapping, document);
        return planCsvImport(membersWithOld(), document, mapping, members()).report.text();
    };
    for (const std::string& bytes : {rows, "\xEF\xBB\xBF" + rows, rows + "\xE9\n"}) {
        folder.write("large.csv", bytes);
        const CsvDocument mapped = readCsvFile(folder.file("large.csv"), {}, kCodePage);
        const CsvDocument read = readCsvDocument(bytes, {}, kCodePage);
        EXPECT_EQ(mapped.file != nullptr, bytes.back() == '\n' && bytes[bytes.size() - 2] != '\xE9');
        EXPECT_EQ(mapped.text, read.text);
        EXPECT_EQ(mapped.encoding, read.encoding);
        EXPECT_EQ(plan(mapped), plan(read));
    }
    folder.write("large.csv", rows);
    const CsvDocument document = readCsvFile(folder.file("large.csv"), {}, kCodePage);
    ASSERT_NE(document.file, nullptr);
    fs::resize_file(folder / "large.csv", 4096);
    try {
        plan(document);
        ADD_FAILURE() << "the plan of a file cut short went on";
    } catch (const CsvImportError& error) {
        EXPECT_STREQ(error.what(), "The file was cut short by another program while it was read; nothing was imported");
    }
}

TEST(CsvExport, WritesUtf8WithHeaderEnabledStateAndParameters)
{
    Project project = membersWithOld();
    RecipientRecord ann = test::recipient("ann@example.org", "Members", "Ann, \"A\"", false);
    ann.Surname.set("M\xFCller"); // CP1252
    ann.ParamName1.set("CITY");
    ann.ParamValue1.set("Lisbon");
    ann.ParamName2.set("ZIP");
    project.recipients.push_back(ann);
    project.recipients[1].ParamName1.set("CITY");
    project.recipients[1].ParamValue1.set(" Faro");
    EXPECT_EQ(recipientsCsv(project, {std::string("Members"), true}),
              "\xEF\xBB\xBF"
              "email,name,surname,enabled,group,CITY,param2 name,param2 value\r\n"
              "old@example.org,Old,,True,Members,\" Faro\",,\r\n"
              "ann@example.org,\"Ann, \"\"A\"\"\",M\xC3\xBCller,False,Members,Lisbon,ZIP,\r\n");
    EXPECT_TRUE(
        recipientsCsv(project, {std::nullopt, false}).starts_with("email,name,surname,enabled,group,param1 name"));
}

TEST(CsvExport, FieldsOfEveryLengthAndTheLastRecordOfTheList)
{
    // Texts of 31 to 33 and of 255 bytes, with a byte to quote or convert at either end, and
    // a group whose name is longer than a stored text picks no record.
    Project project;
    for (const std::size_t length : {std::size_t(31), std::size_t(32), std::size_t(33), std::size_t(255)})
        for (const char end : {'a', ',', '\xE9'}) {
            const std::string text = std::string(length - 1, 'x') + end;
            RecipientRecord r = test::recipient("a@b.org", "G", text);
            r.Surname.set(std::string(1, end) + std::string(length - 1, 'y'));
            r.Group.set(text);
            project.recipients.push_back(r);
        }
    const auto csvField = [](std::string text) {
        std::string utf8 = codePageToUtf8(text);
        return text.find(',') == std::string::npos ? utf8 : "\"" + utf8 + "\"";
    };
    std::string expected = "email,name,surname,enabled,group\r\n";
    for (const RecipientRecord& r : project.recipients)
        expected += "a@b.org," + csvField(r.Name.str()) + "," + csvField(r.Surname.str()) + ",True," +
                    csvField(r.Group.str()) + "\r\n";
    EXPECT_EQ(recipientsCsv(project, {std::nullopt, false}), expected);
    EXPECT_EQ(recipientsCsv(project, {std::string(255, 'x') + "a", false}), "email,name,surname,enabled,group\r\n");
}

TEST(CsvExport, ImportOfAnExportGivesTheSameRecipients)
{
    Project source;
    source.groups.push_back({"Club", ""});
    const char* names[] = {"CITY", "email", "CITY", ""}; // a fixed header and a repeated name force pairs
    for (int i = 0; i < 6; ++i) {
        RecipientRecord r =
            test::recipient("m" + std::to_string(i) + "@example.org", "Club", i % 2 ? " lead" : "a,b", i % 3 != 0);
        r.Surname.set(i == 4 ? "multi\r\nline \"q\"" : "Zo\xEB");
        for (int slot = 0; slot < 4; ++slot) {
            r.paramName(slot).set(slot == 3 && i == 2 ? "ODD" : names[slot]);
            r.paramValue(slot).set(i == 5 ? "" : "v" + std::to_string(slot) + "\xE9");
        }
        source.recipients.push_back(r);
    }
    Project target;
    target.groups.push_back({"Club", ""});
    CsvImportSettings settings{"Club", DuplicateRule::Skip, kCodePage};
    EXPECT_EQ(importText(recipientsCsv(source, {std::string("Club"), true}), target, settings),
              "imported 6, updated 0, duplicates skipped 0, invalid 0\n");
    EXPECT_EQ(dump(target, "Club"), dump(source, "Club"));
}

// An export that fails half-way (file size limit: like a full disk) leaves the earlier file
// exactly as it was and no partial file beside it; a device is written as it is.
TEST(CsvExport, AFailedWriteLeavesTheEarlierFileInPlace)
{
    test::TempFolder dir;
    const std::string path = dir.file("out.csv");
    test::writeFileBytes(path, "earlier\r\n");
    Project project = membersWithOld();
    project.recipients.resize(500, project.recipients[0]);
    {
        test::FileSizeLimit limit(4096);
        try {
            writeRecipientsCsv(project, {}, path);
            FAIL() << "the export was not refused";
        } catch (const ProjectFileError& error) {
            EXPECT_EQ(error.kind(), ProjectFileError::Kind::CannotWrite);
            EXPECT_EQ(std::string(error.what()), "Cannot write file \"" + path + "\". File too large");
        }
    }
    EXPECT_EQ(test::readFileBytes(path), "earlier\r\n");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
    writeRecipientsCsv(project, {}, "/dev/null");
    writeRecipientsCsv(project, {}, path);
    EXPECT_EQ(test::readFileBytes(path), recipientsCsv(project, {}));
    // A file the user may not write is not replaced (the administrator may write any file).
    fs::permissions(path, fs::perms::owner_read);
    if (::geteuid() != 0) {
        EXPECT_THROW(writeRecipientsCsv(membersWithOld(), {}, path), ProjectFileError);
    }
    EXPECT_EQ(test::readFileBytes(path), recipientsCsv(project, {})) << "replaced a read-only file";
}
