// The texts the address book shows to its users: messages, captions and confirmations.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace quillet::texts {

inline constexpr std::string_view kErrorCaption = "Error";
inline constexpr std::string_view kWarningCaption = "Warning";
inline constexpr std::string_view kInformationCaption = "Information";
inline constexpr std::string_view kConfirmCaption = "Confirm";

inline constexpr std::string_view kHaveNotSelectedGroup = "Have not selected group";
inline constexpr std::string_view kHaveNotSelectedRecipient = "Have not selected recipient";
inline constexpr std::string_view kDeleteAllSelectedRecipients =
    "Are you sure that you want delete all selected recipients?";
inline constexpr std::string_view kFileIsNotExists = "File is not exists";
inline constexpr std::string_view kNewGroupDefaultName = "New group";

// Why an e-mail address is not valid.
inline constexpr std::string_view kAddressEmpty = "the address is empty";
inline constexpr std::string_view kAddressWithoutAtSign = "the address has no @";
inline constexpr std::string_view kAddressBadLocalPart = "the part before the @ is not valid";
inline constexpr std::string_view kAddressLocalPartTooLong = "the part before the @ is longer than 64 bytes";
inline constexpr std::string_view kAddressBadDomain = "the domain is not valid";
inline constexpr std::string_view kAddressDomainTooLong = "the domain is longer than 255 bytes";
inline constexpr std::string_view kAddressTooLong = "the address is longer than 254 bytes";

inline std::string quoted(std::string_view text)
{
    std::string result;
    result.reserve(text.size() + 2);
    result += '"';
    result += text;
    result += '"';
    return result;
}
inline std::string duplicateGroupName(std::string_view name)
{
    return "Group with " + quoted(name) + " name already exist.";
}
inline std::string cannotRenameGroup(std::string_view name)
{
    return "I can't rename. Group with " + quoted(name) + " name already exist.";
}
inline std::string confirmDeleteGroup(std::string_view name)
{
    return "Are you sure that you want delete " + quoted(name) + " group?";
}
inline std::string confirmDeleteRecipient(std::string_view email)
{
    return "Are you sure that you want delete " + quoted(email) + " recipient?";
}
inline std::string searchStringNotFound(std::string_view text)
{
    return "Search string " + quoted(text) + " not found";
}
inline std::string groupDoesNotExist(std::string_view name)
{
    return "Group " + quoted(name) + " does not exist";
}

// "Invalid e-mail address "x": the domain is not valid"
inline std::string invalidAddress(std::string_view address, std::string_view reason)
{
    return "Invalid e-mail address " + quoted(address) + ": " + std::string(reason);
}

// An address of a usual length, by which the recipient list's e-mail column is first sized.
inline constexpr std::string_view kTypicalAddress = "firstname.lastname@example.com";

// The recipient dialog's question about an address that is not valid (the command line's
// --force): Yes keeps it as typed, No goes back to the dialog.
inline std::string keepInvalidAddressQuestion(std::string_view address, std::string_view reason)
{
    return invalidAddress(address, reason) + ".\nKeep it anyway?";
}

// CSV import and export.
inline constexpr std::string_view kCsvNoRecipients = "The file holds no recipients";
inline constexpr std::string_view kCsvFileCutShort =
    "The file was cut short by another program while it was read; nothing was imported";
inline constexpr std::string_view kCsvNoEmailColumn = "No column is mapped to the e-mail address";
inline constexpr std::string_view kCsvMissingAddress = "the e-mail address is missing";
inline constexpr std::string_view kCsvUnclosedQuote = "a quoted field is not closed";
inline constexpr std::string_view kCsvImportCancelled = "The import was cancelled; nothing was changed";
inline constexpr std::string_view kCsvEmailField = "e-mail address";
inline constexpr std::string_view kCsvNameField = "name";
inline constexpr std::string_view kCsvSurnameField = "surname";
inline constexpr std::string_view kCsvEnabledField = "enabled value";
inline std::string csvParameterField(std::string_view name)
{
    return "parameter " + quoted(name);
}
inline std::string csvParameterNameField(int slot)
{
    return "name of parameter " + std::to_string(slot + 1);
}
// The desktop's import and export of recipients.
inline constexpr std::string_view kImportRecipientsCaption = "Import recipients";
inline constexpr std::string_view kExportRecipientsCaption = "Export recipients";
inline constexpr std::string_view kImportReportCaption = "Import report";
inline constexpr std::string_view kImportProgressText = "Reading the file...";
inline constexpr std::string_view kImportAddingText = "Adding the recipients...";
inline constexpr std::string_view kCsvFileFilter = "CSV files (csv, txt)|*.csv;*.txt|All files|*.*";
inline constexpr std::string_view kTextFileFilter = "Text files|*.txt";
inline constexpr std::string_view kChooseCsvFile = "Choose a CSV file";
inline constexpr std::string_view kDetect = "Detect";
// What a column becomes, in the order of CsvField (Ignore .. ParameterValue).
inline constexpr std::string_view kCsvFieldNames[] = {"Not imported",         "E-mail",   "Name", "Surname", "Enabled",
                                                      "Group (not imported)", "Parameter"};
