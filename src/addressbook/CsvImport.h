// Importing recipients from a CSV file into a group.
//
// 1. The file is read and decoded (CsvReader.h); its first record is the header unless one of
//    its fields is a valid e-mail address.
// 2. The columns are mapped to the recipient's fields: by header name (automaticCsvMapping), then
//    changed by the user (explicit FIELD=COLUMN entries, or the desktop dialog's choices). Every
//    column that is not a known field becomes a parameter whose name is its header; at most four
//    parameters fit a recipient.
// 3. The plan reads every record once and decides its fate: new recipient, update of an existing
//    one, duplicate skipped, or invalid with a reason on its line. Nothing is changed yet, so a
//    dry run, a strict run that finds a problem, and a Cancel all leave the project as it was.
// 4. Applying the plan appends and updates the records in one go; the caller saves once.
//
// Rules of a row: the e-mail address must be present and valid (AddressValidity.h); every text
// must be representable in the code page and at most 255 bytes long there — a longer field is
// refused, not cut, so that no recipient is stored with a silently shortened address, name or
// parameter; the enabled column reads True/False, yes/no or 1/0 in any letter case (empty is
// enabled); a row with more non-empty fields than the header has columns is refused (its
// fields would land in the wrong columns). Rows whose fields are all empty are passed over.
// Duplicates are addresses equal but for ASCII letter case, within the file and against the
// group's recipients.
#pragma once

#include "CsvReader.h"
#include "project/MappedFile.h"
#include "project/Project.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace quillet {

// The progress callback asked to stop; nothing was changed.
class CsvImportCancelled : public std::runtime_error {
public:
    CsvImportCancelled() : std::runtime_error("Import cancelled") {}
};

// How the text of a file is read: encoding and separator, empty / 0 to detect them.
struct CsvFormat {
    std::string encoding;
    char separator = 0;
};

// A decoded CSV file with its first record.
struct CsvDocument {
    // UTF-8: the file's bytes where they lie when they are that (mapped), else a decoded copy.
    std::string_view text;
    std::shared_ptr<const std::string> decoded; // the copy, when there is one
    std::shared_ptr<const MappedFile> file;     // the mapped file, when the text lies there
    std::string encoding;                       // the encoding it was read with
    char separator = ',';
    bool hasHeader = false;
    std::vector<std::string> header; // the first record's fields (UTF-8), header or not
    // The first data record's fields (UTF-8): the record after a header, else the header's.
    std::vector<std::string> firstValues;
};

// Decodes the bytes and reads the first record; a text without any record (an empty file)
// throws CsvImportError.
CsvDocument readCsvDocument(std::string bytes, const CsvFormat& format, const char* codePage);
// Reads the file; a file that cannot be read throws ProjectFileError with its message. A large
// regular file is mapped, not copied, when it is UTF-8; a plan of a file that another program
// cut short meanwhile throws CsvImportError.
CsvDocument readCsvFile(const std::string& path, const CsvFormat& format, const char* codePage);

enum class CsvField { Ignore, Email, Name, Surname, Enabled, Group, Parameter, ParameterName, ParameterValue };

struct CsvColumn {
    CsvField field = CsvField::Ignore;
    std::string parameterName; // Parameter: the parameter's name, in the code page
    int slot = -1;             // ParameterName/ParameterValue: which of the four (0..3)
};

struct CsvMapping {
    std::vector<CsvColumn> columns;
};

// The header names of the recipient fields, compared without letter case, blanks, "-", "_", ".".
// Columns of a headerless file are mapped only by explicit entries: the e-mail column is then
// the first whose first record holds a valid address, the others are not imported.
CsvMapping automaticCsvMapping(const CsvDocument& document, const char* codePage);

// Applies entries "FIELD=COLUMN" (FIELD: email, name, surname, enabled, or a parameter's name;
// COLUMN: a 1-based number or a header name). With entries, parameters come from the entries
// alone; the known fields keep their automatic columns unless an entry moves them. Throws
// CsvImportError for an entry that does not read or names no column.
void applyExplicitCsvMap(CsvMapping& mapping, const CsvDocument& document, const std::vector<std::string>& entries,
                         const char* codePage);

