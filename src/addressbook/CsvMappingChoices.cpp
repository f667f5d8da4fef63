#include "CsvMappingChoices.h"

#include "AddressBookTexts.h"

#include <algorithm>
#include <unordered_set>

namespace quillet {

namespace {

bool holdsSameField(const CsvColumn& a, const CsvColumn& b)
{
    if (a.field != b.field)
        return false;
    switch (a.field) {
    case CsvField::Ignore:
    case CsvField::Group: return false;
    case CsvField::Parameter: return a.parameterName == b.parameterName;
    case CsvField::ParameterName:
    case CsvField::ParameterValue: return a.slot == b.slot;
    default: return true;
    }
}

bool equalIgnoringAsciiCase(std::string_view a, std::string_view b)
{
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [&](char x, char y) { return lower(x) == lower(y); });
}

// The code pages whose characters take more than one byte.
bool isSingleByteCodePage(std::string_view codePage)
{
    for (const std::string_view wide : {"UTF-8", "CP932", "GBK", "BIG5", "CP949"})
        if (codePage == wide)
            return false;
    return true;
}

} // namespace

std::optional<std::size_t> csvColumnHoldingField(const CsvMapping& mapping, std::size_t column, const CsvColumn& choice)
{
    for (std::size_t i = 0; i < mapping.columns.size(); ++i)
        if (i != column && holdsSameField(mapping.columns[i], choice))
            return i;
    return std::nullopt;
}

std::size_t dropRepeatedCsvFields(CsvMapping& mapping)
{
    std::size_t dropped = 0;
    for (std::size_t i = 0; i < mapping.columns.size(); ++i)
        for (std::size_t earlier = 0; earlier < i; ++earlier)
            if (holdsSameField(mapping.columns[earlier], mapping.columns[i])) {
                mapping.columns[i] = {};
                ++dropped;
                break;
            }
    return dropped;
}

std::vector<CsvNameCase> csvParameterCaseOffers(const CsvMapping& mapping, const std::vector<std::string>& knownNames)
{
    std::vector<CsvNameCase> offers;
    for (std::size_t i = 0; i < mapping.columns.size(); ++i) {
        const CsvColumn& column = mapping.columns[i];
        if (column.field != CsvField::Parameter ||
            std::find(knownNames.begin(), knownNames.end(), column.parameterName) != knownNames.end())
            continue;
        for (const std::string& known : knownNames)
            if (equalIgnoringAsciiCase(known, column.parameterName)) {
                offers.push_back({i, column.parameterName, known});
                break;
            }
    }
    return offers;
}

void applyCsvNameCase(CsvMapping& mapping, const std::vector<CsvNameCase>& offers)
{
    for (const CsvNameCase& offer : offers)
        if (offer.column < mapping.columns.size() && mapping.columns[offer.column].field == CsvField::Parameter)
            mapping.columns[offer.column].parameterName = offer.to;
}

std::vector<std::string> csvKnownParameterNames(const Project& project, std::string_view group,
                                                const std::vector<std::string>& macroNames)
{
    std::vector<std::string> names;
    std::unordered_set<std::string> seen;
    for (const std::string& name : macroNames)
        if (seen.insert(name).second)
            names.push_back(name);
    std::string_view last[4]; // recipients of a group mostly share their names: skip a repeat cheaply
    for (const RecipientRecord& record : project.recipients) {
        if (record.Group.view() != group)
            continue;
        for (int i = 0; i < 4; ++i) {
            const std::string_view name = record.paramName(i).view();
            if (name.empty() || name == last[i])
                continue;
            last[i] = name;
            if (seen.insert(std::string(name)).second)
                names.emplace_back(name);
        }
    }
    return names;
}

std::string csvRefusedRowsNote(const std::vector<CsvRow>& rows, const char* codePage)
{
    bool refused = false, notHeld = false;
    for (const CsvRow& row : rows) {
        refused = refused || !row.problem.empty();
        notHeld = notHeld || row.codePageRefusal;
    }
    if (!refused)
        return {};
    if (notHeld && isSingleByteCodePage(codePage))
        return texts::csvRowsNotHeldByCodePage(codePage);
    return std::string(texts::kCsvRefusedRowsMarked);
}

} // namespace quillet
