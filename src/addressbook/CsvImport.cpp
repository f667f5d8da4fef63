#include "CsvImport.h"

#include "AddressBookTexts.h"
#include "AddressValidity.h"
#include "project/CodePage.h"
#include "project/WholeFile.h"

#include <algorithm>
#include <cctype>
#include <functional>
#include <utility>

namespace quillet {

namespace {

// Records between two calls of the progress callback.
constexpr std::size_t kProgressEvery = 4096;

bool isUtf8CodePage(const char* codePage)
{
    return domainCharsetFor(codePage) == DomainCharset::Utf8;
}

// A header name reduced for comparison: ASCII lower case without blanks, "-", "_" and ".".
std::string normalisedHeader(std::string_view header)
{
    std::string key;
    for (const char c : header) {
        if (c == ' ' || c == '\t' || c == '-' || c == '_' || c == '.')
            continue;
        key += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return key;
}

struct KnownHeader {
    std::string_view key;
    CsvField field;
};
constexpr KnownHeader kKnownHeaders[] = {
    {"email", CsvField::Email},       {"mail", CsvField::Email},         {"emailaddress", CsvField::Email},
    {"mailaddress", CsvField::Email}, {"name", CsvField::Name},          {"firstname", CsvField::Name},
    {"givenname", CsvField::Name},    {"forename", CsvField::Name},      {"surname", CsvField::Surname},
    {"lastname", CsvField::Surname},  {"familyname", CsvField::Surname}, {"enabled", CsvField::Enabled},
    {"group", CsvField::Group},
};

// The field a header names, with the parameter slot of "param2 name" and "param2 value".
CsvColumn columnForHeader(std::string_view header)
{
    const std::string key = normalisedHeader(header);
    for (const KnownHeader& known : kKnownHeaders)
        if (key == known.key)
            return {known.field, {}, -1};
    if (key.size() == 10 && key.starts_with("param") && key[5] >= '1' && key[5] <= '4') {
        const std::string_view rest = std::string_view(key).substr(6);
        if (rest == "name")
            return {CsvField::ParameterName, {}, key[5] - '1'};
    }
    if (key.size() == 11 && key.starts_with("param") && key[5] >= '1' && key[5] <= '4' && key.ends_with("value"))
        return {CsvField::ParameterValue, {}, key[5] - '1'};
    return {CsvField::Parameter, {}, -1};
}

bool isSingleField(CsvField field)
{
    return field == CsvField::Email || field == CsvField::Name || field == CsvField::Surname ||
           field == CsvField::Enabled || field == CsvField::Group;
}

std::string parameterNameOf(const CsvDocument& document, std::size_t column, const char* codePage)
{
    if (column < document.header.size() && !document.header[column].empty())
        return isUtf8CodePage(codePage) ? document.header[column] : utf8ToCodePageForMessage(document.header[column]);
    return "COLUMN" + std::to_string(column + 1);
}

// Fills CsvRows from the records of a reader: the fields converted to the code page and checked.
class RowBuilder {
public:
    RowBuilder(const CsvMapping& mapping, const CsvImportSettings& settings)
        : mapping_(mapping), codePage_(settings.codePage), utf8_(isUtf8CodePage(settings.codePage)),
          charset_(domainCharsetFor(settings.codePage))
    {
    }

    // False for a record whose fields are all empty (passed over).
    bool build(const CsvReader& reader, CsvRow& row)
    {
        bool blank = true;
        for (std::size_t i = 0; i < reader.size() && blank; ++i)
            blank = reader.field(i).empty();
        if (blank)
            return false;
        row.line = reader.line();
        row.problem.clear();
        row.email.clear();
        row.name.clear();
        row.surname.clear();
        row.enabled = true;
        for (int slot = 0; slot < 4; ++slot) {
            row.paramNames[slot].clear();
            row.paramValues[slot].clear();
        }
        if (reader.unterminated()) {
            row.problem = texts::kCsvUnclosedQuote;
            return true;
        }
        const std::size_t columns = mapping_.columns.size();
        for (std::size_t i = columns; i < reader.size(); ++i)
            if (!reader.field(i).empty()) {
                row.problem = texts::csvTooManyFields(reader.size(), columns);
                return true;
            }
        for (std::size_t i = 0; i < columns && i < reader.size() && row.problem.empty(); ++i)
            take(mapping_.columns[i], reader.field(i), row);
        for (std::size_t i = 0; i < columns; ++i) // parameter names come from the header
            if (mapping_.columns[i].field == CsvField::Parameter)
                row.paramNames[mapping_.columns[i].slot] = mapping_.columns[i].parameterName;
        if (row.problem.empty()) {
            if (row.email.empty())
                row.problem = texts::kCsvMissingAddress;
            else if (const AddressProblem problem = addressProblem(row.email, charset_);
                     problem != AddressProblem::None)
                row.problem = texts::invalidAddress(row.email, describeAddressProblem(problem));
        }
        return true;
    }

private:
    void take(const CsvColumn& column, std::string_view field, CsvRow& row)
    {
        switch (column.field) {
        case CsvField::Ignore:
        case CsvField::Group: return;
        case CsvField::Email: convert(field, row.email, column, row); return;
        case CsvField::Name: convert(field, row.name, column, row); return;
        case CsvField::Surname: convert(field, row.surname, column, row); return;
        case CsvField::Enabled: {
            const std::string value = normalisedHeader(field);
            if (value.empty() || value == "true" || value == "yes" || value == "1")
                row.enabled = true;
            else if (value == "false" || value == "no" || value == "0")
                row.enabled = false;
            else
                row.problem = texts::csvBadEnabled(utf8_ ? std::string(field) : utf8ToCodePageForMessage(field));
            return;
        }
        case CsvField::Parameter:
        case CsvField::ParameterValue: convert(field, row.paramValues[column.slot], column, row); return;
        case CsvField::ParameterName: convert(field, row.paramNames[column.slot], column, row); return;
        }
    }

    void convert(std::string_view field, std::string& target, const CsvColumn& column, CsvRow& row)
    {
        if (utf8_ || isPlainAscii(field)) {
            target.assign(field);
        } else {
            try {
                target = utf8ToCodePage(field, codePage_);
            } catch (const UnrepresentableText&) {
                row.problem = texts::csvFieldNotRepresentable(describe(column, row), codePage_);
                return;
            }
        }
        if (target.size() > kMaxShortStringLength)
            row.problem = texts::csvFieldTooLong(describe(column, row));
    }

    // The field's name in a problem's text ("name", "parameter "CITY"").
    static std::string describe(const CsvColumn& column, const CsvRow& row)
    {
        switch (column.field) {
        case CsvField::Email: return std::string(texts::kCsvEmailField);
        case CsvField::Name: return std::string(texts::kCsvNameField);
        case CsvField::Surname: return std::string(texts::kCsvSurnameField);
        case CsvField::ParameterName: return texts::csvParameterNameField(column.slot);
        case CsvField::Parameter: return texts::csvParameterField(column.parameterName);
        case CsvField::ParameterValue: return texts::csvParameterField(row.paramNames[column.slot]);
        default: return {};
        }
    }

    const CsvMapping& mapping_;
    const char* codePage_;
    bool utf8_;
    DomainCharset charset_;
};

// Which stored fields the mapping fills (an update replaces exactly these).
struct MappedFields {
    bool email = false, name = false, surname = false, enabled = false;
    bool slot[4] = {};

    explicit MappedFields(const CsvMapping& mapping)
    {
        for (const CsvColumn& column : mapping.columns) {
            switch (column.field) {
            case CsvField::Email: email = true; break;
            case CsvField::Name: name = true; break;
            case CsvField::Surname: surname = true; break;
            case CsvField::Enabled: enabled = true; break;
            case CsvField::Parameter:
            case CsvField::ParameterName:
            case CsvField::ParameterValue: slot[column.slot] = true; break;
            case CsvField::Ignore:
            case CsvField::Group: break;
            }
        }
    }
};

void storeRow(const CsvRow& row, const MappedFields& mapped, RecipientRecord& record)
{
    if (mapped.email)
        record.EMail.set(row.email);
    if (mapped.name)
        record.Name.set(row.name);
    if (mapped.surname)
        record.Surname.set(row.surname);
    if (mapped.enabled)
        record.Enabled = row.enabled ? 1 : 0;
    for (int slot = 0; slot < 4; ++slot)
        if (mapped.slot[slot]) {
            record.paramName(slot).set(row.paramNames[slot]);
            record.paramValue(slot).set(row.paramValues[slot]);
        }
}

// Address keys (addressKey) and the record index each stands for. The table is open addressing
// over 8-byte slots (a hash tag and the entry's number), the keys lie in one block of bytes: a
// million keys cost a few allocations, and a probe touches one small slot most of the time.
class AddressIndex {
public:
    // The index stored for the address's key, or (absent) `index` stored for it now.
    std::pair<std::int64_t, bool> tryEmplace(std::string_view address, std::int64_t index)
    {
        key_ = addressKey(address);
        if ((entries_.size() + 1) * 2 > slots_.size())
            grow();
        const std::uint64_t hash = std::hash<std::string_view>{}(key_);
        const auto tag = static_cast<std::uint32_t>(hash >> 32);
        for (std::size_t i = hash & (slots_.size() - 1);; i = (i + 1) & (slots_.size() - 1)) {
            Slot& slot = slots_[i];
            if (slot.entry == 0) {
                slot = {tag, static_cast<std::uint32_t>(entries_.size() + 1)};
                entries_.push_back({hash, keys_.size(), key_.size(), index});
                keys_ += key_;
                return {index, true};
            }
            const Entry& entry = entries_[slot.entry - 1];
            if (slot.tag == tag && std::string_view(keys_).substr(entry.offset, entry.length) == key_)
                return {entry.index, false};
        }
    }

private:
    struct Slot {
        std::uint32_t tag = 0;
        std::uint32_t entry = 0; // 1-based number of the entry; 0: free
    };
    struct Entry {
        std::uint64_t hash;
        std::size_t offset;
        std::size_t length;
        std::int64_t index;
    };

    void grow()
    {
        slots_.assign(std::max<std::size_t>(slots_.size() * 2, 1024), Slot{});
        for (std::size_t e = 0; e < entries_.size(); ++e) {
            std::size_t i = entries_[e].hash & (slots_.size() - 1);
            while (slots_[i].entry != 0)
                i = (i + 1) & (slots_.size() - 1);
            slots_[i] = {static_cast<std::uint32_t>(entries_[e].hash >> 32), static_cast<std::uint32_t>(e + 1)};
        }
    }

    std::vector<Slot> slots_;
    std::vector<Entry> entries_;
    std::string keys_;
    std::string key_;
};

// A reader positioned after the header.
CsvReader dataReader(const CsvDocument& document)
{
    CsvReader reader(document.text, document.separator);
    if (document.hasHeader)
        reader.next();
    return reader;
}

} // namespace

bool isCsvParameterHeader(std::string_view header)
{
    return columnForHeader(header).field == CsvField::Parameter;
}

CsvDocument readCsvDocument(std::string bytes, const CsvFormat& format, const char* codePage)
{
    CsvText decoded = decodeCsvBytes(std::move(bytes), format.encoding, codePage);
    CsvDocument document;
    document.text = std::move(decoded.utf8);
    document.encoding = std::move(decoded.encoding);
    document.separator = format.separator ? format.separator : detectCsvSeparator(document.text);
    CsvReader reader(document.text, document.separator);
    if (!reader.next())
        throw CsvImportError(std::string(texts::kCsvNoRecipients));
    const DomainCharset charset = domainCharsetFor(codePage);
    document.hasHeader = true;
    for (std::size_t i = 0; i < reader.size(); ++i) {
        document.header.emplace_back(reader.field(i));
        if (isValidAddress(reader.field(i), charset))
            document.hasHeader = false;
    }
    return document;
}

CsvDocument readCsvFile(const std::string& path, const CsvFormat& format, const char* codePage)
{
    return readCsvDocument(readWholeFile(path), format, codePage);
}

CsvMapping automaticCsvMapping(const CsvDocument& document, const char* codePage)
{
    CsvMapping mapping;
    mapping.columns.resize(document.header.size());
    if (!document.hasHeader) {
        const DomainCharset charset = domainCharsetFor(codePage);
        for (std::size_t i = 0; i < document.header.size(); ++i)
            if (isValidAddress(document.header[i], charset)) {
                mapping.columns[i].field = CsvField::Email;
                break;
            }
        return mapping;
    }
    bool seen[static_cast<int>(CsvField::ParameterValue) + 1][4] = {};
    for (std::size_t i = 0; i < document.header.size(); ++i) {
        CsvColumn column = columnForHeader(document.header[i]);
        const int slot = std::max(column.slot, 0);
        bool& taken = seen[static_cast<int>(column.field)][slot];
        if (column.field != CsvField::Parameter && taken) // the first column of a field wins
            column = {CsvField::Parameter, {}, -1};
        taken = true;
        if (column.field == CsvField::Parameter)
            column.parameterName = parameterNameOf(document, i, codePage);
        mapping.columns[i] = std::move(column);
    }
    return mapping;
}

void applyExplicitCsvMap(CsvMapping& mapping, const CsvDocument& document, const std::vector<std::string>& entries,
                         const char* codePage)
{
    if (entries.empty())
        return;
    for (CsvColumn& column : mapping.columns)
        if (!isSingleField(column.field))
            column = {};
    for (const std::string& entry : entries) {
        const std::size_t equals = entry.find('=');
        if (equals == std::string::npos || equals == 0 || equals + 1 == entry.size())
            throw CsvImportError(texts::csvBadMapEntry(utf8ToCodePageForMessage(entry)));
        const std::string field = entry.substr(0, equals);
        const std::string columnText = entry.substr(equals + 1);

        std::size_t column = mapping.columns.size();
        if (columnText.find_first_not_of("0123456789") == std::string::npos) {
            const unsigned long number = columnText.size() > 9 ? 0 : std::stoul(columnText);
            if (number >= 1 && number <= mapping.columns.size())
                column = number - 1;
        } else if (document.hasHeader) {
            for (std::size_t i = 0; i < document.header.size() && column == mapping.columns.size(); ++i)
                if (normalisedHeader(document.header[i]) == normalisedHeader(columnText))
                    column = i;
        }
        if (column == mapping.columns.size())
            throw CsvImportError(texts::csvNoSuchColumn(utf8ToCodePageForMessage(columnText)));

        CsvColumn target = columnForHeader(field);
        if (isSingleField(target.field)) {
            for (CsvColumn& other : mapping.columns)
                if (other.field == target.field)
                    other = {};
        } else {
            target = {CsvField::Parameter, isUtf8CodePage(codePage) ? field : utf8ToCodePageForMessage(field), -1};
        }
        mapping.columns[column] = std::move(target);
    }
}

void resolveCsvMapping(CsvMapping& mapping, const CsvDocument& document)
{
    (void)document;
    if (std::none_of(mapping.columns.begin(), mapping.columns.end(),
                     [](const CsvColumn& c) { return c.field == CsvField::Email; }))
        throw CsvImportError(std::string(texts::kCsvNoEmailColumn));
    bool used[4] = {};
    for (const CsvColumn& column : mapping.columns)
        if (column.field == CsvField::ParameterName || column.field == CsvField::ParameterValue)
            used[column.slot] = true;
    std::string names;
    bool tooMany = false;
    int next = 0;
    for (CsvColumn& column : mapping.columns) {
        if (column.field != CsvField::Parameter)
            continue;
        names += (names.empty() ? "" : ", ") + column.parameterName;
        while (next < 4 && used[next])
            ++next;
        if (next == 4) {
            tooMany = true;
            continue;
        }
        column.slot = next;
        used[next] = true;
    }
    if (tooMany)
        throw CsvImportError(texts::csvTooManyParameters(names));
}

std::vector<CsvRow> previewCsvRows(const CsvDocument& document, const CsvMapping& mapping,
                                   const CsvImportSettings& settings, std::size_t count)
{
    std::vector<CsvRow> rows;
    CsvReader reader = dataReader(document);
    RowBuilder builder(mapping, settings);
    CsvRow row;
    while (rows.size() < count && reader.next())
        if (builder.build(reader, row))
            rows.push_back(row);
    return rows;
}

CsvImportPlan planCsvImport(const Project& project, const CsvDocument& document, const CsvMapping& mapping,
                            const CsvImportSettings& settings, const CsvProgress& progress)
{
    CsvImportPlan plan;
    CsvImportReport& report = plan.report;
    const bool deduplicate = settings.duplicates != DuplicateRule::Keep;
    // Address key -> the record index it stands at (or will stand at once appended).
    AddressIndex known;
    if (deduplicate)
        for (std::size_t i = 0; i < project.recipients.size(); ++i)
            if (project.recipients[i].Group == settings.group)
                known.tryEmplace(project.recipients[i].EMail.view(), static_cast<std::int64_t>(i));
    auto nextIndex = static_cast<std::int64_t>(project.recipients.size());

    CsvReader reader = dataReader(document);
    RowBuilder builder(mapping, settings);
    CsvRow row;
    while (reader.next()) {
        if (progress && plan.actions.size() % kProgressEvery == 0 && !progress(reader.position(), reader.textSize()))
            throw CsvImportCancelled();
        std::int64_t action = CsvImportPlan::kSkipRow;
        if (builder.build(reader, row)) {
            if (!row.problem.empty()) {
                ++report.invalid;
                report.problems.push_back({row.line, row.problem});
            } else if (!deduplicate) {
                action = CsvImportPlan::kAppendRow;
                ++report.imported;
            } else {
                const auto [index, added] = known.tryEmplace(row.email, nextIndex);
                if (added) {
                    action = CsvImportPlan::kAppendRow;
                    ++nextIndex;
                    ++report.imported;
                } else if (settings.duplicates == DuplicateRule::Update) {
                    action = index;
                    ++report.updated;
                } else {
                    ++report.skipped;
                }
            }
        }
        plan.actions.push_back(action);
    }
    if (report.imported + report.updated + report.skipped + report.invalid == 0)
        throw CsvImportError(std::string(texts::kCsvNoRecipients));
    if (progress && !progress(reader.textSize(), reader.textSize()))
        throw CsvImportCancelled();
    return plan;
}

void applyCsvImport(Project& project, const CsvDocument& document, const CsvMapping& mapping,
                    const CsvImportSettings& settings, const CsvImportPlan& plan)
{
    if (plan.report.imported == 0 && plan.report.updated == 0)
        return;
    // A new record takes every mapped field and keeps the defaults (empty, enabled) of the rest;
    // an updated one keeps its unmapped fields.
    const MappedFields mapped(mapping);
    project.recipients.reserve(project.recipients.size() + plan.report.imported);
    CsvReader reader = dataReader(document);
    RowBuilder builder(mapping, settings);
    CsvRow row;
    for (const std::int64_t action : plan.actions) {
        reader.next();
        if (action == CsvImportPlan::kSkipRow)
            continue;
        builder.build(reader, row);
        if (action == CsvImportPlan::kAppendRow) {
            // Filled here and copied once: the list's new memory is written a single time.
            RecipientRecord record;
            storeRow(row, mapped, record);
            record.Group.set(settings.group);
            project.recipients.push_back(record);
        } else {
            storeRow(row, mapped, project.recipients[static_cast<std::size_t>(action)]);
        }
    }
    project.setChanged(true);
}

std::string CsvImportReport::summary() const
{
    return texts::csvReportSummary(imported, updated, skipped, invalid);
}

std::string CsvImportReport::text() const
{
    std::string result = summary() + "\n";
    for (const CsvProblem& problem : problems)
        result += std::to_string(problem.line) + ": " + problem.text + "\n";
    return result;
}

} // namespace quillet
