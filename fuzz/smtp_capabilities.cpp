// What the client learns from a server's EHLO reply (the authentication mechanisms, whether
// STARTTLS is offered) over any bytes a server sends, and the reading of a certificate
// fingerprint as a user or the settings file gives it.
#include "FuzzSupport.h"

#include "transport/SMTPClient.h"
#include "transport/TransportError.h"

#include <algorithm>

using namespace quillet;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string input(fuzz::bytes(data, size));
    const std::string fingerprint = NormalizeFingerprint(input);
    QUILLET_FUZZ_CHECK(fingerprint.empty() ||
                       (fingerprint.size() == 95 && NormalizeFingerprint(fingerprint) == fingerprint));

    TTCPConnection connection;
    connection.MaxLineLength = 512;
    connection.OpenInMemory();
    connection.Feed(input);
    try {
        for (;;) {
            connection.GetResponse();
            const std::vector<std::string>& text = connection.LastCmdResult().Text;
            std::vector<std::string> schemes;
            TSMTPClient::AddAuthSchemes(text, schemes);
            for (std::size_t i = 0; i < schemes.size(); ++i) {
                QUILLET_FUZZ_CHECK(!schemes[i].empty());
                QUILLET_FUZZ_CHECK(schemes[i].find(' ') == std::string::npos);
                QUILLET_FUZZ_CHECK(
                    std::none_of(schemes[i].begin(), schemes[i].end(), [](char c) { return c >= 'a' && c <= 'z'; }));
                QUILLET_FUZZ_CHECK(std::count(schemes.begin(), schemes.end(), schemes[i]) == 1);
            }
            (void)TSMTPClient::AnnouncesStartTls(text);
        }
    } catch (const ETransportError&) {
        // The bytes ran out (the server closed) or a line or reply was too long.
    }
    return 0;
}
