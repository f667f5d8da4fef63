// Converting a text file between encodings (body files, UTF-8 projects): either the converted
// text or UnrepresentableText; the UTF-8 checks agree with each other, and a field cut never
// ends in half a UTF-8 character.
#include "FuzzSupport.h"

#include "project/CodePage.h"

using namespace quillet;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view bytes = fuzz::bytes(data, size);
    const std::size_t valid = validUtf8Length(bytes);
    QUILLET_FUZZ_CHECK(valid <= bytes.size());
    QUILLET_FUZZ_CHECK(isValidUtf8(bytes) == (valid == bytes.size()));
    QUILLET_FUZZ_CHECK(isValidUtf8(bytes.substr(0, valid)));
    for (const auto& [from, to] : {std::pair{"UTF-8", "CP1252"},
                                   {"UTF-8", "CP932"},
                                   {"CP932", "UTF-8"},
                                   {"CP1252", "UTF-8"},
                                   {"UTF-16LE", "UTF-8"},
                                   {"ISO-2022-JP", "CP932"},
                                   {"UTF-8", "UTF-8"}}) {
        try {
            const std::string out = convertText(bytes, from, to, "fuzz");
            if (std::string_view(to) == "UTF-8")
                QUILLET_FUZZ_CHECK(isValidUtf8(out));
        } catch (const UnrepresentableText&) {
        }
    }
    selectCodePage("utf-8");
    if (isValidUtf8(bytes))
        for (std::size_t limit : {std::size_t(0), std::size_t(1), std::size_t(5), std::size_t(255)})
            QUILLET_FUZZ_CHECK(isValidUtf8(cutAtCharacter(bytes, limit)));
    selectCodePage("auto");
    return 0;
}
