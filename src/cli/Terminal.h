// Text crossing between the core's code-page byte strings and the terminal.
//
// The core keeps every text as bytes of the program's code page; the terminal and the
// arguments are UTF-8 (Qt's QString). These helpers convert at that boundary only.
#pragma once

#include <QString>

#include <string>

#include <termios.h>

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

// Turns echo off on the terminal for as long as it lives.
class NoEcho {
public:
    explicit NoEcho(int fd) : fd_(fd)
    {
        if (::tcgetattr(fd_, &saved_) != 0)
            return;
        termios quiet = saved_;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        active_ = ::tcsetattr(fd_, TCSAFLUSH, &quiet) == 0;
    }
    ~NoEcho()
    {
        if (active_)
            ::tcsetattr(fd_, TCSAFLUSH, &saved_);
    }
    NoEcho(const NoEcho&) = delete;
    NoEcho& operator=(const NoEcho&) = delete;

private:
    int fd_;
    termios saved_{};
    bool active_ = false;
};

} // namespace quillet::cli
