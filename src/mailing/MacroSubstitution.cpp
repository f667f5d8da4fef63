#include "MacroSubstitution.h"

#include "MailingTexts.h"

#include <algorithm>
#include <array>
#include <utility>

namespace quillet {

namespace {

using MacroTable = std::array<std::pair<std::string, std::string_view>, 14>;

// The fourteen steps in the order they are applied.
MacroTable buildTable(const MacroRecipient& r, const ProjectProperties& p)
{
    const RecipientRecord& rec = r.record;
    auto named = [&](int i) {
        std::string macro = "%";
        macro += rec.paramName(i).view();
        macro += '%';
        return macro;
    };
    return MacroTable{{
        {"%ADDRESS%", r.email},
        {"%NAME%", r.name},
        {"%SURNAME%", r.surname},
        {"%AUTHORNAME%", p.AutorName.view()},
        {"%AUTHORWEB%", p.AutorWEB.view()},
        {"%AUTHOREMAIL%", p.AutorEmail.view()},
        {"%PARAM1%", rec.paramValue(0).view()},
        {"%PARAM2%", rec.paramValue(1).view()},
        {"%PARAM3%", rec.paramValue(2).view()},
        {"%PARAM4%", rec.paramValue(3).view()},
        {named(0), rec.paramValue(0).view()},
        {named(1), rec.paramValue(1).view()},
        {named(2), rec.paramValue(2).view()},
        {named(3), rec.paramValue(3).view()},
    }};
}

} // namespace

std::string SubstituteMacros(std::string_view text, const MacroRecipient& recipient,
                             const ProjectProperties& project)
{
    // Without a percent sign no macro can occur; the common case costs one scan.
    if (text.find('%') == std::string_view::npos)
        return std::string(text);

    const MacroTable table = buildTable(recipient, project);
    const std::size_t maxLength = std::max(kMaxMacroResultLength, text.size());
    std::string current(text);
    std::string work;
    for (std::size_t pass = 0;; ++pass) {
        if (pass == kMaxMacroPasses)
            throw EMacroSubstitutionError(formatMessage(
                kMacroTooManyPasses, {recipient.email, std::to_string(kMaxMacroPasses)}));
        work = current;
        for (const auto& [macro, value] : table) {
            const std::size_t at = work.find(macro);
            if (at == std::string::npos)
                continue;
            work.replace(at, macro.size(), value);
            if (work.size() > maxLength)
                throw EMacroSubstitutionError(
                    formatMessage(kMacroTooLong, {recipient.email, std::to_string(maxLength)}));
        }
        if (work == current)
            return work;
        std::swap(current, work);
    }
}

} // namespace quillet
