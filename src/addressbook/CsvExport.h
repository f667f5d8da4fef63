// Writing recipients as CSV for spreadsheets: UTF-8 (with a byte-order mark unless asked not
// to), comma-separated, CR LF line ends, a header row, then one row per recipient (in record order unless the caller
// gives the order).
//
// Columns: email, name, surname, enabled (True/False), group, then the parameters. A parameter
// slot whose name is the same for every exported recipient becomes one column headed by that
// name; a slot whose names differ becomes two columns, "paramN name" and "paramN value"; a slot
// empty in every recipient is left out. The CSV import reads every one of these forms back, so
// exporting a group and importing the file gives the same recipients.
#pragma once

#include "project/Project.h"

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace quillet {

struct CsvExportOptions {
    std::optional<std::string> group; // only this group's recipients; all when empty
    bool byteOrderMark = true;
};

// The CSV text of the recipients.
std::string recipientsCsv(const Project& project, const CsvExportOptions& options);
// The CSV text of the recipients at these record indices, in this order.
std::string recipientsCsv(const Project& project, const std::vector<std::size_t>& records, bool byteOrderMark);
// Writes it to the file, replacing it only once the new file is whole, and returns the number of
// recipients written; throws ProjectFileError with the user's message.
std::size_t writeRecipientsCsv(const Project& project, const CsvExportOptions& options, const std::string& path);

} // namespace quillet
