#include "CsvImport.h"

#include "AddressBookTexts.h"
#include "AddressValidity.h"
#include "project/CodePage.h"
#include "project/LargePages.h"
#include "project/WholeFile.h"

#include <algorithm>
#include <bit>
#include <atomic>
#include <exception>
#include <cctype>
#include <cstring>
#include <functional>
#include <thread>
#include <utility>

namespace quillet {

namespace {

// Records between two calls of the progress callback.
constexpr std::size_t kProgressEvery = 4096;
// Packed rows per chunk of the plan: the unit the threads that store new records share out.
constexpr std::size_t kChunkRows = 16384;
// New records from which storing them is shared between two threads: below it a thread costs
// more than it saves. Two, because most of the work is the system's filling of fresh memory,
// which scales with cores, and desktop machines have at least two.
constexpr std::size_t kParallelStoreRows = 65536;
// Bytes of text from which the plan reads the rows in two halves at once: below it a thread
// costs more than it saves.
constexpr std::size_t kParallelPlanBytes = 1 << 20;
// Rows from which the lookups of the addresses in their two tables are shared between two threads.
constexpr std::size_t kParallelDecideRows = 65536;

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

// Texts of a packed row of the plan (CsvImportPlan::rows): the e-mail, name, surname, four
// parameter names and four values.
constexpr int kPackedTexts = 11;

// Copies a few bytes without a call of memcpy for each: two overlapping words for up to 16.
inline void copyShort(char* to, const char* from, std::size_t n)
{
    if (n >= 8 && n <= 16) {
        std::uint64_t head, tail;
        std::memcpy(&head, from, 8);
        std::memcpy(&tail, from + n - 8, 8);
        std::memcpy(to, &head, 8);
        std::memcpy(to + n - 8, &tail, 8);
    } else if (n >= 4 && n < 8) {
        std::uint32_t head, tail;
        std::memcpy(&head, from, 4);
        std::memcpy(&tail, from + n - 4, 4);
        std::memcpy(to, &head, 4);
        std::memcpy(to + n - 4, &tail, 4);
    } else if (n < 4) {
        for (std::size_t i = 0; i < n; ++i)
            to[i] = from[i];
    } else {
        std::memcpy(to, from, n);
    }
}

// Bytes that copyBlocks() may read and write past the bytes it copies.
constexpr std::size_t kCopyBlock = 32;

// Copies the bytes a block of kCopyBlock at a time, reading and writing up to kCopyBlock - 1
// bytes past them: for short texts whose source and target both have that room after them, it
// saves the choices of copyShort().
inline void copyBlocks(char* to, const char* from, std::size_t n)
{
    std::memcpy(to, from, kCopyBlock);
    for (std::size_t i = kCopyBlock; i < n; i += kCopyBlock)
        std::memcpy(to + i, from + i, kCopyBlock);
}

// Packed rows being written, each once where it lies: the bytes are not cleared first (as a
// string's would be), as the system provides fresh memory cleared anyway.
class PackedRows {
public:
    // Room for the rows of a text of this size (a row packs into about its own size), from
    // large pages for a large text.
    explicit PackedRows(std::size_t textBytes) : capacity_(textBytes + textBytes / 4)
    {
        if (capacity_ > 0) {
            bytes_ = std::make_unique_for_overwrite<char[]>(capacity_);
            adviseLargePages(bytes_.get(), capacity_);
        }
    }
    std::size_t size() const { return size_; }
    // The place of `n` more bytes, with kCopyBlock bytes of room after them.
    char* extend(std::size_t n)
    {
        if (size_ + n + kCopyBlock > capacity_)
            grow(size_ + n + kCopyBlock);
        char* at = bytes_.get() + size_;
        size_ += n;
        return at;
    }
    // The rows written.
    std::unique_ptr<char[]> take() { return std::move(bytes_); }

private:
    void grow(std::size_t needed)
    {
        capacity_ = std::max(needed, capacity_ * 2);
        auto bytes = std::make_unique_for_overwrite<char[]>(capacity_);
        if (size_ > 0)
            std::memcpy(bytes.get(), bytes_.get(), size_);
        bytes_ = std::move(bytes);
    }

