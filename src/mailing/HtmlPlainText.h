// The plain text of an HTML body, for "Make the plain text from the HTML": what a reader of the
// plain alternative should see of the page. Code-page text in, code-page text out; macros
// (%WORD%) pass through untouched, so the plain body is personalised like the HTML one.
//
//   1. Comments, and the contents of <head>, <script>, <style> and <title>, are left out.
//   2. Tags give way to line breaks: <br> and the line tags (div, li, tr, dt, dd, ...) end the
//      line, the paragraph tags (p, h1-h6, ul, ol, table, blockquote, pre, hr, ...) leave an empty
//      line; a list item starts with "- " (in an ordered list "N. "), <hr> is a line of dashes,
//      table cells are separated by a space, an image stands as its alt text in brackets.
//   3. A link whose target is not its text keeps the target after it: "text (URL)".
//   4. Outside <pre>, runs of white space (line breaks included) are one space, and lines do
//      not start or end with spaces; inside <pre> the text stays as written.
//   5. Character references (&amp;, &eacute;, &#8364;, &#x20AC;, ...) become their characters;
//      a character the code page lacks becomes "?", an unknown or broken reference stays as
//      written.
//   6. No more than one empty line in a row; none at the start or the end.
// A tag that is never closed ("<p" at the end) ends the text; a lone "<" that starts no tag is
// text. Every step is linear in the input.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace quillet {

// Longest character reference looked up ("&" up to ";"); a longer one is text.
inline constexpr std::size_t kMaxCharacterReference = 32;

// The plain text of HTML lines, as lines.
std::vector<std::string> PlainTextFromHtml(const std::vector<std::string>& htmlLines);

} // namespace quillet
