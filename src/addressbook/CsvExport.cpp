#include "CsvExport.h"

#include "CsvImport.h"
#include "project/CodePage.h"
#include "project/WholeFile.h"

namespace quillet {

namespace {

// How a parameter slot is written.
enum class SlotForm { Absent, Named, Pairs };

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

void appendField(std::string& out, std::string_view codePageText)
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
    SlotForm forms[4] = {};
    const ShortString255* names[4] = {};
    bool any = false;
    for (const std::size_t index : records) {
        const RecipientRecord& record = project.recipients[index];
        for (int slot = 0; slot < 4; ++slot) {
            const ShortString255& name = record.paramName(slot);
            const bool empty = name.length() == 0 && record.paramValue(slot).length() == 0;
            if (!any) {
                names[slot] = &name;
                forms[slot] = empty ? SlotForm::Absent : SlotForm::Named;
            } else if (forms[slot] != SlotForm::Pairs &&
                       (name.view() != names[slot]->view() || (forms[slot] == SlotForm::Absent && !empty))) {
                forms[slot] = SlotForm::Pairs;
            }
        }
        any = true;
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
            appendField(out, names[slot]->view());
        } else if (forms[slot] == SlotForm::Pairs) {
            out += ",param" + number + " name,param" + number + " value";
        }
    }
    out += "\r\n";
    for (const std::size_t index : records) {
        const RecipientRecord& record = project.recipients[index];
        appendField(out, record.EMail.view());
        out += ',';
        appendField(out, record.Name.view());
        out += ',';
        appendField(out, record.Surname.view());
        out += record.enabled() ? ",True," : ",False,";
        appendField(out, record.Group.view());
        for (int slot = 0; slot < 4; ++slot) {
            if (forms[slot] == SlotForm::Absent)
                continue;
            out += ',';
            if (forms[slot] == SlotForm::Pairs) {
                appendField(out, record.paramName(slot).view());
                out += ',';
            }
            appendField(out, record.paramValue(slot).view());
        }
        out += "\r\n";
    }
    return out;
}

void writeRecipientsCsv(const Project& project, const CsvExportOptions& options, const std::string& path)
{
    replaceWholeFile(path, recipientsCsv(project, options));
}

} // namespace quillet