    std::unique_ptr<char[]> bytes_;
    std::size_t capacity_;
    std::size_t size_ = 0;
};

// Fills CsvRows from the records of a reader: the fields converted to the code page and checked.
class RowBuilder {
public:
    RowBuilder(const CsvMapping& mapping, const CsvImportSettings& settings)
        : mapping_(mapping), codePage_(settings.codePage), utf8_(isUtf8CodePage(settings.codePage)),
          charset_(domainCharsetFor(settings.codePage))
    {
        for (const CsvColumn& column : mapping.columns) {
            int text = kNotPacked;
            switch (column.field) {
            case CsvField::Ignore:
            case CsvField::Group: break;
            case CsvField::Email: text = 0; break;
            case CsvField::Name: text = 1; break;
            case CsvField::Surname: text = 2; break;
            case CsvField::Enabled: text = kEnabled; break;
            case CsvField::ParameterName: text = 3 + column.slot; break;
            case CsvField::Parameter:
                text = 7 + column.slot;
                headerNames_[column.slot] = cutAtCharacter(column.parameterName, kMaxShortStringLength);
                break;
            case CsvField::ParameterValue: text = 7 + column.slot; break;
            }
            packedText_.push_back(text);
        }
        planPacking();
    }

    enum class Plain { Blank, Packed, Other };

    // Packs the record straight from the reader's fields (as packRow() packs a CsvRow) when
    // there is nothing in it to convert or report: every field plain ASCII (`ascii`: the
    // record's bytes are), or the code page UTF-8; none longer than 255 bytes; the enabled word
    // written as the export writes it; no field beyond the columns; a valid address. Returns
    // Other, having written nothing, for every other record: build() decides about those.
    Plain packPlainly(const CsvReader& reader, PackedRows& out, std::string_view& email) const
    {
        if (reader.unterminated() || !(reader.ascii() || utf8_))
            return Plain::Other;
        const std::size_t fields = reader.size();
        const std::size_t columns = packedText_.size();
        bool blank = true;
        for (std::size_t i = 0; i < fields; ++i) {
            const std::size_t size = reader.field(i).size();
            if (size == 0)
                continue;
            if (i >= columns || (size > kMaxShortStringLength && packedText_[i] != kNotPacked))
                return Plain::Other;
            blank = false;
        }
        if (blank)
            return Plain::Blank;
        if (fields < wholeRecordFields_)
            return Plain::Other;
        // A column the record does not have: an empty text where copyBlocks() may read.
        const std::string_view none(fixed_.data() + fixed_.size() - kCopyBlock, 0);
        const auto field = [&](std::size_t column) { return column < fields ? reader.field(column) : none; };
        bool enabled = true;
        for (const std::size_t column : enabledColumns_) {
            const std::string_view word = field(column);
            if (word == kFalse)
                enabled = false;
            else if (word.empty() || word == kTrue)
                enabled = true;
            else
                return Plain::Other;
        }
        email = field(emailColumn_);
        if (email.empty() || !isValidAddress(email, charset_))
            return Plain::Other;
        std::size_t size = packedBytes_;
        for (const PackStep& step : packSteps_)
            size += field(step.column).size();
        char* p = out.extend(size);
        *p++ = static_cast<char>(enabled ? 1 : 0);
        // The fields lie in the text, which has room after them unless the record ends near
        // its end; the fixed bytes have it (fixed_).
        if (reader.fieldsInText() && reader.position() + kCopyBlock <= reader.textSize())
            writeTexts(p, field, copyBlocks);
        else
            writeTexts(p, field, copyShort);
        return Plain::Packed;
    }

    // Sets the plan's shared texts, which packPlainly() and packRow() leave out.
    void shareTexts(CsvImportPlan& plan) const
    {
        plan.sharedTexts = sharedTexts_;
        std::copy(std::begin(sharedText_), std::end(sharedText_), std::begin(plan.sharedText));
    }
    unsigned sharedTexts() const { return sharedTexts_; }

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
        row.codePageRefusal = false;
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
                row.paramNames[mapping_.columns[i].slot] = headerNames_[mapping_.columns[i].slot];
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
                row.codePageRefusal = true;
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

