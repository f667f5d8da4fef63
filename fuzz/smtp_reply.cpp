// Reading a server's replies on the client side: the line reading of the connection and the reply
// parser over any bytes a server sends, until the bytes run out or a reply is refused.
#include "FuzzSupport.h"

#include "transport/TCPConnection.h"
#include "transport/TransportError.h"

using namespace quillet;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    TTCPConnection connection;
    connection.MaxLineLength = 512;
    connection.OpenInMemory();
    connection.Feed(fuzz::bytes(data, size));
    try {
        for (;;) {
            const int code = connection.GetResponse();
            const TRFCReply& reply = connection.LastCmdResult();
            QUILLET_FUZZ_CHECK(code == reply.NumericCode);
            QUILLET_FUZZ_CHECK(!reply.Text.empty() && reply.Text.size() <= TTCPConnection::MaxReplyLines);
            (void)reply.FormattedText();
        }
    } catch (const ETransportError&) {
        // The bytes ran out (the server closed) or a line or reply was too long.
    }
    return 0;
}
