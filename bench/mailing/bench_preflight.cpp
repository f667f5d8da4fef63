// The pre-flight check over 100,000 recipients with five macros in the message, beside rendering
// the same messages' texts (macro substitution of subject and body for every recipient, as the
// run does). The check must be fast enough to run before every mailing: its time is printed
// beside the rendering's, with the ratio. Medians of several rounds.
//
// Usage: bench_preflight [recipients] [rounds]
#include "support/BenchBasics.h"

#include "mailing/MacroSubstitution.h"
#include "mailing/PreflightCheck.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

using namespace quillet;

int main(int argc, char** argv)
{
    const int count = argc > 1 ? std::atoi(argv[1]) : 100000;
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 5;
    Project project;
    project.properties.AutorName.set("Orv Quillet");
    project.recipients.reserve(std::size_t(count));
    std::vector<std::size_t> rows;
    for (int i = 0; i < count; ++i) {
        RecipientRecord r;
        r.EMail.set("customer" + std::to_string(i) + "@example.org");
        r.Name.set("Name" + std::to_string(i));
        r.Surname.set("Surname" + std::to_string(i));
        r.ParamName1.set("CITY");
        r.ParamValue1.set("City" + std::to_string(i % 97));
        r.ParamName2.set("CODE");
        r.ParamValue2.set(std::to_string(i));
        r.Enabled = 1;
        project.recipients.push_back(r);
        rows.push_back(std::size_t(i));
    }
    MailDraft draft;
    draft.subject = "Hello %NAME%, news from %CITY%";
    draft.body = {"Dear %NAME% %SURNAME%,", "", "your code is %CODE%.", "Best regards,", "%AUTHORNAME%"};
    PreflightInput input;
    input.project = &project;
    input.recipients = &rows;
    input.draft = &draft;
    input.hasFrom = true;

    using Clock = std::chrono::steady_clock;
    std::vector<double> checkTimes, renderTimes;
    std::size_t sink = 0;
    for (int round = 0; round < rounds; ++round) {
        auto start = Clock::now();
        sink += CheckMailing(input).size();
        checkTimes.push_back(std::chrono::duration<double>(Clock::now() - start).count());

        start = Clock::now();
        for (const std::size_t row : rows) {
            const MacroRecipient recipient = MacroRecipient::fromRecord(project.recipients[row]);
            sink += SubstituteMacros(draft.subject, recipient, project.properties).size();
            for (const auto& line : draft.body)
                sink += SubstituteMacros(line, recipient, project.properties).size();
        }
        renderTimes.push_back(std::chrono::duration<double>(Clock::now() - start).count());
    }
    const double check = bench::Median(checkTimes);
    const double render = bench::Median(renderTimes);
    std::printf("pre-flight check: %d recipients, 5 macros: %.3f s (median of %d)\n", count, check, rounds);
    std::printf("rendering their texts:                 %.3f s\n", render);
    std::printf("check / rendering: %.2f  (%zu)\n", check / render, sink % 10);
    return 0;
}
