// The CSV import over any bytes: it either refuses the file as a whole or reports every data
// row once (imported, updated, skipped or invalid with a line number), every recipient it adds
// has an address valid by the full rule and texts of at most 255 bytes, exporting those
// recipients and importing the export again gives the same records, and the reader's quick
// reading of plain records gives what its general reading gives.
#include "FuzzSupport.h"

#include "addressbook/AddressValidity.h"
#include "addressbook/CsvExport.h"
#include "addressbook/CsvImport.h"

#include <cstring>

using namespace quillet;

namespace {

const char* const kCodePage = "CP1252";

// Imports into the group "G" of the project; false when the file is refused as a whole.
bool import(Project& project, std::string bytes, DuplicateRule rule, CsvImportPlan& plan)
{
    const CsvImportSettings settings{"G", rule, kCodePage};
    try {
        const CsvDocument document = readCsvDocument(std::move(bytes), {}, kCodePage);
        CsvMapping mapping = automaticCsvMapping(document, kCodePage);
        resolveCsvMapping(mapping, document);
        plan = planCsvImport(project, document, mapping, settings);
        applyCsvImport(project, document, mapping, settings, plan);
    } catch (const CsvImportError&) {
        return false;
    }
    return true;
}

// The quick reading of plain records gives what the general reading gives, record by record.
void compareReadings(std::string_view text)
{
    for (const char separator : {',', ';', '\t'}) {
        CsvReader quick(text, separator), general(text, separator, false);
        for (;;) {
            const bool more = quick.next();
            QUILLET_FUZZ_CHECK(more == general.next());
            if (!more)
                break;
            QUILLET_FUZZ_CHECK(quick.size() == general.size() && quick.line() == general.line() &&
                               quick.nextLine() == general.nextLine() && quick.position() == general.position() &&
                               quick.unterminated() == general.unterminated() && quick.ascii() == general.ascii());
            for (std::size_t i = 0; i < quick.size(); ++i)
                QUILLET_FUZZ_CHECK(quick.field(i) == general.field(i));
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    Project project;
    project.groups.push_back({"G", ""});
    RecipientRecord existing;
    existing.EMail.set("old@example.org");
    existing.Group.set("G");
    project.recipients.push_back(existing);

    compareReadings(fuzz::bytes(data, size));
    CsvImportPlan plan;
    if (!import(project, std::string(fuzz::bytes(data, size)), DuplicateRule::Skip, plan))
        return 0;
    const CsvImportReport& report = plan.report;
    QUILLET_FUZZ_CHECK(report.updated == 0);
    QUILLET_FUZZ_CHECK(report.problems.size() == report.invalid);
    QUILLET_FUZZ_CHECK(project.recipients.size() == 1 + report.imported);
    std::size_t line = 0;
    for (const CsvProblem& problem : report.problems) {
        QUILLET_FUZZ_CHECK(problem.line > line);
        line = problem.line;
    }
    // By the full rule, so that a quick check that lets an invalid address through is caught.
    for (std::size_t i = 1; i < project.recipients.size(); ++i)
        QUILLET_FUZZ_CHECK(addressProblem(project.recipients[i].EMail.view(), DomainCharset::Ascii) ==
                           AddressProblem::None);
    if (report.imported == 0)
        return 0;

    // The export read back holds the same records, the old one included.
    Project copy;
    copy.groups.push_back({"G", ""});
    CsvImportPlan again;
    QUILLET_FUZZ_CHECK(import(copy, recipientsCsv(project, {std::string("G"), true}), DuplicateRule::Keep, again));
    QUILLET_FUZZ_CHECK(copy.recipients.size() == project.recipients.size());
    for (std::size_t i = 0; i < copy.recipients.size(); ++i)
        QUILLET_FUZZ_CHECK(std::memcmp(&copy.recipients[i], &project.recipients[i], sizeof(RecipientRecord)) == 0);
    return 0;
}
