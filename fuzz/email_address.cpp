// Address items and address lists: the parsers of every address text from users, project files
// and the built-in server's peers. Their printed header forms stay on their lines.
#include "FuzzSupport.h"

#include "transport/EMailAddress.h"

using namespace quillet;

namespace {

// Encoded words are folded with CR LF TAB; no other CR or LF may reach a header.
bool staysOnItsLines(std::string_view header)
{
    for (std::size_t i = 0; i < header.size(); ++i) {
        if (header[i] == '\n')
            return false;
        if (header[i] == '\r') {
            if (header.substr(i, 3) != "\r\n\t")
                return false;
            i += 2;
        }
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text = fuzz::bytes(data, size);
    EncodingParameters parameters;
    parameters.WordEncoding = size % 2 ? 'B' : 'Q';

    TEMailAddressItem item;
    try {
        item.SetText(text);
    } catch (const EEMailAddressError&) {
        QUILLET_FUZZ_CHECK(item.Address.empty() && item.Name.empty());
    }
    (void)item.Text();
    QUILLET_FUZZ_CHECK(staysOnItsLines(item.HeaderForm(parameters)));

    TEMailAddressList list;
    try {
        list.SetAddressesText(text);
    } catch (const EEMailAddressError&) {
    }
    (void)list.AddressesText();
    QUILLET_FUZZ_CHECK(staysOnItsLines(list.HeaderForm(parameters)));
    return 0;
}
