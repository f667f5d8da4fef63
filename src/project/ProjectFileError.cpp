#include "ProjectFileError.h"

namespace quillet {

std::string formatFileMessage(const char* format, const std::string& path, const std::string& reason)
{
    std::string result;
    bool pathDone = false;
    for (const char* p = format; *p; ++p) {
        if (p[0] == '%' && p[1] == 's') {
            result += pathDone ? reason : path;
            pathDone = true;
            ++p;
        } else {
            result += *p;
        }
    }
    return result;
}

} // namespace quillet
