#include "Terminal.h"

#include "project/CodePage.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>

namespace quillet::cli {

std::string toCodePage(const QString& text)
{
    return utf8ToCodePage(text.toStdString());
}

QString fromCodePage(const std::string& bytes)
{
    return QString::fromStdString(codePageToUtf8(bytes));
}

void printOut(const std::string& codePageText)
{
    const std::string utf8 = codePageToUtf8(codePageText);
    std::fwrite(utf8.data(), 1, utf8.size(), stdout);
}

void printErr(const std::string& codePageText)
{
    const std::string utf8 = codePageToUtf8(codePageText);
    std::fwrite(utf8.data(), 1, utf8.size(), stderr);
}

std::string terminalEncoding()
{
    for (const char* variable : {"LC_ALL", "LC_CTYPE", "LANG"}) {
        const char* value = std::getenv(variable);
        if (!value || !*value)
            continue;
        std::string locale(value);
        const std::size_t dot = locale.find('.');
        if (dot == std::string::npos)
            return "UTF-8";
        std::string codeset = locale.substr(dot + 1, locale.find('@', dot) - dot - 1);
        for (char& c : codeset)
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        return codeset.empty() || codeset == "UTF8" ? "UTF-8" : codeset;
    }
    return "UTF-8";
}

bool stderrIsTerminal()
{
    return isatty(STDERR_FILENO) != 0;
}

} // namespace quillet::cli
