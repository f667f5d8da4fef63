// The unsubscribe token: HMAC-SHA256 of the address (as the suppression list compares it) under
// the sender's secret, base64url without padding (43 characters). Only the holder of the secret
// can make one, so nobody can unsubscribe an address that is not theirs.
//
// The one-click link is ENDPOINT?a=ADDRESS&t=TOKEN; the mailto link's subject is
// "unsubscribe ADDRESS TOKEN".
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace quillet {

std::string UnsubscribeToken(std::string_view secret, std::string_view address);
// Compares in constant time.
bool VerifyUnsubscribeToken(std::string_view secret, std::string_view address, std::string_view token);
// The secret kept in a file (a final line break is not part of it); at least 16 bytes.
std::string ReadUnsubscribeSecret(const std::filesystem::path& path);
// The subject of the mailto link.
std::string UnsubscribeSubject(std::string_view secret, std::string_view address);
// The one-click link: endpoint?a=ADDRESS&t=TOKEN with the address percent-encoded.
std::string UnsubscribeUrl(std::string_view endpoint, std::string_view secret, std::string_view address);

} // namespace quillet
