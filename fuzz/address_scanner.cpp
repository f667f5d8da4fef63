// The address scanner that harvests addresses from any text file: every address it lists is a
// piece of the text (one written into a URL with "%40" for its at sign, as it stands there), and
// holds no delimiter.
#include "FuzzSupport.h"

#include "addressbook/AddressScanner.h"

using namespace quillet;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text = fuzz::bytes(data, size);
    for (const std::string& address : scanAddresses(text)) {
        std::string encoded;
        for (const char c : address)
            encoded += c == '@' ? std::string("%40") : std::string(1, c);
        QUILLET_FUZZ_CHECK(text.find(address) != std::string_view::npos ||
                           text.find(encoded) != std::string_view::npos);
        QUILLET_FUZZ_CHECK(address.find_first_of(" ,:;<=>?\r\n") == std::string::npos);
    }
    return 0;
}
