// Template files: any bytes read back as lines and a template; a template written and read again
// is the same template.
#include "FuzzSupport.h"

#include "mailing/TemplateFile.h"

using namespace quillet;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::vector<std::string> lines = SplitTemplateLines(fuzz::bytes(data, size));
    for (const std::string& line : lines)
        QUILLET_FUZZ_CHECK(line.find_first_of(std::string_view("\r\n\0", 3)) == std::string::npos);
    const MessageTemplate read = TemplateFromLines(lines);
    const MessageTemplate again = TemplateFromLines(SplitTemplateLines(TemplateFileBytes(read)));
    QUILLET_FUZZ_CHECK(again.name == read.name && again.subject == read.subject && again.replyTo == read.replyTo);
    QUILLET_FUZZ_CHECK(again.body == read.body);
    return 0;
}
