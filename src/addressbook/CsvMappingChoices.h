// The desktop import's help with a mapping: one column per field, parameter names in the letter
// case the project already uses, and advice for the rows the code page cannot hold.
#pragma once

#include "CsvImport.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quillet {

// The column other than `column` that already holds the field `choice` would give it: the same
// recipient field, the same parameter slot's name or value, or a parameter of the same name.
// Nothing for "not imported" and the group column, which any number of columns may be.
std::optional<std::size_t> csvColumnHoldingField(const CsvMapping& mapping, std::size_t column,
                                                 const CsvColumn& choice);
// Sets to "not imported" every column whose field an earlier column holds (as an automatic
// mapping of a header with two e-mail columns gives); returns how many it set.
std::size_t dropRepeatedCsvFields(CsvMapping& mapping);

// A parameter column whose name the project knows in another letter case.
struct CsvNameCase {
    std::size_t column;
    std::string from; // the name from the header (code page)
    std::string to;   // the known name
};
// The parameter columns whose name equals a known name but for ASCII letter case (and none
// exactly): the offers of the import to take the known letter case, since macros are matched
// exactly.
std::vector<CsvNameCase> csvParameterCaseOffers(const CsvMapping& mapping, const std::vector<std::string>& knownNames);
// Renames the parameter columns as offered.
void applyCsvNameCase(CsvMapping& mapping, const std::vector<CsvNameCase>& offers);
// The names whose letter case an import into the group follows: the given macro names (of the
// templates) and the parameter names of the group's recipients, each once.
std::vector<std::string> csvKnownParameterNames(const Project& project, std::string_view group,
                                                const std::vector<std::string>& macroNames);

// The note under the preview of the rows: empty when none of them is refused; else that the
// marked rows will not be imported, and when a text did not fit a single-byte code page, that
// the UTF-8 code page holds every character.
std::string csvRefusedRowsNote(const std::vector<CsvRow>& rows, const char* codePage);

} // namespace quillet
