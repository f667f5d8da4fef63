// The HTML page of a group's recipient list: fixed lines with the group's name and one table
// row per recipient row, every line ending in CR LF, texts inserted as they stand (code-page
// bytes, no escaping, no character-set declaration).
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

std::string htmlPage(std::string_view groupName, const std::vector<HtmlRecipientRow>& rows);
// The page of the given rows (record indices, in display order) of a group.
std::string htmlPage(const Project& project, std::string_view groupName, const std::vector<std::size_t>& rows);
// Writes the page to the file, replacing it only once the new file is whole; throws
// ProjectFileError with the user's message.
void writeHtmlFile(const std::string& path, std::string_view page);

} // namespace quillet
