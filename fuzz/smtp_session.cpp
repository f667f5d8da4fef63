// The built-in server's session: any bytes a client sends, served without a socket. The hooks
// accept everything and read the received data, as the server window does. No reply line carries
// a bare CR or LF.
#include "FuzzSupport.h"

#include "server/SMTPServer.h"

#include <fstream>
#include <iterator>

using namespace quillet;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    TSMTPServer server;
    server.MaxMessageSize = 64 * 1024;
    server.OnCommandMAIL = [](TSMTPServerThread&, bool& accept, const TEMailAddressItem&) { accept = true; };
    server.OnCommandRCPT = [](TSMTPServerThread&, bool& accept, bool&, const TEMailAddressItem& address, std::string&) {
        accept = !address.Address.empty();
    };
    server.OnReceiveRaw = [](TSMTPServerThread&, const ReceivedData& received, const TEMailAddressList& rcpt,
                             std::string&) {
        std::ifstream file(received.Path, std::ios::binary);
        const std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
        QUILLET_FUZZ_CHECK(bytes.size() == received.Size);
        (void)rcpt.AddressesText();
    };
    const std::string replies = server.ServeSessionFromMemory(fuzz::bytes(data, size));
    for (std::size_t i = replies.find_first_of("\r\n"); i != std::string::npos;
         i = replies.find_first_of("\r\n", i + 2))
        QUILLET_FUZZ_CHECK(replies.compare(i, 2, "\r\n") == 0);
    return 0;
}
