// Shift_JIS text to ISO-2022-JP, for header words and message bodies on a Japanese locale.
// Half-width katakana become their full-width JIS X 0208 forms (with a following voiced or
// semi-voiced sound mark folded into the character where such a form exists); user-defined
// characters and bytes without a meaning are dropped. Never fails.
#pragma once

#include <string>
#include <string_view>

namespace quillet {

std::string ConvertToIso2022Jp(std::string_view shiftJis);

} // namespace quillet
