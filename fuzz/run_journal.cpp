// Run journals over any bytes: the reader either refuses the file (not a run's journal) or
// gives one outcome per recipient of the first line, in its order, with counts that add up to
// the total; the record reads back in words; and any text the journal writes as a JSON string
// is read back unchanged.
#include "FuzzSupport.h"

#include "mailing/JsonLine.h"
#include "mailing/MailingRun.h"
#include "mailing/RunJournalReader.h"
#include "mailing/RunRecordText.h"

using namespace quillet;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view input = fuzz::bytes(data, size);

    std::string literal;
    appendJsonString(literal, input);
    QUILLET_FUZZ_CHECK(JsonValue::parse(literal).text() == input);

    RunRecord run;
    try {
        run = ParseRunJournal(input, "fuzz.jsonl");
    } catch (const EMailingError&) {
        return 0;
    }
    QUILLET_FUZZ_CHECK(run.recipients.size() == run.description.recipients.size());
    for (std::size_t k = 0; k < run.recipients.size(); ++k)
        QUILLET_FUZZ_CHECK(run.recipients[k].email == run.description.recipients[k]);
    const RunCounts counts = run.Counts();
    QUILLET_FUZZ_CHECK(counts.total == run.recipients.size());
    QUILLET_FUZZ_CHECK(counts.sent + counts.Failures() + counts.skipped + counts.notTried == counts.total);
    QUILLET_FUZZ_CHECK(run.sessions >= 1);
    QUILLET_FUZZ_CHECK(run.description.options.attempts >= 1);
    QUILLET_FUZZ_CHECK(RunRecordText(run).find(CountsText(counts)) != std::string::npos);
    return 0;
}
