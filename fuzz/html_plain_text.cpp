// The plain text made from an HTML body, over any page: it never fails or runs long, its lines
// hold no line break and end in no space, and empty lines stand alone, never first or last.
#include "FuzzSupport.h"

#include "mailing/HtmlPlainText.h"
#include "mailing/TemplateFile.h"

using namespace quillet;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::vector<std::string> page = SplitTemplateLines(fuzz::bytes(data, size));
    const std::vector<std::string> text = PlainTextFromHtml(page);
    for (std::size_t i = 0; i < text.size(); ++i) {
        const std::string& line = text[i];
        QUILLET_FUZZ_CHECK(line.find_first_of("\r\n") == std::string::npos);
        QUILLET_FUZZ_CHECK(line.empty() || (line.back() != ' ' && line.back() != '\t'));
        // No empty line at either end and never two in a row.
        QUILLET_FUZZ_CHECK(!line.empty() || (i > 0 && i + 1 < text.size() && !text[i - 1].empty()));
    }
    return 0;
}
