#include "transport/TransportError.h"

#include "transport/MessageTexts.h"

namespace quillet {

EStopped::EStopped() : ETransportError(kStoppedText) {}

ECertificateRejected::ECertificateRejected(std::string host, unsigned port, std::string reason, std::string fingerprint)
    : ETlsError(FormatText(kCertificateRejectedFormat, {host, std::to_string(port), reason, fingerprint})),
      host_(std::move(host)), port_(port), reason_(std::move(reason)), fingerprint_(std::move(fingerprint))
{
}

} // namespace quillet
