// Macro substitution: personalises one line of a message (the subject or one body line) for one
// recipient. Fourteen macro texts are tried in a fixed order, each replacing its leftmost
// occurrence once per pass, and passes repeat until one changes nothing. Inserted values are
// searched again, so a value may itself hold macros.
//
// Values that keep re-creating their own macro text would never settle; such a text ends with
// EMacroSubstitutionError (naming the recipient) once it grows beyond kMaxMacroResultLength bytes,
// or once its passes have cost kMaxMacroWork bytes of work. A line that settles is never refused
// for its number of occurrences, and its work is linear in its length: a step searches only where
// the text changed since its last search, and a replacement moves only the bytes between it and
// the previous one.
#pragma once

#include "project/ProjectRecords.h"

#include <array>
#include <bitset>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>

namespace quillet {

class EMacroSubstitutionError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The recipient as its list row shows it (caption and the first two sub-items) together with the
// record the row's index names, which supplies the parameter names and values.
struct MacroRecipient {
    std::string_view email;
    std::string_view name;
    std::string_view surname;
    const RecipientRecord& record;

    // The row of a record shows exactly the record's own fields.
    static MacroRecipient fromRecord(const RecipientRecord& record)
    {
        return {record.EMail.view(), record.Name.view(), record.Surname.view(), record};
    }
};

// Returns the personalised text; changes neither the record nor the project.
std::string SubstituteMacros(std::string_view text, const MacroRecipient& recipient, const ProjectProperties& project);

// The same substitution for many texts of one recipient (a message's subject, lines and headers):
// the macro texts and values are gathered once. A text whose macros stand apart from each other
// and whose values hold no percent sign is personalised in one scan, with the same result the
// passes give; any other text goes through the passes.
class RecipientMacros {
public:
    RecipientMacros(const MacroRecipient& recipient, const ProjectProperties& project);
    RecipientMacros(const RecipientMacros&) = delete;
    RecipientMacros& operator=(const RecipientMacros&) = delete;

    // The personalised text in `out` (its memory is reused; `text` may be part of it).
    void Substitute(std::string_view text, std::string& out) const;
    std::string Substitute(std::string_view text) const;

private:
    // The step whose macro text is "%name%" (the first of equal texts), or -1.
    int Step(std::string_view name) const;
    bool OneScan(std::string_view text, std::string& out) const;

    const MacroRecipient& recipient_;
    const ProjectProperties& project_;
    // The fourteen steps in their order: macro text and value.
    std::array<std::pair<std::string, std::string_view>, 14> table_;
    // Whether the one scan may be tried: every macro text holds no percent sign between its two,
    // every value none, and equal macro texts have equal values.
    bool oneScan_ = false;
    // The bytes that occur inside some macro text.
    std::bitset<256> nameBytes_;
};

// How an inserted value is written where plain text would break the surrounding form.
enum class MacroValueForm {
    Html, // "&", "<", ">", '"' and "'" as character references
    Url,  // every byte but the unreserved ones as %XX of the value's UTF-8 form
};

// Personalises an HTML text or a URL: one scan from left to right; at each place where a macro
// text stands (the fourteen in their order, the first that matches wins) its value, itself
// personalised as plain text, is inserted in the given form and not searched again.
std::string SubstituteMacros(std::string_view text, const MacroRecipient& recipient, const ProjectProperties& project,
                             MacroValueForm form);

// A value written in a form (exposed for the pre-flight check and tests).
std::string EscapeMacroValue(std::string_view value, MacroValueForm form);

// Code-page text as UTF-8 with every byte that `keep` refuses written as %XX.
std::string PercentEncodeUtf8(std::string_view codePageText, bool (*keep)(unsigned char));

} // namespace quillet