inline std::string csvParameterSlotName(int slot, bool value)
{
    return "Parameter " + std::to_string(slot + 1) + (value ? " value" : " name");
}
inline std::string exportRecipientsOf(std::string_view group)
{
    return "Export recipients of group " + quoted(group);
}
inline constexpr std::string_view kExportAllRecipients = "Export all recipients";
inline std::string unknownEncoding(std::string_view name)
{
    return "Unknown encoding " + quoted(name);
}
inline std::string csvTooManyParameters(std::string_view names)
{
    return "More than four columns would become parameters: " + std::string(names) + ". Choose at most four of them";
}
inline std::string csvBadMapEntry(std::string_view entry)
{
    return "The mapping " + quoted(entry) + " does not read FIELD=COLUMN";
}
inline std::string csvNoSuchColumn(std::string_view column)
{
    return "The file has no column " + quoted(column);
}
inline std::string csvFieldTooLong(std::string_view field)
{
    return "the " + std::string(field) + " is longer than 255 bytes";
}
inline std::string csvFieldNotRepresentable(std::string_view field, std::string_view codePage)
{
    return "the " + std::string(field) + " holds characters that code page " + std::string(codePage) + " cannot hold";
}
// Under the import dialog's preview of the rows.
inline constexpr std::string_view kCsvRefusedRowsMarked =
    "The rows marked in the preview will not be imported; their problem says why.";
inline std::string csvRowsNotHeldByCodePage(std::string_view codePage)
{
    return "The rows marked in the preview will not be imported: code page " + std::string(codePage) +
           " cannot hold some of their characters. The UTF-8 code page holds them all: choose \"UTF-8 (Unicode)\" "
           "under Program options, page Message, start the program again and import the file then.";
}
// A column's choice that another column holds already.
inline std::string csvFieldTaken(std::size_t column, std::string_view header, std::string_view field)
{
    return "Column " + std::to_string(column + 1) + (header.empty() ? "" : " " + quoted(header)) +
           " is already imported as " + std::string(field) + ". A field takes one column: set that column to \"" +
           std::string(kCsvFieldNames[0]) + "\" first.";
}
inline std::string csvParameterCaseOffer(std::string_view pairs)
{
    return "Use the letter case of the templates' macros and the group's parameters (" + std::string(pairs) + ")";
}
inline std::string csvExported(std::size_t rows, std::string_view path)
{
    return std::to_string(rows) + (rows == 1 ? " recipient" : " recipients") + " written to " + quoted(path);
}
inline std::string csvBadEnabled(std::string_view value)
{
    return "the enabled value " + quoted(value) + " is not True or False";
}
inline std::string csvTooManyFields(std::size_t fields, std::size_t columns)
{
    return "the row has " + std::to_string(fields) + " fields, the header " + std::to_string(columns);
}
// The status bar's count of the recipient list: "12 recipients, 3 selected".
inline std::string recipientCounts(std::size_t rows, std::size_t selected)
{
    return std::to_string(rows) + (rows == 1 ? " recipient, " : " recipients, ") + std::to_string(selected) +
           " selected";
}
inline std::string csvReportSummary(std::size_t imported, std::size_t updated, std::size_t skipped, std::size_t invalid)
{
    return "imported " + std::to_string(imported) + ", updated " + std::to_string(updated) + ", duplicates skipped " +
           std::to_string(skipped) + ", invalid " + std::to_string(invalid);
}

// The review of harvested addresses.
inline std::string harvestCounts(std::size_t found, std::size_t invalid, std::size_t duplicates)
{
    return std::to_string(found) + (found == 1 ? " address found, " : " addresses found, ") + std::to_string(invalid) +
           " not valid, " + std::to_string(duplicates) + (duplicates == 1 ? " duplicate" : " duplicates");
}
inline std::string harvestRemoveMarked(std::size_t marked)
{
    return "Remove the " + std::to_string(marked) +
           " marked addresses (not valid or duplicates) before adding the others to the group?";
}
inline constexpr std::string_view kHarvestInvalidMark = "not valid";
inline constexpr std::string_view kHarvestDuplicateMark = "duplicate";
inline std::string harvestDiscard(std::size_t found)
{
    return "Discard the " + std::to_string(found) + " addresses found?";
}

} // namespace quillet::texts
