// The HTML page of a group's recipient list: fixed lines with the group's name and one table
// row per recipient row, every line ending in CR LF. The texts go in as the code page's bytes
// with & < > " written as character references, so that a name holding markup shows as text
// (and carries no script into a published page); the page declares the code page's registered
// charset name in its second line, since it reads wrongly without it under UTF-8 and the East
// Asian code pages.
#pragma once

#include "project/Project.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace quillet {

// One recipient row as the recipient list shows it.
struct HtmlRecipientRow {
    std::string email;
    std::string name;
    std::string surname;
    std::string enabled; // "True" or "False"
};

// The maker's home page, as the main window's Home Page action opens it.
inline constexpr std::string_view kMakerHomePage = "https://orv-quillet.example.org/";

// `codePage`: the iconv name of the code page the texts are in (null: the program's).
std::string htmlPage(std::string_view groupName, const std::vector<HtmlRecipientRow>& rows,
                     const char* codePage = nullptr);
// The page of the given rows (record indices, in display order) of a group.
std::string htmlPage(const Project& project, std::string_view groupName, const std::vector<std::size_t>& rows,
                     const char* codePage = nullptr);
// The text with & < > " written as character references.
std::string htmlEscaped(std::string_view text);
// Writes the page to the file, replacing it only once the new file is whole; throws
// ProjectFileError with the user's message.
void writeHtmlFile(const std::string& path, std::string_view page);

} // namespace quillet
