// Macro substitution's work bound: a typical line, lines of 1,000 and 4,000 occurrences (and of
// two macros in two long runs), and crafted lines whose value re-creates its own macro (`%ADDRESS%` followed by 56 or by one
// percent sign, the address being that same text). Each figure stands beside a plain peer in the
// same run: std::string find/replace of every macro text over the same bytes (for the crafted
// lines, over the bytes they grow to before they are refused). The ratios show the work is linear
// in the bytes for texts that settle, and bounded for texts that never do. Medians of rounds.
// (Parameters 3 and 4 are named in the crafted lines: an empty name makes "%%" a macro that
// eats the growth.)
//
// Usage: bench_macro_substitution [rounds]
#include "support/BenchBasics.h"

#include "mailing/MacroSubstitution.h"
#include "mailing/MailingTexts.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <utility>
#include <vector>

using namespace quillet;

namespace {

using Clock = std::chrono::steady_clock;
using Macros = std::vector<std::pair<std::string, std::string>>;

// The peer: each macro text replaced everywhere by a find/replace scan that builds a new text.
std::string plainReplace(std::string text, const Macros& macros)
{
    for (const auto& [macro, value] : macros) {
        std::string out;
        out.reserve(text.size());
        std::size_t from = 0;
        for (std::size_t at; (at = text.find(macro, from)) != std::string::npos; from = at + macro.size()) {
            out.append(text, from, at - from);
            out += value;
        }
        out.append(text, from);
        text = std::move(out);
    }
    return text;
}

// Seconds per call of one function: repeated until it took 10 ms.
double secondsPerCall(const std::function<std::size_t()>& call, std::size_t& sink)
{
    long calls = 0;
    const auto start = Clock::now();
    double elapsed = 0;
    do {
        sink += call();
        ++calls;
        elapsed = std::chrono::duration<double>(Clock::now() - start).count();
    } while (elapsed < 0.01);
    return elapsed / double(calls);
}

std::string repeated(const std::string& piece, std::size_t count)
{
    std::string text;
    for (std::size_t i = 0; i < count; ++i)
        text += piece;
    return text;
}

} // namespace

int main(int argc, char** argv)
{
    const int rounds = argc > 1 ? std::atoi(argv[1]) : 7;
    RecipientRecord record;
    record.EMail.set("customer@example.org");
    record.Name.set("Ann");
    record.Surname.set("Smith");
    record.ParamName1.set("CITY");
    record.ParamValue1.set("Lisbon");
    record.ParamName2.set("CODE");
    record.ParamValue2.set("70412");
    ProjectProperties project;
    project.AutorName.set("Orv Quillet");
    const Macros macros = {{"%ADDRESS%", "customer@example.org"},
                           {"%NAME%", "Ann"},
                           {"%SURNAME%", "Smith"},
                           {"%AUTHORNAME%", "Orv Quillet"},
                           {"%PARAM1%", "Lisbon"},
                           {"%PARAM2%", "70412"},
                           {"%CITY%", "Lisbon"},
                           {"%CODE%", "70412"}};

    std::size_t sink = 0;
    std::printf("%-36s %7s %12s %12s %7s\n", "line", "bytes", "substitution", "plain peer", "ratio");
    const auto row = [&](const char* label, const std::string& text, const RecipientRecord& who,
                         const std::string& peerText, const Macros& peerMacros) {
        const MacroRecipient recipient = MacroRecipient::fromRecord(who);
        // Each round times both back to back, so a busy machine slows both alike.
        std::vector<double> owns, peers, ratios;
        for (int round = 0; round < rounds; ++round) {
            owns.push_back(secondsPerCall(
                [&] {
                    try {
                        return SubstituteMacros(text, recipient, project).size();
                    } catch (const EMacroSubstitutionError&) {
                        return std::size_t{1};
                    }
                },
                sink));
            peers.push_back(secondsPerCall([&] { return plainReplace(peerText, peerMacros).size(); }, sink));
            ratios.push_back(owns.back() / peers.back());
        }
        std::printf("%-36s %7zu %9.1f us %9.1f us %7.1f\n", label, text.size(), bench::Median(owns) * 1e6,
                    bench::Median(peers) * 1e6, bench::Median(ratios));
    };

    const std::string typical = "Dear %NAME% %SURNAME%, your order %CODE% ships to %CITY% today.";
    row("typical line (4 macros)", typical, record, typical, macros);
    const std::string thousand = repeated("%NAME% ", 1000);
    row("1,000 x %NAME%", thousand, record, thousand, macros);
    const std::string fourThousand = repeated("%NAME% ", 4000);
    row("4,000 x %NAME%", fourThousand, record, fourThousand, macros);

    const std::string mixed = repeated("%NAME% ", 2000) + repeated("%SURNAME% ", 2000);
    row("2,000 x %NAME%, 2,000 x %SURNAME%", mixed, record, mixed, macros);

    // A value that re-creates its macro grows until the length bound refuses it, or, growing a
    // byte a pass, until the work bound does; the peer scans once the bytes it grows to.
    for (const std::size_t percents : {std::size_t{56}, std::size_t{1}}) {
        RecipientRecord crafted = record;
        crafted.ParamName3.set("P3");
        crafted.ParamName4.set("P4");
        const std::string field = "%ADDRESS%" + std::string(percents, '%');
        crafted.EMail.set(field);
        const std::string grown = repeated(field, kMaxMacroResultLength / field.size() + 1);
        const Macros peerMacros = {{"%ADDRESS%", field}};
        const std::string label = "crafted: %ADDRESS% + " + std::to_string(percents) + " x %";
        row(label.c_str(), field, crafted, grown, peerMacros);
    }
    std::printf("(%zu)\n", sink % 10);
    return 0;
}
