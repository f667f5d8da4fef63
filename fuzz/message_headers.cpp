// The headers a mailing adds: "Name: value" from the command line or the send window, the
// List-Unsubscribe value, Message-ID domains and macro values escaped for HTML and URLs. What
// they accept never holds a line break, and escaped values hold nothing that ends their form.
#include "FuzzSupport.h"

#include "mailing/MacroSubstitution.h"
#include "mailing/MessageHeaders.h"
#include "transport/MessageId.h"

using namespace quillet;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view bytes = fuzz::bytes(data, size);
    try {
        const auto [name, value] = ParseExtraHeader(bytes);
        QUILLET_FUZZ_CHECK(!name.empty() && name.find_first_of(":\r\n ") == std::string::npos);
        QUILLET_FUZZ_CHECK(value.find_first_of("\r\n") == std::string::npos);
    } catch (const EMessageHeaderError&) {
    }
    fuzz::Fields fields(bytes, '\0');
    const std::string_view mailto = fields.next();
    const std::string_view url = fields.next();
    const std::string list = ListUnsubscribeValue(mailto, url);
    for (const char c : list)
        QUILLET_FUZZ_CHECK(c > 31 && c < 127);
    const std::string domain = MessageIdDomain(bytes);
    QUILLET_FUZZ_CHECK(domain.find_first_of("<>@ \r\n") == std::string::npos);
    QUILLET_FUZZ_CHECK(EscapeMacroValue(bytes, MacroValueForm::Html).find_first_of("<>\"'") == std::string::npos);
    for (const char c : EscapeMacroValue(bytes, MacroValueForm::Url))
        QUILLET_FUZZ_CHECK(c > 32 && c < 127 && c != '&' && c != '?' && c != '=');
    return 0;
}
