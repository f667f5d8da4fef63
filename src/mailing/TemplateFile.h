// Message templates: one text file per template in the program folder's "Templates/", named
// after the template with the extension ".tmpl".
//
// File layout, every line followed by CR LF: the header "Orv Quillet template Version 1.0", the
// name, the subject, the reply-to line (may be empty), then the body lines (may be none). Reading
// splits at CR LF, a lone CR or a lone LF, and stops at a zero byte; a line break at the very end
// adds no empty line. Lines missing from a short file made by other means read as empty.
#pragma once

#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

namespace quillet {

// A template file could not be read, written or created; what() is the user's message.
class ETemplateError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct MessageTemplate {
    std::string name;
    std::string subject;
    std::string replyTo;
    std::vector<std::string> body;
    // The HTML body, kept in a file of its own beside the template (see TemplateStore).
    std::vector<std::string> htmlBody = {};
};

// Splits file bytes into lines at CR LF, CR or LF, ending at the first zero byte.
std::vector<std::string> SplitTemplateLines(std::string_view bytes);

// The bytes of a template file: header, name, subject, reply-to line, body, each with CR LF.
std::string TemplateFileBytes(const MessageTemplate& tmpl);

// Reads all lines of a file; throws ETemplateError "Cannot open file "%s". %s".
std::vector<std::string> ReadTemplateLines(const std::filesystem::path& path);

// The template held by lines read from a file (the header line is not examined).
MessageTemplate TemplateFromLines(const std::vector<std::string>& lines);

// Writes bytes to a file atomically: a new file beside it replaces it once complete; a
// read-only file is refused. Throws ETemplateError "Cannot create file "%s". %s".
void WriteFileAtomically(const std::filesystem::path& path, const std::string& bytes);

// Writes (creating or replacing) the file; throws ETemplateError "Cannot create file "%s". %s".
// The old file is replaced only by a completely written new one; a read-only file is refused.
void WriteTemplateFile(const std::filesystem::path& path, const MessageTemplate& tmpl);

} // namespace quillet
