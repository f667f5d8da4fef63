// Text crossing between the core's code-page byte strings and the terminal.
//
// The core keeps every text as bytes of the program's code page; the terminal and the
// arguments are UTF-8 (Qt's QString). These helpers convert at that boundary only.
#pragma once

#include <QString>

#include <string>

namespace quillet::cli {

// Converts an argument typed by the user into code-page bytes; throws std::runtime_error
// naming the text when it holds characters the code page cannot represent.
std::string toCodePage(const QString& text);
// Converts code-page bytes to a QString (UTF-16) for printing or JSON.
QString fromCodePage(const std::string& bytes);

// Print code-page text on standard output / standard error, converted to UTF-8.
void printOut(const std::string& codePageText);
void printErr(const std::string& codePageText);

// The iconv name of the terminal's encoding: the codeset of the locale (LC_ALL, LC_CTYPE, LANG),
// UTF-8 when the locale names none or is C/POSIX.
std::string terminalEncoding();

// True when standard error is a terminal (progress lines are shown only then).
bool stderrIsTerminal();

} // namespace quillet::cli
