#include "CsvExport.h"

#include "CsvImport.h"
#include "project/CodePage.h"
#include "project/WholeFile.h"

#include <thread>

namespace quillet {

namespace {

// Records from which the export shares its work between two threads: below it a thread costs
// more than it saves. Reading a recipient means reading from a dozen places 256 bytes apart in
// a 3 KB record, so a large list is bound by memory latency, which two cores hide better.
constexpr std::size_t kParallelExportRecords = 65536;

// Records ahead of the one being written whose fields are fetched from memory meanwhile: a
// record's dozen fields lie 256 bytes apart, each a separate cache line to wait for, so fetching
// several records' lines at once hides most of that wait.
constexpr std::size_t kFetchAhead = 8;

// Starts fetching the cache lines that hold the start of each field from `first` on (the
// parameter fields alone with `parametersOnly`).
void prefetchFields(const RecipientRecord& record, bool parametersOnly)
{
    if (!parametersOnly) {
        __builtin_prefetch(&record.EMail);
        __builtin_prefetch(&record.Name);
        __builtin_prefetch(&record.Surname);
        __builtin_prefetch(&record.Group);
    }
    for (int slot = 0; slot < 4; ++slot) {
        __builtin_prefetch(&record.paramName(slot));
        __builtin_prefetch(&record.paramValue(slot));
    }
}

// How a parameter slot is written.
enum class SlotForm { Absent, Named, Pairs };

// What decides the parameter slots' forms, gathered over a run of records.
struct SlotForms {
    struct Slot {
        const ShortString255* name = nullptr; // the run's first record's name
        bool sameName = true;                 // every record has that name
        bool firstEmpty = false;              // the first record has neither name nor value
        bool anyFilled = false;               // some record has a name or a value
    };
    Slot slots[4];
    bool any = false;

    void add(const RecipientRecord& record)
    {
        for (int slot = 0; slot < 4; ++slot) {
            Slot& s = slots[slot];
            const ShortString255& name = record.paramName(slot);
            const bool empty = name.length() == 0 && record.paramValue(slot).length() == 0;
            if (!any) {
                s.name = &name;
                s.firstEmpty = empty;
            } else if (s.sameName && name.view() != s.name->view()) {
                s.sameName = false;
            }
            s.anyFilled = s.anyFilled || !empty;
        }
        any = true;
    }

    // Gathers on through the records of the run that follows this one.
    void append(const SlotForms& later)
    {
        if (!any) {
            *this = later;
            return;
        }
        if (!later.any)
            return;
        for (int slot = 0; slot < 4; ++slot) {
            Slot& s = slots[slot];
            s.sameName = s.sameName && later.slots[slot].sameName && later.slots[slot].name->view() == s.name->view();
            s.anyFilled = s.anyFilled || later.slots[slot].anyFilled;
        }
    }

