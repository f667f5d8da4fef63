// The template folder: listing, reading, creating, replacing and deleting template files.
// A template's HTML body lives in a second file beside it, "<name>.tmpl.html" (its lines with
// CR LF), so that template files keep their layout and read and list exactly as before; the
// file exists only while the template has an HTML body.
// A template is found by the path built from its name (folder + name + ".tmpl"), never by the
// name of a file that was listed. Writing a template creates the folder when it is missing
// (a fresh program folder has none); the program folder itself must exist.
#pragma once

#include "TemplateFile.h"

#include <filesystem>
#include <string>
#include <vector>

namespace quillet {

// One row of the template list: the name from line 2 and the subject from line 3.
struct TemplateRow {
    std::string name;
    std::string subject;

    bool operator==(const TemplateRow&) const = default;
};

// A fresh listing in the order the list showed before: a row that was shown (matched by name,
// each shown row used once) keeps its place, whatever order the folder now returns; rows not
// shown before follow in listing order. Rows no longer listed are dropped. The list thus keeps
// its order when a template is edited and its file replaced.
std::vector<TemplateRow> keepShownOrder(const std::vector<TemplateRow>& shown, std::vector<TemplateRow> listed);

class TemplateStore {
public:
    explicit TemplateStore(std::filesystem::path folder) : folder_(std::move(folder)) {}

    const std::filesystem::path& folder() const { return folder_; }
    std::filesystem::path pathOf(const std::string& name) const;
    std::filesystem::path htmlPathOf(const std::string& name) const;
    bool exists(const std::string& name) const;

    // Every listed template in the order the folder returns them. Passed over: folders and
    // other non-regular entries, files the user cannot write (read-only), files that cannot be
    // read, and files whose first line is not the header exactly. A missing folder lists nothing.
    std::vector<TemplateRow> list() const;

    // Reads the template of that name; throws ETemplateError "Cannot open file ...".
    MessageTemplate read(const std::string& name) const;

    // Writes a new template; throws ETemplateError "Template with this name already exists"
    // when its file exists, "Cannot create file ..." when it cannot be written.
    void create(const MessageTemplate& tmpl) const;
    // Writes the template's file, replacing a file of that name if there is one. A missing
    // folder is created first; when it cannot be, "Cannot create file ..." names the template's
    // path and the reason.
    void save(const MessageTemplate& tmpl) const;
    // Saves an edited template that was read under oldName. A changed name renames: the
    // template is written under its new name and the files of the old name (its HTML body
    // too) are deleted; a new name that another template already has throws ETemplateError
    // "Template with this name already exists" and leaves both as they were.
    void replace(const std::string& oldName, const MessageTemplate& edited) const;
    // Deletes the file of that name; returns false when there was none to delete.
    bool remove(const std::string& name) const;

private:
    std::filesystem::path folder_;
};

// The macro names (%WORD%) of every listed template's subject, plain and HTML body, each once,
// in the order met; a template that cannot be read is passed over.
std::vector<std::string> TemplateMacroNames(const TemplateStore& store);

} // namespace quillet
