#include "Terminal.h"

#include <cstdio>
#include <unistd.h>

namespace quillet::cli {

// Until the code-page layer lands, texts pass through as UTF-8.
std::string toCodePage(const QString& text)
{
    return text.toStdString();
}

QString fromCodePage(const std::string& bytes)
{
    return QString::fromStdString(bytes);
}

void printOut(const std::string& codePageText)
{
    const std::string utf8 = fromCodePage(codePageText).toStdString();
    std::fwrite(utf8.data(), 1, utf8.size(), stdout);
}

void printErr(const std::string& codePageText)
{
    const std::string utf8 = fromCodePage(codePageText).toStdString();
    std::fwrite(utf8.data(), 1, utf8.size(), stderr);
}

bool stderrIsTerminal()
{
    return isatty(STDERR_FILENO) != 0;
}

} // namespace quillet::cli
