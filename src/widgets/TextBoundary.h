// The window boundary: the core's code-page byte strings become QStrings and back here only.
#pragma once

#include "project/CodePage.h"

#include <QString>

#include <string>

namespace quillet {

inline QString toQt(const std::string& codePageText)
{
    return QString::fromStdString(codePageToUtf8(codePageText));
}

// Throws UnrepresentableText when the text holds characters the code page cannot represent.
inline std::string fromQt(const QString& text)
{
    return utf8ToCodePage(text.toStdString());
}

} // namespace quillet
