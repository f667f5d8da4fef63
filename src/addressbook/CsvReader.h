// Reading CSV files: the bytes decoded to UTF-8, the separator found, and the records split as
// RFC 4180 has them.
//
// Decoding: a byte-order mark decides (UTF-8, UTF-16LE, UTF-16BE); without one, text that is
// well-formed UTF-8 is UTF-8, text with NUL bytes in every other place is UTF-16 of that byte
// order, and anything else is taken to be in the program's code page (a spreadsheet's "CSV" in
// the system's 8-bit encoding). A given encoding (any name iconv knows) overrides the guess.
//
// Records: fields are separated by the separator and records by CR LF, LF or a lone CR. A field
// that starts with a double quote (after blanks) runs to the matching quote; inside it separators
// and line breaks are text and a doubled quote is one quote. Blanks (space, tab) around an
// unquoted field, and between a closing quote and the separator, are not part of the field. The
// reader is lenient where spreadsheets are sloppy: a quote inside an unquoted field is text, and
// text after a closing quote is appended to the field. A quoted field still open at the end of
// the text is flagged on its record.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace quillet {

// The file, its encoding or the mapping does not allow an import at all (the user's text).
class CsvImportError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The decoded text of a CSV file and the encoding it was read with.
struct CsvText {
    std::string utf8;
    std::string encoding; // "UTF-8", "UTF-16LE", "UTF-16BE", the code page's or the given name
};

// Decodes the file's bytes (see above). `encoding` empty: detect; else convert from it, dropping
// a byte-order mark at its start. `codePage` is the fallback of the detection. Throws
// CsvImportError for an encoding iconv does not know.
CsvText decodeCsvBytes(std::string bytes, std::string_view encoding, const char* codePage);
// The same for bytes that stay where they are: returns where the UTF-8 text starts in them when
// they are that text as they are (past a byte-order mark), leaving result.utf8 empty; else
// nothing, with the text decoded into result.utf8.
std::optional<std::size_t> decodeCsvBytesInPlace(std::string_view bytes, std::string_view encoding,
                                                 const char* codePage, CsvText& result);

// The separator of the text's first record: whichever of comma, semicolon and tab occurs most
// often outside quotes there; comma when none does.
char detectCsvSeparator(std::string_view text);

// The separator given by the user: ",", ";", "tab" or "\t", or any other single character.
// Returns 0 for text that names no separator.
char parseCsvSeparator(std::string_view text);

class CsvReader {
public:
    // `plainRecords` false turns off the quicker reading of plain records (readPlainRecord),
    // for checking it against the general reading.
    CsvReader(std::string_view text, char separator, bool plainRecords = true);

    // Reads the next record; false at the end of the text (a text ending in a line break has
    // no empty record after it).
    bool next();

    std::size_t size() const { return count_; }
    std::string_view field(std::size_t i) const { return fields_[i]; }
    // The line (counted from 1) on which the current record starts.
    std::size_t line() const { return line_; }
    // The line on which the next record starts.
    std::size_t nextLine() const { return nextLine_; }
    // The current record's last field was a quoted field that never closed.
    bool unterminated() const { return unterminated_; }
    // Every byte of the current record's text, line break included, is ASCII.
    bool ascii() const { return ascii_; }
    // Every field of the current record is a view into the text (none was put together from
    // pieces: doubled quotes, text after a closing quote).
    bool fieldsInText() const { return fieldsInText_; }
    // Bytes of the text read so far (for progress).
    std::size_t position() const { return pos_; }
    std::size_t textSize() const { return text_.size(); }
    std::string_view text() const { return text_; }

private:
    bool readPlainRecord();
    void loadBlock(std::size_t from);
    std::size_t nextStop(std::size_t from);
    void readQuoted(std::size_t index);
    void readQuotedSlowly(std::size_t index);
    std::string_view readUnquoted();
    std::size_t stopOfUnquoted(std::size_t from) const;

    std::string_view text_;
    char separator_;
    bool plainRecords_;
    std::size_t pos_ = 0;
    std::size_t nextLine_ = 1;
    std::size_t line_ = 0;
    bool unterminated_ = false;
    bool ascii_ = true;
    bool fieldsInText_ = true;
    // The current record's fields: views into the text, or into scratch_ for quoted fields with
    // doubled quotes or text after the closing quote. Both are reused from record to record;
    // count_ of the fields are valid.
    std::vector<std::string_view> fields_;
    std::deque<std::string> scratch_; // one per field position; a deque never moves them
    std::size_t count_ = 0;
    // For readPlainRecord: the stops (separator, CR, LF) among the kBlockBytes bytes from
    // blockStart_, a bit each, so that each byte of plain records is looked at once (no block
    // yet: one past the text); and bytes that these blocks found to be ASCII, [asciiFrom_, asciiTo_).
    static constexpr std::size_t kBlockBytes = 64;
    std::size_t blockStart_;
    std::uint64_t blockStops_ = 0;
    std::size_t asciiFrom_ = 0, asciiTo_ = 0;
    // Per byte, for readPlainRecord: whether it cannot start a plain field (a quote or a blank)
    // or end one (a blank; the separator is not one).
    static constexpr std::uint8_t kNoStart = 1, kNoEnd = 2;
    std::uint8_t edges_[256] = {};
};

} // namespace quillet