    // Prepares packPlainly: the packed texts in their order, each the text of the (last) column
    // that fills it, or fixed bytes (an empty address). A text that no column fills is the same
    // in every row (a parameter name from the header, or empty): it is shared, not packed.
    void planPacking()
    {
        std::size_t columnOf[kPackedTexts];
        std::fill(std::begin(columnOf), std::end(columnOf), kNoColumn);
        bool twoColumnsForOne = false;
        for (std::size_t i = 0; i < packedText_.size(); ++i) {
            const int text = packedText_[i];
            if (text == kEnabled) {
                twoColumnsForOne = twoColumnsForOne || !enabledColumns_.empty();
                enabledColumns_.push_back(i);
            } else if (text != kNotPacked) {
                twoColumnsForOne = twoColumnsForOne || columnOf[text] != kNoColumn;
                columnOf[text] = i;
            }
        }
        emailColumn_ = columnOf[0];
        // Of two columns for one text, the last that the record has wins, as in build(): only a
        // record with every column is packed here then.
        wholeRecordFields_ = twoColumnsForOne ? packedText_.size() : 0;
        std::size_t fixedFrom = 0;
        for (int text = 0; text < kPackedTexts; ++text) {
            if (columnOf[text] != kNoColumn) {
                packSteps_.push_back({fixedFrom, fixed_.size() - fixedFrom, columnOf[text]});
                fixedFrom = fixed_.size();
                continue;
            }
            const std::string_view name = text >= 3 && text < 7 ? std::string_view(headerNames_[text - 3]) : "";
            if (text > 0) { // the address is always packed: the lookups find it at the row's start
                sharedTexts_ |= 1u << text;
                sharedText_[text] = name;
                continue;
            }
            fixed_ += static_cast<char>(name.size());
            fixed_ += name;
        }
        tailFrom_ = fixedFrom;
        packedBytes_ = 1 + fixed_.size() + packSteps_.size();
        fixed_.append(kCopyBlock, '\0'); // room for copyBlocks()
    }

    // Writes the texts of packPlainly() after the enabled byte, copying their bytes with `copy`.
    template <typename Field, typename Copy>
    void writeTexts(char* p, const Field& field, const Copy& copy) const
    {
        for (const PackStep& step : packSteps_) {
            copy(p, fixed_.data() + step.fixedFrom, step.fixedSize);
            p += step.fixedSize;
            const std::string_view text = field(step.column);
            *p++ = static_cast<char>(text.size());
            copy(p, text.data(), text.size());
            p += text.size();
        }
        copy(p, fixed_.data() + tailFrom_, fixed_.size() - kCopyBlock - tailFrom_);
    }

    static constexpr int kNotPacked = -1;
    static constexpr int kEnabled = -2;
    static constexpr std::size_t kNoColumn = static_cast<std::size_t>(-1);

    const CsvMapping& mapping_;
    const char* codePage_;
    bool utf8_;
    DomainCharset charset_;
    // Per column: which packed text it fills (see packRow()), kEnabled or kNotPacked.
    std::vector<int> packedText_;
    // The parameter names that come from the header, cut as a stored text is.
    std::string headerNames_[4];
    // The packed row of packPlainly: the enabled byte, then per step fixed bytes and the text
    // of the column, then the tail's fixed bytes; packedBytes_ of them are not the columns'.
    // The fixed bytes lie one after another in fixed_, followed by kCopyBlock zero bytes.
    struct PackStep {
        std::size_t fixedFrom, fixedSize;
        std::size_t column;
    };
    std::vector<PackStep> packSteps_;
    std::string fixed_;
    std::size_t tailFrom_ = 0;
    std::size_t packedBytes_ = 0;
    // The texts no column fills (see CsvImportPlan::sharedTexts).
    unsigned sharedTexts_ = 0;
    std::string sharedText_[kPackedTexts];
    std::size_t emailColumn_ = kNoColumn;
    std::vector<std::size_t> enabledColumns_;
    std::size_t wholeRecordFields_ = 0; // records with fewer fields are left to build()
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

void packRow(const CsvRow& row, unsigned sharedTexts, PackedRows& out)
{
    const std::string* const texts[kPackedTexts] = {&row.email,          &row.name,           &row.surname,
                                                    &row.paramNames[0],  &row.paramNames[1],  &row.paramNames[2],
                                                    &row.paramNames[3],  &row.paramValues[0], &row.paramValues[1],
                                                    &row.paramValues[2], &row.paramValues[3]};
    std::size_t size = 1;
    for (int t = 0; t < kPackedTexts; ++t)
        if (!(sharedTexts >> t & 1))
            size += 1 + texts[t]->size();
    char* p = out.extend(size);
    *p++ = static_cast<char>(row.enabled ? 1 : 0);
    for (int t = 0; t < kPackedTexts; ++t) {
        if (sharedTexts >> t & 1)
            continue;
        const std::string& text = *texts[t];
        *p++ = static_cast<char>(text.size()); // at most 255: longer fields make the row invalid
        std::memcpy(p, text.data(), text.size());
        p += text.size();
    }
}

// One packed row read at a cursor, which it moves past the row.
class PackedRow {
public:
    PackedRow(const char*& cursor, const CsvImportPlan& plan)
    {
        enabled = *cursor++ != 0;
        for (int t = 0; t < kPackedTexts; ++t) {
            if (plan.sharedTexts >> t & 1) {
                texts[t] = plan.sharedText[t];
                continue;
            }
            const auto length = static_cast<unsigned char>(*cursor++);
            texts[t] = {cursor, length};
            cursor += length;
        }
    }
    // The texts in the order packRow() writes them.
    std::string_view texts[kPackedTexts];
    bool enabled;

