#include "Terminal.h"

#include "project/CodePage.h"

#include <cstdio>
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

bool stderrIsTerminal()
{
    return isatty(STDERR_FILENO) != 0;
}

} // namespace quillet::cli