// Gives the free parameter columns their slots and checks the mapping: one e-mail column, at
// most four parameters. Throws CsvImportError with the user's text.
void resolveCsvMapping(CsvMapping& mapping, const CsvDocument& document);

enum class DuplicateRule { Skip, Update, Keep };

struct CsvImportSettings {
    std::string group;
    DuplicateRule duplicates = DuplicateRule::Skip;
    const char* codePage = "CP1252";
};

struct CsvProblem {
    std::size_t line;
    std::string text; // the code page's text
};

struct CsvImportReport {
    std::size_t imported = 0;
    std::size_t updated = 0;
    std::size_t skipped = 0;
    std::size_t invalid = 0;
    std::vector<CsvProblem> problems; // in line order

    // "imported N, updated N, duplicates skipped N, invalid N"
    std::string summary() const;
    // The summary and one "LINE: text" line per problem, each ending in a line break.
    std::string text() const;
};

// One record as it would be imported: its texts in the code page, or the reason it is refused.
struct CsvRow {
    std::size_t line = 0;
    std::string email, name, surname;
    bool enabled = true;
    std::string paramNames[4], paramValues[4];
    std::string problem;          // empty when the row is valid
    bool codePageRefusal = false; // the problem is a text the code page cannot hold
};

// Called every few thousand records with the bytes read and the total; false cancels.
using CsvProgress = std::function<bool(std::size_t done, std::size_t total)>;

struct CsvImportPlan {
    CsvImportReport report;
    // The rows to append or update, in file order, packed as applyCsvImport stores them: the
    // enabled byte, then the e-mail, name, surname, four parameter names and four values, each
    // a length byte and the code page's bytes. The halves of a large file, read at once, are
    // packed apart: the rows of the second follow those of the first.
    std::unique_ptr<char[]> rows[2];
    // The texts that no column fills are the same in every row (a parameter name from the
    // header, or empty): they are kept here once and left out of the packed rows. Bit t of
    // `sharedTexts` for text t (in the order above) and its bytes in sharedText[t].
    unsigned sharedTexts = 0;
    std::string sharedText[11];
    // Per packed row: kAppendRow, kSkipRow (a duplicate), or the record index to update.
    std::vector<std::int64_t> targets;
    static constexpr std::int64_t kSkipRow = -1;
    static constexpr std::int64_t kAppendRow = -2;
    // Where every few thousandth packed row starts, so that the rows can be stored in parallel.
    struct Chunk {
        std::size_t part;    // which of `rows`
        std::size_t offset;  // in it
        std::size_t row;     // in `targets`
        std::size_t appends; // rows to append before this one
    };
    std::vector<Chunk> chunks;
};

// The first `count` data records as they would be imported (the desktop dialog's preview).
std::vector<CsvRow> previewCsvRows(const CsvDocument& document, const CsvMapping& mapping,
                                   const CsvImportSettings& settings, std::size_t count);

// Reads every record and decides what happens to it; the project is not changed. Throws
// CsvImportCancelled when the progress callback returns false, and CsvImportError when the
// file has no data record (only a header, or only empty lines).
CsvImportPlan planCsvImport(const Project& project, const CsvDocument& document, const CsvMapping& mapping,
                            const CsvImportSettings& settings, const CsvProgress& progress = {});

// Carries out the plan made against this very project (the group must exist by now) and sets
// the changed flag when anything changed.
void applyCsvImport(Project& project, const CsvDocument& document, const CsvMapping& mapping,
                    const CsvImportSettings& settings, const CsvImportPlan& plan);

// Whether the import would take a column of this header as a parameter named by it (and not
// as the e-mail, name, surname, enabled, group or a "paramN name"/"paramN value" column).
bool isCsvParameterHeader(std::string_view header);

} // namespace quillet
