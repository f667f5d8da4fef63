// The address scanner that harvests addresses from any text file: every address it lists is a
// piece of the text.
#include "FuzzSupport.h"

#include "addressbook/AddressScanner.h"

using namespace quillet;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text = fuzz::bytes(data, size);
    for (const std::string& address : scanAddresses(text))
        QUILLET_FUZZ_CHECK(text.find(address) != std::string_view::npos);
    return 0;
}