    std::string_view email() const { return texts[0]; }
    std::string_view name() const { return texts[1]; }
    std::string_view surname() const { return texts[2]; }
    std::string_view paramName(int slot) const { return texts[3 + slot]; }
    std::string_view paramValue(int slot) const { return texts[7 + slot]; }
    CsvRow row() const
    {
        CsvRow result;
        result.email = email();
        result.name = name();
        result.surname = surname();
        result.enabled = enabled;
        for (int slot = 0; slot < 4; ++slot) {
            result.paramNames[slot] = paramName(slot);
            result.paramValues[slot] = paramValue(slot);
        }
        return result;
    }
};

// Writes a text into a field whose bytes are all zero: its length and bytes only, which is what
// ShortString255::set() leaves there for a text of at most 255 bytes.
void putText(ShortString255& field, std::string_view text)
{
    field.bytes[0] = static_cast<unsigned char>(text.size());
    if (!text.empty())
        std::memcpy(field.bytes + 1, text.data(), text.size());
}

// Calls f(row, PackedRow) for each packed row of the plan's chunks [from, to), in file order.
template <typename F>
void forEachPackedRow(const CsvImportPlan& plan, std::size_t from, std::size_t to, const F& f)
{
    for (std::size_t c = from; c < to; ++c) {
        const CsvImportPlan::Chunk& chunk = plan.chunks[c];
        const std::size_t end = c + 1 < plan.chunks.size() ? plan.chunks[c + 1].row : plan.targets.size();
        const char* cursor = plan.rows[chunk.part].get() + chunk.offset;
        for (std::size_t row = chunk.row; row < end; ++row)
            f(row, PackedRow(cursor, plan));
    }
}

// A new record from a packed row. `blank`: the record's memory is known to be all zero.
void storeNewRow(const PackedRow& row, const MappedFields& mapped, const ShortString255& group, bool blank,
                 RecipientRecord& record)
{
    if (!blank)
        record = RecipientRecord{};
    record.Enabled = !mapped.enabled || row.enabled ? 1 : 0;
    if (mapped.email)
        putText(record.EMail, row.email());
    if (mapped.name)
        putText(record.Name, row.name());
    if (mapped.surname)
        putText(record.Surname, row.surname());
    for (int slot = 0; slot < 4; ++slot)
        if (mapped.slot[slot]) {
            putText(record.paramName(slot), row.paramName(slot));
            putText(record.paramValue(slot), row.paramValue(slot));
        }
    putText(record.Group, group.view());
}

// Address keys (addressKey) and the record index each stands for. The table is open addressing
// over 8-byte slots (a hash tag and the entry's number), the addresses are texts kept elsewhere
// as a length byte and the bytes (a packed row's or a record's field): a million keys cost a few
// allocations, and a probe touches one small slot most of the time. The hashes are made apart
// (hashOf), by the threads that read the rows, so that the lookups in file order are all that is
// left to one thread.
class AddressIndex {
public:
    static char lowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }
    // The hash of the address's key (ASCII letters in lower case), eight bytes at a time. It
    // hashes the bytes with their 0x20 bit set, which turns 'A'..'Z' into 'a'..'z' in one step:
    // equal keys get equal hashes, and the few other bytes it puts together ("@" and "`", for
    // one) are told apart by the comparison of the keys.
    static std::uint64_t hashOf(std::string_view address)
    {
        constexpr std::uint64_t multiplier = 0x9E3779B97F4A7C15ULL;
        const auto lower = [](std::uint64_t word) { return word | 0x2020202020202020ULL; };
        std::uint64_t hash = address.size() * multiplier;
        std::size_t i = 0;
        for (; i + 8 <= address.size(); i += 8) {
            std::uint64_t word;
            std::memcpy(&word, address.data() + i, 8);
            hash = (std::rotl(hash, 29) ^ lower(word)) * multiplier;
        }
        if (i < address.size()) {
            // The last bytes as the low bytes of a word: shifted down from the address's last
            // eight where it has them (one load, where a copy of a few bytes would wait on
            // its stores).
            const std::size_t rest = address.size() - i;
            std::uint64_t word = 0;
            if (std::endian::native == std::endian::little && address.size() >= 8) {
                std::memcpy(&word, address.data() + address.size() - 8, 8);
                word >>= 8 * (8 - rest);
            } else {
                std::memcpy(&word, address.data() + i, rest);
            }
            hash = (std::rotl(hash, 29) ^ lower(word)) * multiplier;
        }
        // The last steps of MurmurHash3's 64-bit finaliser: every bit of the key reaches the
        // high bits (the tag, the table) and the low ones (the slot).
        hash ^= hash >> 33;
        hash *= 0xFF51AFD7ED558CCDULL;
        hash ^= hash >> 33;
        return hash;
    }
    // Starts fetching the slot where a lookup of the hash begins (a table of a million keys is
    // far larger than the processor's cache). Inlined by force, as the compiler drops calls of
    // a function of prefetches alone.
    [[gnu::always_inline]] void prefetch(std::uint64_t hash) const
    {
        if (!slots_.empty())
            __builtin_prefetch(&slots_[hash & (slots_.size() - 1)]);
    }

