#include "CsvExport.h"

#include "CsvImport.h"
#include "project/CodePage.h"
#include "project/WholeFile.h"

#include <algorithm>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <bit>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <thread>

namespace quillet {

namespace {

// Records from which the export shares its work between two threads: below it a thread costs
// more than it saves. Reading a recipient means reading from a dozen places 256 bytes apart in
// a 3 KB record, so a large list is bound by memory latency, which two cores hide better.
constexpr std::size_t kParallelExportRecords = 65536;
// Records per block of an export written to a file as it is made (streamRows): a block's rows
// (about 150 KB) stay in the processor's cache until they are written.
constexpr std::size_t kBlockRecords = 2048;
// Blocks made and not yet written at the most: how far one thread may run ahead of the other.
constexpr std::size_t kBlockWindow = 8;

// Records ahead of the one being written whose fields are fetched from memory meanwhile: a
// record's dozen fields lie 256 bytes apart, each a separate cache line to wait for, so fetching
// several records' lines at once hides most of that wait.
constexpr std::size_t kFetchAhead = 8;

// The bytes a plain field is copied in at least: copying a fixed block is quicker than a copy
// of the exact length, and the row buffer always has room for it (see kPlainRowBytes).
constexpr std::size_t kFieldCopy = 32;
static_assert(kFieldCopy + 1 <= sizeof(ShortString255));

// Starts fetching the cache lines that hold the start of each of the record's fields: the
// line of its length byte and the one that follows when the field's first bytes cross into it.
// Inlined by force: the compiler deems a function of prefetches alone to have no effect and
// drops its calls.
[[gnu::always_inline]] inline void prefetchField(const ShortString255& field)
{
    __builtin_prefetch(field.bytes);
    __builtin_prefetch(field.bytes + kFieldCopy);
}

[[gnu::always_inline]] inline void prefetchFields(const RecipientRecord& record)
{
    prefetchField(record.EMail);
    prefetchField(record.Name);
    prefetchField(record.Surname);
    prefetchField(record.Group);
    for (int slot = 0; slot < 4; ++slot) {
        prefetchField(record.paramName(slot));
        prefetchField(record.paramValue(slot));
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

// The growing memory a thread writes its rows into, through a plain pointer: room for a row's
// plain fields is made once per row, so that a field is a copy and not a checked append. Large
// blocks grow by moving pages (realloc), not by copying them.
class RowBuffer {
public:
    RowBuffer() = default;
    RowBuffer(const RowBuffer&) = delete;
    RowBuffer& operator=(const RowBuffer&) = delete;
    ~RowBuffer() { std::free(data_); }

    // The place to write at, with room for `bytes` more from `at` (a place in this buffer, or
    // null for its end); the buffer may move.
    char* room(char* at, std::size_t bytes)
    {
        const std::size_t used = at ? static_cast<std::size_t>(at - data_) : size_;
        if (capacity_ - used < bytes) {
            const std::size_t capacity = std::max(used + bytes, capacity_ + capacity_ / 2);
            char* grown = static_cast<char*>(std::realloc(data_, capacity));
            if (!grown)
                throw std::bad_alloc();
            data_ = grown;
            capacity_ = capacity;
        }
        return data_ + used;
    }
    void setEnd(const char* end) { size_ = static_cast<std::size_t>(end - data_); }
    void clear() { size_ = 0; }
    std::string_view view() const { return {data_, size_}; }

private:
    char* data_ = nullptr;
    std::size_t size_ = 0;
    std::size_t capacity_ = 0;
};

// Room for a row whose fields are all plain (a dozen fields of at most 255 bytes, separators
// and the enabled word); a field that needs converting or quoting makes its own room.
constexpr std::size_t kPlainRowBytes = 13 * 256 + 64;
// The bytes made room for per record at first: about what a row with a few parameters takes.
constexpr std::size_t kRowBytesGuess = 128;

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

// Whether the text's bytes can be copied as they are: ASCII without separator, quote or line
// break, and no blank at either end. Eight bytes are judged at a time; the words are read from
// the field's start (its length byte) so that none reaches past the field.
bool isPlainField(const ShortString255& text)
{
    const std::size_t n = text.length();
    const unsigned char* bytes = text.bytes;
    if (n == 0)
        return true;
    if (bytes[1] == ' ' || bytes[1] == '\t' || bytes[n] == ' ' || bytes[n] == '\t')
        return false;
    if constexpr (std::endian::native == std::endian::little) {
        constexpr std::uint64_t ones = 0x0101010101010101ULL, highs = 0x8080808080808080ULL;
        const auto zeroBytes = [](std::uint64_t v) { return (v - ones) & ~v & highs; };
        for (std::size_t at = 0; at <= n; at += 8) {
            std::uint64_t word;
            std::memcpy(&word, bytes + at, 8);
            const std::uint64_t stops = (word & highs) | zeroBytes(word ^ (ones * ',')) |
                                        zeroBytes(word ^ (ones * '"')) | zeroBytes(word ^ (ones * '\r')) |
                                        zeroBytes(word ^ (ones * '\n'));
            // Only the text's bytes count (not the length byte, nor those after the text). A
            // byte flagged wrongly above a flagged one only sends the field the slow way.
            std::uint64_t keep = at == 0 ? ~std::uint64_t(0xFF) : ~std::uint64_t(0);
            if (n - at < 7)
                keep &= ~std::uint64_t(0) >> (8 * (7 - (n - at)));
            if ((stops & keep) != 0)
                return false;
        }
        return true;
    }
    return std::none_of(bytes + 1, bytes + 1 + n,
                        [](unsigned char c) { return c >= 0x80 || c == ',' || c == '"' || c == '\r' || c == '\n'; });
}

// Writes a field at `at` in `out` and returns the end of what it wrote.
char* putField(RowBuffer& out, char* at, const ShortString255& text)
{
    const std::size_t n = text.length();
    if (isPlainField(text)) {
        if (n <= kFieldCopy)
            std::memcpy(at, text.bytes + 1, kFieldCopy);
        else
            std::memcpy(at, text.bytes + 1, n);
        return at + n;
    }
    thread_local std::string field;
    field.clear();
    appendFieldSlowly(field, text.view());
    at = out.room(at, field.size() + kPlainRowBytes);
    std::memcpy(at, field.data(), field.size());
    return at + field.size();
}

void appendField(std::string& out, const ShortString255& text)
{
    if (isPlainField(text))
        out.append(text.view());
    else
        appendFieldSlowly(out, text.view());
}

// The records to write: every record, those of one group, or those at given indices, in that
// order. Positions count the records (or indices) looked at; the threads share them out.
struct Selection {
    const RecipientList& records;
    const std::size_t* indices = nullptr;  // null: the records in their order
    const ShortString255* group = nullptr; // with indices null: only the records of this group
    std::size_t positions = 0;

    const RecipientRecord& at(std::size_t position) const { return records[indices ? indices[position] : position]; }
    // Whether the record at the position is written.
    bool picks(const RecipientRecord& record) const
    {
        return !group || (record.Group.length() == group->length() &&
                          std::memcmp(record.Group.bytes + 1, group->bytes + 1, group->length()) == 0);
    }
};

SlotForms formsOf(const Selection& selection, std::size_t first, std::size_t last)
{
    SlotForms forms;
    for (std::size_t position = first; position != last; ++position) {
        if (last - position > kFetchAhead)
            prefetchFields(selection.at(position + kFetchAhead));
        const RecipientRecord& record = selection.at(position);
        if (selection.picks(record))
            forms.add(record);
    }
    return forms;
}

// The parameter columns, and what a record's slots must hold for the columns to be right: a
// slot left out must be empty, a slot written as one named column must have that name.
struct Columns {
    SlotForm forms[4];
    const ShortString255* names[4];
};

bool fitsColumns(const RecipientRecord& record, const Columns& columns)
{
    bool fits = true;
    for (int slot = 0; slot < 4; ++slot) {
        const ShortString255& name = record.paramName(slot);
        if (columns.forms[slot] == SlotForm::Absent)
            fits = fits && name.length() == 0 && record.paramValue(slot).length() == 0;
        else if (columns.forms[slot] == SlotForm::Named)
            fits = fits && name.length() == columns.names[slot]->length() &&
                   std::memcmp(name.bytes + 1, columns.names[slot]->bytes + 1, name.length()) == 0;
    }
    return fits;
}

// Writes the rows of the positions [first, last) to `out`; false, with the rows left unfinished,
// as soon as a record does not fit the columns.
bool writeRows(RowBuffer& out, const Selection& selection, const Columns& columns, std::size_t first, std::size_t last)
{
    char* at = out.room(nullptr, (last - first) * kRowBytesGuess);
    for (std::size_t position = first; position != last; ++position) {
        if (last - position > kFetchAhead)
            prefetchFields(selection.at(position + kFetchAhead));
        const RecipientRecord& record = selection.at(position);
        if (!selection.picks(record))
            continue;
        if (!fitsColumns(record, columns))
            return false;
        at = out.room(at, kPlainRowBytes);
        at = putField(out, at, record.EMail);
        *at++ = ',';
        at = putField(out, at, record.Name);
        *at++ = ',';
        at = putField(out, at, record.Surname);
        if (record.enabled()) {
            std::memcpy(at, ",True,", 6);
            at += 6;
        } else {
            std::memcpy(at, ",False,", 7);
            at += 7;
        }
        at = putField(out, at, record.Group);
        for (int slot = 0; slot < 4; ++slot) {
            if (columns.forms[slot] == SlotForm::Absent)
                continue;
            *at++ = ',';
            if (columns.forms[slot] == SlotForm::Pairs) {
                at = putField(out, at, record.paramName(slot));
                *at++ = ',';
            }
            at = putField(out, at, record.paramValue(slot));
        }
        *at++ = '\r';
        *at++ = '\n';
        out.setEnd(at);
    }
    return true;
}

// Runs the work on the two halves of the positions, the second on a thread of its own when
// the list is large.
template <typename Work>
void inHalves(std::size_t positions, Work work)
{
    const bool parallel = positions >= kParallelExportRecords;
    const std::size_t middle = parallel ? positions / 2 : positions;
    std::jthread second;
    if (parallel)
        second = std::jthread([&] { work(1, middle, positions); });
    work(0, 0, middle);
}

// The columns made from what the records hold; `guessed`: from the first record written alone,
// to be confirmed by every row (fitsColumns).
Columns columnsFor(const SlotForms& found)
{
    Columns columns;
    for (int slot = 0; slot < 4; ++slot) {
        columns.forms[slot] = found.form(slot);
        columns.names[slot] = found.slots[slot].name;
    }
    for (int slot = 0; slot < 4; ++slot) {
        if (columns.forms[slot] != SlotForm::Named)
            continue;
        bool clash = columns.names[slot]->length() == 0 || !isCsvParameterHeader(columns.names[slot]->view());
        for (int other = 0; other < slot; ++other)
            clash = clash || (columns.forms[other] == SlotForm::Named &&
                              columns.names[other]->view() == columns.names[slot]->view());
        if (clash)
            columns.forms[slot] = SlotForm::Pairs;
    }
    return columns;
}

// The CSV text in pieces, in order: the header row, then the rows of each half.
struct CsvPieces {
    std::string header;
    RowBuffer halves[2];
};

// The columns the first record written gives: the parameters of a list mostly have the same
// names throughout, so the rows are written in one pass with these, and only a record that
// does not fit them sends the work to a second try with the columns gathered from every record.
Columns guessedColumns(const Selection& selection)
{
    SlotForms first;
    for (std::size_t position = 0; position < selection.positions && !first.any; ++position)
        if (selection.picks(selection.at(position)))
            first.add(selection.at(position));
    return columnsFor(first);
}

std::string headerRow(const Columns& columns, bool byteOrderMark)
{
    std::string out;
    if (byteOrderMark)
        out += "\xEF\xBB\xBF";
    out += "email,name,surname,enabled,group";
    for (int slot = 0; slot < 4; ++slot) {
        const std::string number = std::to_string(slot + 1);
        if (columns.forms[slot] == SlotForm::Named) {
            out += ',';
            appendField(out, *columns.names[slot]);
        } else if (columns.forms[slot] == SlotForm::Pairs) {
            out += ",param" + number + " name,param" + number + " value";
        }
    }
    out += "\r\n";
    return out;
}

// Makes the CSV text in memory (see guessedColumns).
void writeCsv(CsvPieces& pieces, const Selection& selection, bool byteOrderMark)
{
    Columns columns = guessedColumns(selection);
    bool fits[2] = {true, true};
    inHalves(selection.positions, [&](int half, std::size_t from, std::size_t to) {
        fits[half] = writeRows(pieces.halves[half], selection, columns, from, to);
    });
    if (!fits[0] || !fits[1]) {
        SlotForms found[2];
        inHalves(selection.positions,
                 [&](int half, std::size_t from, std::size_t to) { found[half] = formsOf(selection, from, to); });
        found[0].append(found[1]);
        columns = columnsFor(found[0]);
        inHalves(selection.positions, [&](int half, std::size_t from, std::size_t to) {
            pieces.halves[half].clear();
            writeRows(pieces.halves[half], selection, columns, from, to);
        });
    }
    pieces.header = headerRow(columns, byteOrderMark);
}

// Hands the rows to `write` in order, block by block; a large list's blocks are made by two
// threads, each taking every other block. A block made waits in one of a few buffers until the
// blocks before it are written; whichever thread finds the next blocks ready writes them, so
// neither waits for the other unless it is a whole window of blocks ahead (a thread that had to
// wake the other for every block would wait for the system's scheduler each time on a busy
// machine). The buffers stay in the processor's cache. False, having stopped, when a record
// does not fit the columns.
bool streamRows(const Selection& selection, const Columns& columns, const PieceWriter& write)
{
    const std::size_t blocks = (selection.positions + kBlockRecords - 1) / kBlockRecords;
    const std::size_t threads = selection.positions >= kParallelExportRecords ? 2 : 1;
    RowBuffer buffers[kBlockWindow];
    bool ready[kBlockWindow] = {};
    std::mutex mutex;
    std::condition_variable written;
    std::size_t next = 0; // the block to write next
    bool writing = false; // a thread is writing blocks
    bool stopped = false; // a record did not fit, or a block could not be made or written
    bool fits = true;
    std::exception_ptr failure;
    const auto stop = [&](bool blockFits, std::exception_ptr error) {
        stopped = true;
        fits = fits && blockFits;
        failure = failure ? failure : error;
        written.notify_all();
    };
    const auto work = [&](std::size_t firstBlock) {
        for (std::size_t block = firstBlock; block < blocks; block += threads) {
            RowBuffer& rows = buffers[block % kBlockWindow];
            {
                std::unique_lock lock(mutex);
                written.wait(lock, [&] { return block < next + kBlockWindow || stopped; });
                if (stopped)
                    return;
            }
            bool blockFits = false;
            try {
                rows.clear();
                const std::size_t from = block * kBlockRecords;
                blockFits =
                    writeRows(rows, selection, columns, from, std::min(from + kBlockRecords, selection.positions));
            } catch (...) {
                const std::lock_guard lock(mutex);
                return stop(true, std::current_exception());
            }
            std::unique_lock lock(mutex);
            if (!blockFits)
                return stop(false, nullptr);
            ready[block % kBlockWindow] = true;
            while (!writing && !stopped && next < blocks && ready[next % kBlockWindow]) {
                writing = true;
                lock.unlock();
                std::exception_ptr error;
                try {
                    write(buffers[next % kBlockWindow].view());
                } catch (...) {
                    error = std::current_exception();
                }
                lock.lock();
                writing = false;
                if (error)
                    return stop(true, error);
                ready[next % kBlockWindow] = false;
                ++next;
                written.notify_all();
            }
        }
    };
    {
        std::jthread second;
        if (threads == 2)
            second = std::jthread(work, 1);
        work(0);
    }
    if (failure)
        std::rethrow_exception(failure);
    return fits;
}

std::string joined(const CsvPieces& pieces)
{
    std::string out;
    out.reserve(pieces.header.size() + pieces.halves[0].view().size() + pieces.halves[1].view().size());
    out += pieces.header;
    out += pieces.halves[0].view();
    out += pieces.halves[1].view();
    return out;
}

Selection selectionOf(const Project& project, const CsvExportOptions& options, ShortString255& group)
{
    Selection selection{project.recipients, nullptr, nullptr, project.recipients.size()};
    if (options.group) {
        group.set(*options.group);
        // A name longer than a stored text matches no record.
        selection.group = &group;
        if (options.group->size() > kMaxShortStringLength)
            selection.positions = 0;
    }
    return selection;
}

} // namespace

std::string recipientsCsv(const Project& project, const CsvExportOptions& options)
{
    ShortString255 group;
    CsvPieces pieces;
    writeCsv(pieces, selectionOf(project, options, group), options.byteOrderMark);
    return joined(pieces);
}

std::string recipientsCsv(const Project& project, const std::vector<std::size_t>& records, bool byteOrderMark)
{
    CsvPieces pieces;
    writeCsv(pieces, {project.recipients, records.data(), nullptr, records.size()}, byteOrderMark);
    return joined(pieces);
}

std::size_t writeRecipientsCsv(const Project& project, const CsvExportOptions& options, const std::string& path)
{
    ShortString255 group;
    const Selection selection = selectionOf(project, options, group);
    std::size_t rows = 0;
    for (std::size_t position = 0; position < selection.positions; ++position)
        rows += selection.picks(selection.at(position)) ? 1 : 0;
    const Columns columns = guessedColumns(selection);
    if (replaceWholeFileInPieces(path, [&](const PieceWriter& write) {
            write(headerRow(columns, options.byteOrderMark));
            return streamRows(selection, columns, write);
        }))
        return rows;
    CsvPieces pieces;
    writeCsv(pieces, selection, options.byteOrderMark);
    replaceWholeFile(path, {pieces.header, pieces.halves[0].view(), pieces.halves[1].view()});
    return rows;
}

} // namespace quillet