    // A slot empty in every record is left out; one with a single name throughout is Named,
    // unless that name appears only in later records (the first record's slot is empty).
    SlotForm form(int slot) const
    {
        const Slot& s = slots[slot];
        if (!any || (s.firstEmpty && !s.anyFilled))
            return SlotForm::Absent;
        return s.sameName && !s.firstEmpty ? SlotForm::Named : SlotForm::Pairs;
    }
};

// Bytes that the fast path of a field cannot copy as they are: beyond ASCII (converted to
// UTF-8) and those that make quotes necessary (separator, quote, line breaks).
struct SpecialBytes {
    bool special[256] = {};
    constexpr SpecialBytes()
    {
        for (int c = 0x80; c < 0x100; ++c)
            special[c] = true;
        special[static_cast<unsigned char>(',')] = special[static_cast<unsigned char>('"')] = true;
        special[static_cast<unsigned char>('\r')] = special[static_cast<unsigned char>('\n')] = true;
    }
};
constexpr SpecialBytes kSpecialBytes;

// A field needs quotes when it holds the separator, a quote or a line break, or blanks at an
// end that the reader would drop.
bool needsQuotes(std::string_view field)
{
    if (field.empty())
        return false;
    if (field.front() == ' ' || field.front() == '\t' || field.back() == ' ' || field.back() == '\t')
        return true;
    return field.find_first_of(",\"\r\n") != std::string_view::npos;
}

void appendFieldSlowly(std::string& out, std::string_view codePageText)
{
    std::string converted;
    std::string_view field = codePageText;
    if (!isPlainAscii(field)) {
        converted = codePageToUtf8(field);
        field = converted;
    }
    if (!needsQuotes(field)) {
        out.append(field);
        return;
    }
    out += '"';
    for (const char c : field) {
        if (c == '"')
            out += '"';
        out += c;
    }
    out += '"';
}

void appendField(std::string& out, const ShortString255& text)
{
    const std::string_view field = text.view();
    bool plain =
        field.empty() || (field.front() != ' ' && field.front() != '\t' && field.back() != ' ' && field.back() != '\t');
    for (std::size_t i = 0; i < field.size() && plain; ++i)
        plain = !kSpecialBytes.special[static_cast<unsigned char>(field[i])];
    if (plain)
        out.append(field);
    else
        appendFieldSlowly(out, field);
}

SlotForms formsOf(const Project& project, const std::size_t* first, const std::size_t* last)
{
    SlotForms forms;
    for (const std::size_t* index = first; index != last; ++index) {
        if (last - index > static_cast<std::ptrdiff_t>(kFetchAhead))
            prefetchFields(project.recipients[index[kFetchAhead]], true);
        forms.add(project.recipients[*index]);
    }
    return forms;
}

void appendRows(std::string& out, const Project& project, const SlotForm (&forms)[4], const std::size_t* first,
                const std::size_t* last)
{
    for (const std::size_t* index = first; index != last; ++index) {
        if (last - index > static_cast<std::ptrdiff_t>(kFetchAhead))
            prefetchFields(project.recipients[index[kFetchAhead]], false);
        const RecipientRecord& record = project.recipients[*index];
        appendField(out, record.EMail);
        out += ',';
        appendField(out, record.Name);
        out += ',';
        appendField(out, record.Surname);
        out += record.enabled() ? ",True," : ",False,";
        appendField(out, record.Group);
        for (int slot = 0; slot < 4; ++slot) {
            if (forms[slot] == SlotForm::Absent)
                continue;
            out += ',';
            if (forms[slot] == SlotForm::Pairs) {
                appendField(out, record.paramName(slot));
                out += ',';
            }
            appendField(out, record.paramValue(slot));
        }
        out += "\r\n";
    }
}

} // namespace

std::string recipientsCsv(const Project& project, const CsvExportOptions& options)
{
    std::vector<std::size_t> records;
    for (std::size_t i = 0; i < project.recipients.size(); ++i)
        if (!options.group || project.recipients[i].Group == *options.group)
            records.push_back(i);
    return recipientsCsv(project, records, options.byteOrderMark);
}

std::string recipientsCsv(const Project& project, const std::vector<std::size_t>& records, bool byteOrderMark)
{
    // Large lists go in two halves, one per thread, joined in order: the same bytes.
    const bool parallel = records.size() >= kParallelExportRecords;
    const std::size_t* first = records.data();
    const std::size_t* middle = first + (parallel ? records.size() / 2 : records.size());
    const std::size_t* last = first + records.size();

    SlotForms found;
    {
        SlotForms later;
        std::jthread second;
        if (parallel)
            second = std::jthread([&] { later = formsOf(project, middle, last); });
        found = formsOf(project, first, middle);
        if (second.joinable())
            second.join();
        found.append(later);
    }
    SlotForm forms[4];
    const ShortString255* names[4];
    for (int slot = 0; slot < 4; ++slot) {
        forms[slot] = found.form(slot);
        names[slot] = found.slots[slot].name;
    }
    for (int slot = 0; slot < 4; ++slot) {
        if (forms[slot] != SlotForm::Named)
            continue;
        bool clash = names[slot]->length() == 0 || !isCsvParameterHeader(names[slot]->view());
        for (int other = 0; other < slot; ++other)
            clash = clash || (forms[other] == SlotForm::Named && names[other]->view() == names[slot]->view());
        if (clash)
            forms[slot] = SlotForm::Pairs;
    }

    std::string out;
    out.reserve(64 + records.size() * 64);
    if (byteOrderMark)
        out += "\xEF\xBB\xBF";
    out += "email,name,surname,enabled,group";
    for (int slot = 0; slot < 4; ++slot) {
        const std::string number = std::to_string(slot + 1);
        if (forms[slot] == SlotForm::Named) {
            out += ',';
            appendField(out, *names[slot]);
        } else if (forms[slot] == SlotForm::Pairs) {
            out += ",param" + number + " name,param" + number + " value";
        }
    }
    out += "\r\n";
    std::string secondHalf;
    {
        std::jthread second;
        if (parallel)
            second = std::jthread([&] {
                secondHalf.reserve(static_cast<std::size_t>(last - middle) * 64);
                appendRows(secondHalf, project, forms, middle, last);
            });
        appendRows(out, project, forms, first, middle);
    }
    out += secondHalf;
    return out;
}

void writeRecipientsCsv(const Project& project, const CsvExportOptions& options, const std::string& path)
{
    replaceWholeFile(path, recipientsCsv(project, options));
}

} // namespace quillet