    // The index stored for the key of the address (a length byte and the bytes, hashed by
    // hashOf), or (absent) `index` stored for it now. The address's bytes must stay where they
    // are while the index is in use: the index keeps a pointer to them, not a copy.
    std::pair<std::int64_t, bool> tryEmplace(const unsigned char* address, std::uint64_t hash, std::int64_t index)
    {
        if ((entries_.size() + 1) * 2 > slots_.size())
            grow();
        const auto tag = static_cast<std::uint32_t>(hash >> 32);
        for (std::size_t i = hash & (slots_.size() - 1);; i = (i + 1) & (slots_.size() - 1)) {
            Slot& slot = slots_[i];
            if (slot.entry == 0) {
                slot = {tag, static_cast<std::uint32_t>(entries_.size() + 1)};
                entries_.push_back({address, index});
                return {index, true};
            }
            const Entry& entry = entries_[slot.entry - 1];
            if (slot.tag == tag && sameKey(entry.address, address))
                return {entry.index, false};
        }
    }

    // Room for `count` keys, so the table does not grow.
    void reserve(std::size_t count)
    {
        if (count > entries_.capacity()) {
            std::vector<Entry> entries;
            entries.reserve(count);
            adviseLargePages(entries.data(), count * sizeof(Entry));
            entries.assign(entries_.begin(), entries_.end());
            entries_.swap(entries);
        }
        std::size_t slots = 1024;
        while (slots < count * 2)
            slots *= 2;
        if (slots > slots_.size()) {
            // A big table is probed at random: large pages spare most of the address lookups.
            std::vector<Slot> table;
            table.reserve(slots);
            adviseLargePages(table.data(), slots * sizeof(Slot));
            table.resize(slots);
            slots_.swap(table);
            for (std::size_t e = 0; e < entries_.size(); ++e)
                place(e);
        }
    }

private:
    struct Slot {
        std::uint32_t tag = 0;
        std::uint32_t entry = 0; // 1-based number of the entry; 0: free
    };
    struct Entry {
        const unsigned char* address; // a length byte and the bytes
        std::int64_t index;
    };

    static std::string_view textOf(const unsigned char* address)
    {
        return {reinterpret_cast<const char*>(address + 1), address[0]};
    }

    // Whether two addresses have the same key (ASCII letters compared in lower case).
    static bool sameKey(const unsigned char* a, const unsigned char* b)
    {
        const std::string_view x = textOf(a), y = textOf(b);
        return std::equal(x.begin(), x.end(), y.begin(), y.end(),
                          [](char p, char q) { return lowerAscii(p) == lowerAscii(q); });
    }

    void grow()
    {
        slots_.assign(std::max<std::size_t>(slots_.size() * 2, 1024), Slot{});
        for (std::size_t e = 0; e < entries_.size(); ++e)
            place(e);
    }

    void place(std::size_t e)
    {
        const std::uint64_t hash = hashOf(textOf(entries_[e].address));
        std::size_t i = hash & (slots_.size() - 1);
        while (slots_[i].entry != 0)
            i = (i + 1) & (slots_.size() - 1);
        slots_[i] = {static_cast<std::uint32_t>(hash >> 32), static_cast<std::uint32_t>(e + 1)};
    }

