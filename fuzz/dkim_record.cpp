// A signing key's published record as pasted in or answered by DNS, and the canonical forms the
// signer makes: the record reader over any text, the relaxed header form over any field, and the
// body hash, which must not depend on how the body's bytes were cut into writes.
#include "FuzzSupport.h"

#include "transport/DkimSigner.h"

using namespace quillet;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view input = fuzz::bytes(data, size);
    if (const auto record = ParseDkimRecord(input)) {
        for (const char c : record->publicKey)
            QUILLET_FUZZ_CHECK(c != ' ' && c != '\t' && c != '\r' && c != '\n');
    }

    const std::string header = DkimRelaxedHeader(input);
    QUILLET_FUZZ_CHECK(header.size() >= 3 && header.compare(header.size() - 2, 2, "\r\n") == 0);
    QUILLET_FUZZ_CHECK(header.find_first_of("\r\n") == header.size() - 2);

    DkimBodyHash whole;
    whole.Write(input);
    DkimBodyHash cut;
    const std::size_t at = size ? data[0] % (size + 1) : 0;
    cut.Write(input.substr(0, at));
    cut.Write(input.substr(at));
    QUILLET_FUZZ_CHECK(whole.Finish() == cut.Finish());
    return 0;
}
