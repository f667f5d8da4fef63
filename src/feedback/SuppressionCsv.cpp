#include "SuppressionCsv.h"

#include "FeedbackTexts.h"

#include "addressbook/CsvReader.h"
#include "project/CodePage.h"
#include "transport/MessageTexts.h"
#include "transport/MimeParts.h"

namespace quillet {

namespace {

constexpr std::string_view kColumns[] = {"email", "reason", "first_seen", "last_seen", "source", "detail"};
constexpr std::string_view kMissingEmailColumn = "The CSV file has no \"email\" column.";

void appendField(std::string& out, std::string_view field)
{
    if (field.find_first_of(",\"\r\n") == std::string_view::npos) {
        out += field;
        return;
    }
    out += '"';
    for (char c : field) {
        if (c == '"')
            out += '"';
        out += c;
    }
    out += '"';
}

} // namespace

std::string SuppressionCsv(const std::vector<SuppressionEntry>& entries)
{
    std::string out = "email,reason,first_seen,last_seen,source,detail\r\n";
    for (const SuppressionEntry& e : entries) {
        const std::string_view fields[] = {e.address, e.reason, e.firstSeen, e.lastSeen, e.source, e.detail};
        for (std::size_t i = 0; i < std::size(fields); ++i) {
            if (i)
                out += ',';
            appendField(out, fields[i]);
        }
        out += "\r\n";
    }
    return out;
}

std::vector<SuppressionEntry> ParseSuppressionCsv(std::string bytes, std::string_view reason)
{
    const CsvText text = decodeCsvBytes(std::move(bytes), {}, codePageName());
    CsvReader reader(text.utf8, detectCsvSeparator(text.utf8));
    std::vector<SuppressionEntry> entries;
    if (!reader.next())
        return entries;
    int column[std::size(kColumns)];
    for (std::size_t c = 0; c < std::size(kColumns); ++c) {
        column[c] = -1;
        for (std::size_t f = 0; f < reader.size(); ++f)
            if (AsciiLower(TrimBlanks(reader.field(f))) == kColumns[c])
                column[c] = int(f);
    }
    if (column[0] < 0)
        throw CsvImportError(std::string(kMissingEmailColumn));
    auto field = [&](std::size_t c) {
        return column[c] >= 0 && std::size_t(column[c]) < reader.size()
                   ? std::string(reader.field(std::size_t(column[c])))
                   : std::string();
    };
    while (reader.next()) {
        SuppressionEntry entry{field(0), field(1), field(2), field(3), field(4), field(5)};
        if (TrimBlanks(entry.address).empty())
            continue;
        if (entry.reason.empty())
            entry.reason = reason;
        if (entry.source.empty())
            entry.source = "import";
        if (!IsSuppressionReason(entry.reason))
            throw CsvImportError(FormatText(kUnknownReason, {entry.reason}));
        entries.push_back(std::move(entry));
    }
    return entries;
}

} // namespace quillet
