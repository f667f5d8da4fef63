// Message-ID values: "<TIME.RANDOM@DOMAIN>", where TIME is the UTC moment (YYYYMMDDhhmmss),
// RANDOM 128 bits from the system's random source (hex), and DOMAIN the sender address's domain,
// or this computer's host name when the address has none that can stand there. The random part
// makes the value unique across runs and machines without any state kept between them.
#pragma once

#include <string>
#include <string_view>

namespace quillet {

std::string NewMessageId(std::string_view senderAddress);

// The domain part a Message-ID takes from an address ("" when it has none fit for it: letters,
// digits, "-" and "." only, not starting or ending with ".").
std::string MessageIdDomain(std::string_view address);

} // namespace quillet