    std::vector<Slot> slots_;
    std::vector<Entry> entries_;
};

// Bytes of a CSV row, about, for sizing the table of the rows' addresses before they are read.
constexpr std::size_t kRowBytesGuess = 48;

// A packed row's address: its hash (AddressIndex::hashOf) and where the row starts.
struct RowKey {
    std::uint64_t hash;
    std::size_t offset;
    std::size_t row; // in its part
};

// Which of the two tables of addresses holds a hash's key (equal keys meet in one table).
std::size_t tableOf(std::uint64_t hash)
{
    return hash >> 63;
}

// The rows of a stretch of the text, read and checked: what one thread of the plan gathers.
struct PlanPart {
    PackedRows rows;
    std::size_t count = 0;
    std::vector<CsvImportPlan::Chunk> chunks;
    std::vector<CsvProblem> problems;
    // Of each row's address, when duplicates are looked for, in file order, apart by tableOf().
    std::vector<RowKey> keys[2];

    // Room for the packed rows of a text of this size (a row packs into about its own size).
    explicit PlanPart(std::size_t textBytes) : rows(textBytes)
    {
        if (textBytes > 0) {
            for (std::vector<RowKey>& table : keys) {
                table.reserve(textBytes / kRowBytesGuess / 2 + textBytes / kRowBytesGuess / 16);
                adviseLargePages(table.data(), table.capacity() * sizeof(RowKey));
            }
        }
    }
};

// Reads the reader's records into the part until the reader has passed `stop` (a position in
// its text) or the text ends. `report` is told the bytes read every few thousand records; when
// it returns false the reading stops and so does this, returning false.
template <typename Report>
bool readRows(CsvReader& reader, RowBuilder& builder, PlanPart& part, std::size_t stop, bool hash, const Report& report)
{
    CsvRow row;
    for (std::size_t records = 0; reader.position() < stop && reader.next(); ++records) {
        if (records % kProgressEvery == 0 && !report(reader.position()))
            return false;
        const std::size_t offset = part.rows.size();
        std::string_view email;
        switch (builder.packPlainly(reader, part.rows, email)) {
        case RowBuilder::Plain::Blank: continue;
        case RowBuilder::Plain::Packed: break;
        case RowBuilder::Plain::Other:
            if (!builder.build(reader, row))
                continue;
            if (!row.problem.empty()) {
                part.problems.push_back({row.line, row.problem});
                continue;
            }
            packRow(row, builder.sharedTexts(), part.rows);
            email = row.email;
            break;
        }
        if (part.count % kChunkRows == 0)
            part.chunks.push_back({0, offset, part.count, 0});
        if (hash) {
            const std::uint64_t key = AddressIndex::hashOf(email);
            part.keys[tableOf(key)].push_back({key, offset, part.count});
        }
        ++part.count;
    }
    return true;
}

// Decides, in file order, which packed rows are new recipients, updates of a recipient of the
// group with the same address, or duplicates skipped, and counts them. The addresses are
// shared between two tables by a bit of their hash (equal addresses meet in one table; the
// threads that read the rows keep their keys apart so), each looked up in file order, a large
// file's by a thread each. A row that finds an earlier row of
// the file there learns that row's record index afterwards, when the rows are counted in order.
void decideDuplicates(CsvImportPlan& plan, const PlanPart& first, const PlanPart& second, const Project& project,
                      const CsvImportSettings& settings)
{
    const std::size_t rows = plan.targets.size();
    const auto existing = static_cast<std::int64_t>(project.recipients.size());
    const DuplicateRule rule = settings.duplicates;
    // An earlier row of the file as it stands in a table until its record index is known.
    const auto pending = [](std::size_t row) { return -3 - static_cast<std::int64_t>(row); };
    if (rule != DuplicateRule::Keep) {
        // A table: the group's recipients whose keys it holds, then the rows' keys, the first
        // part's then the second's, in file order.
        const auto lookUp = [&](std::size_t table) {
            constexpr std::size_t kAhead = 32; // rows whose slots are fetched ahead of their lookup
            AddressIndex index;
            const std::size_t others = project.recipients.size();
            index.reserve(first.keys[table].size() + second.keys[table].size() + others / 2 + others / 16);
            for (std::size_t i = 0; i < others; ++i)
                if (project.recipients[i].Group == settings.group) {
                    const ShortString255& address = project.recipients[i].EMail;
                    const std::uint64_t hash = AddressIndex::hashOf(address.view());
                    if (tableOf(hash) == table)
                        index.tryEmplace(address.bytes, hash, static_cast<std::int64_t>(i));
                }
            for (std::size_t part = 0; part < 2; ++part) {
                const std::vector<RowKey>& keys = (part == 0 ? first : second).keys[table];
                const char* packed = plan.rows[part].get();
                const std::size_t rowBase = part == 0 ? 0 : first.count;
                for (std::size_t i = 0; i < keys.size(); ++i) {
                    if (i + kAhead < keys.size())
                        index.prefetch(keys[i + kAhead].hash);
                    const RowKey& key = keys[i];
                    const std::size_t row = rowBase + key.row;
                    const auto* address = reinterpret_cast<const unsigned char*>(packed + key.offset + 1);
                    const auto [found, added] = index.tryEmplace(address, key.hash, pending(row));
                    if (!added)
                        plan.targets[row] = rule == DuplicateRule::Update ? found : CsvImportPlan::kSkipRow;
                }
            }
        };
        if (rows >= kParallelDecideRows) {
            std::jthread other(lookUp, 1);
            lookUp(0);
        } else {
            lookUp(0);
            lookUp(1);
        }
    }

    CsvImportReport& report = plan.report;
    std::vector<std::int64_t> recordOf; // per row appended, its record index (for updates)
    if (rule == DuplicateRule::Update)
        recordOf.resize(rows);
    std::size_t chunk = 0;
    for (std::size_t row = 0; row < rows; ++row) {
        if (chunk < plan.chunks.size() && plan.chunks[chunk].row == row)
            plan.chunks[chunk++].appends = report.imported;
        std::int64_t& target = plan.targets[row];
        if (target == CsvImportPlan::kAppendRow) {
            if (!recordOf.empty())
                recordOf[row] = existing + static_cast<std::int64_t>(report.imported);
            ++report.imported;
        } else if (target == CsvImportPlan::kSkipRow) {
            ++report.skipped;
        } else {
            if (target < 0)
                target = recordOf[static_cast<std::size_t>(-3 - target)];
            ++report.updated;
        }
    }
}

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

namespace {

// Regular files from which the import maps the file rather than reading it into memory: below
// it the mapping's own cost is more than the copy's.
constexpr std::size_t kMappedCsvBytes = std::size_t(1) << 20;

// Throws when the text lies in a mapped file that was cut short while it was read.
void requireWholeFile(const CsvDocument& document)
{
    if (document.file && document.file->truncated())
        throw CsvImportError(std::string(texts::kCsvFileCutShort));
}

// Reads the first records of the document, whose text is set.
void readFirstRecords(CsvDocument& document, const CsvFormat& format, const char* codePage)
{
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
    if (!document.hasHeader)
        document.firstValues = document.header;
    else if (reader.next())
        for (std::size_t i = 0; i < reader.size(); ++i)
            document.firstValues.emplace_back(reader.field(i));
    requireWholeFile(document);
}

} // namespace

CsvDocument readCsvDocument(std::string bytes, const CsvFormat& format, const char* codePage)
{
    CsvText decoded = decodeCsvBytes(std::move(bytes), format.encoding, codePage);
    CsvDocument document;
    document.decoded = std::make_shared<const std::string>(std::move(decoded.utf8));
    document.text = *document.decoded;
    document.encoding = std::move(decoded.encoding);
    readFirstRecords(document, format, codePage);
    return document;
}

CsvDocument readCsvFile(const std::string& path, const CsvFormat& format, const char* codePage)
{
    std::shared_ptr<const MappedFile> file = MappedFile::map(path, kMappedCsvBytes);
    if (!file)
        return readCsvDocument(readWholeFile(path), format, codePage);
    CsvDocument document;
    CsvText decoded;
    if (const std::optional<std::size_t> start =
            decodeCsvBytesInPlace(file->bytes(), format.encoding, codePage, decoded)) {
        document.text = file->bytes().substr(*start);
        document.file = std::move(file);
    } else {
        document.decoded = std::make_shared<const std::string>(std::move(decoded.utf8));
        document.text = *document.decoded;
        if (file->truncated())
            throw CsvImportError(std::string(texts::kCsvFileCutShort));
    }
    document.encoding = std::move(decoded.encoding);
    readFirstRecords(document, format, codePage);
    return document;
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

    // The rows are read and checked first, then looked up among the addresses in one go. A
    // large text is read in two halves at once, the second from the first line break after the
    // middle. That is a record's start unless a quoted field spans the line break: the first
    // half's reader tells, as it must end a record exactly there; if it does not, the second
    // half's work is dropped and the first reader goes on to the end.
    const std::string_view text = document.text;
    const std::size_t middle = text.size() >= kParallelPlanBytes ? text.find('\n', text.size() / 2) : text.npos;
    const std::size_t split = middle == text.npos || middle + 1 == text.size() ? text.size() : middle + 1;
    PlanPart first(text.size()), second(text.size() - split);
    std::atomic<std::size_t> secondDone = 0;
    std::atomic<bool> stop = false;
    std::exception_ptr secondFailure;
    CsvReader reader = dataReader(document);
    CsvReader secondReader(text.substr(split), document.separator);
    {
        std::jthread secondThread;
        if (split < text.size())
            secondThread = std::jthread([&] {
                try {
                    RowBuilder builder(mapping, settings);
                    readRows(secondReader, builder, second, text.size(), deduplicate, [&](std::size_t done) {
                        secondDone.store(done, std::memory_order_relaxed);
                        return !stop.load(std::memory_order_relaxed);
                    });
                } catch (...) {
                    secondFailure = std::current_exception();
                }
            });
        RowBuilder builder(mapping, settings);
        builder.shareTexts(plan);
        const auto report = [&](std::size_t done) {
            if (progress && !progress(done + secondDone.load(std::memory_order_relaxed), text.size())) {
                stop = true;
                return false;
            }
            return true;
        };
        if (!readRows(reader, builder, first, split, deduplicate, report))
            throw CsvImportCancelled();
        if (split < text.size() && reader.position() != split) {
            stop = true;
            if (!readRows(reader, builder, first, text.size(), deduplicate, report))
                throw CsvImportCancelled();
        }
    }
    if (stop)
        second = PlanPart(0);
    else if (secondFailure)
        std::rethrow_exception(secondFailure);
    // The second part's rows stay where they are; its rows and lines count on from the first's.
    plan.chunks = std::move(first.chunks);
    for (const CsvImportPlan::Chunk& chunk : second.chunks)
        plan.chunks.push_back({1, chunk.offset, chunk.row + first.count, 0});
    report.problems = std::move(first.problems);
    for (const CsvProblem& problem : second.problems)
        report.problems.push_back({problem.line + reader.nextLine() - 1, problem.text});
    report.invalid = report.problems.size();
    plan.rows[0] = first.rows.take();
    plan.rows[1] = second.rows.take();
    plan.targets.reserve(first.count + second.count);
    adviseLargePages(plan.targets.data(), plan.targets.capacity() * sizeof(std::int64_t));
    plan.targets.assign(first.count + second.count, CsvImportPlan::kAppendRow);
    requireWholeFile(document);
    decideDuplicates(plan, first, second, project, settings);
    if (report.imported + report.updated + report.skipped + report.invalid == 0)
        throw CsvImportError(std::string(texts::kCsvNoRecipients));
    if (progress && !progress(text.size(), text.size()))
        throw CsvImportCancelled();
    return plan;
}

void applyCsvImport(Project& project, const CsvDocument& document, const CsvMapping& mapping,
                    const CsvImportSettings& settings, const CsvImportPlan& plan)
{
    (void)document;
    if (plan.report.imported == 0 && plan.report.updated == 0)
        return;
    // A new record takes every mapped field and keeps the defaults (empty, enabled) of the rest;
    // an updated one keeps its unmapped fields.
    const MappedFields mapped(mapping);
    const ShortString255 group(settings.group);
    bool blank = false;
    RecipientRecord* added = project.recipients.appendUnfilled(plan.report.imported, blank);

    // The new records, their chunks of rows shared between threads (most of the time goes to
    // the system's filling of fresh pages, which runs in parallel).
    const auto storeChunks = [&](std::size_t from, std::size_t to) {
        std::size_t next = plan.chunks[from].appends;
        forEachPackedRow(plan, from, to, [&](std::size_t row, const PackedRow& packed) {
            if (plan.targets[row] == CsvImportPlan::kAppendRow)
                storeNewRow(packed, mapped, group, blank, added[next++]);
        });
    };
    if (plan.report.imported >= kParallelStoreRows && plan.chunks.size() > 1) {
        const std::size_t half = plan.chunks.size() / 2;
        std::jthread second(storeChunks, half, plan.chunks.size());
        storeChunks(0, half);
    } else if (plan.report.imported > 0) {
        storeChunks(0, plan.chunks.size());
    }

    // Then the updates, in file order: a later row of the same address wins.
    if (plan.report.updated > 0)
        forEachPackedRow(plan, 0, plan.chunks.size(), [&](std::size_t row, const PackedRow& packed) {
            if (const std::int64_t target = plan.targets[row]; target >= 0)
                storeRow(packed.row(), mapped, project.recipients[static_cast<std::size_t>(target)]);
        });
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
