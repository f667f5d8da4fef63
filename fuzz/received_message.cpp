// The parser of messages the built-in server received (headers, MIME parts, transfer encodings,
// encoded words, charsets, nested parts) over any bytes a client sends as data: every text it
// gives is UTF-8, headers, HTML and attachment names included.
#include "FuzzSupport.h"

#include "project/CodePage.h"
#include "transport/ReceivedMessage.h"

using namespace quillet;

namespace {

bool isUtf8(std::string_view text)
{
    while (!text.empty()) {
        const std::size_t length = static_cast<unsigned char>(text[0]) < 0x80 ? 1 : utf8SequenceLength(text);
        if (length == 0)
            return false;
        text.remove_prefix(length);
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    TEMailAddressList envelope;
    envelope.Add(TEMailAddressItem("ann@example.org", "Ann"));
    const ReceivedMessage message = ParseReceivedMessage(fuzz::bytes(data, size), envelope);
    QUILLET_FUZZ_CHECK(isUtf8(message.to) && isUtf8(message.subject));
    QUILLET_FUZZ_CHECK(message.body.size() <= kMaxReceivedPreviewLines);
    for (const std::string& line : message.body)
        QUILLET_FUZZ_CHECK(isUtf8(line));
    QUILLET_FUZZ_CHECK(message.html.size() <= kMaxReceivedPreviewLines);
    for (const std::string& line : message.html)
        QUILLET_FUZZ_CHECK(isUtf8(line));
    for (const auto& [name, value] : message.headers)
        QUILLET_FUZZ_CHECK(isUtf8(name) && isUtf8(value));
    for (const std::string& name : message.attachments)
        QUILLET_FUZZ_CHECK(isUtf8(name));
    return 0;
}
