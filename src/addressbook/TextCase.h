// Locale upper-casing of code-page texts, for the comparisons that ignore letter case (the
// Find window, finding a row by e-mail). Accented letters are upper-cased as well.
#pragma once

#include <string>
#include <string_view>

namespace quillet {

// The text upper-cased, as UTF-8 (compare results of this function with each other only).
std::string upperCased(std::string_view codePageText);
// The two texts are equal ignoring letter case.
bool equalIgnoringCase(std::string_view a, std::string_view b);

} // namespace quillet
