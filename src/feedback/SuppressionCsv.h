// The suppression list as CSV, as the recipient CSV is read and written: a header
// "email,reason,first_seen,last_seen,source,detail", one entry a record. Reading needs the
// "email" column only; the separator and the encoding are found as for recipients.
#pragma once

#include "SuppressionStore.h"

#include <string>
#include <string_view>
#include <vector>

namespace quillet {

std::string SuppressionCsv(const std::vector<SuppressionEntry>& entries);
// The entries of a CSV file's bytes; a record without a reason gets `reason`, one without a
// source "import". Throws CsvImportError when there is no "email" column or a reason is unknown.
std::vector<SuppressionEntry> ParseSuppressionCsv(std::string bytes, std::string_view reason);

} // namespace quillet
