#include "project/settings/StoredConnection.h"

#include "transport/ConnectionSecurity.h"
#include "transport/TlsSession.h"

#include <QStringList>

namespace quillet {

namespace {

// The most seconds a limit may count: more would overflow the milliseconds of a wait.
constexpr int kMaxLimitSeconds = 2'000'000;

int milliseconds(int seconds)
{
    return seconds > 0 && seconds < kMaxLimitSeconds ? seconds * 1000 : 0;
}

} // namespace

ConnectionSettings storedConnectionSettings(const SecuritySettings& stored)
{
    ConnectionSettings settings;
    if (const std::optional<ConnectionSecurity> security = ParseSecurity(stored.security.toStdString()))
        settings.security = *security;
    settings.trust.caFile = stored.caFile.toStdString();
    settings.allowPlainAuth = stored.allowPlainAuth;
    // "HOST:PORT=FINGERPRINT"; the host may hold colons itself (an IPv6 address).
    for (const QString& item : stored.pins.split(' ', Qt::SkipEmptyParts)) {
        const qsizetype equals = item.lastIndexOf('='), colon = item.lastIndexOf(':', equals);
        const std::string fingerprint = NormalizeFingerprint(item.mid(equals + 1).toStdString());
        if (equals < 0 || colon < 0 || fingerprint.empty())
            continue;
        settings.trust.pins.push_back({item.left(colon).toStdString(),
                                       static_cast<std::uint16_t>(item.mid(colon + 1, equals - colon - 1).toUInt()),
                                       fingerprint});
    }
    SmtpTimeLimits& limits = settings.limits;
    limits.connect = milliseconds(stored.connect);
    limits.greeting = milliseconds(stored.greeting);
    limits.command = milliseconds(stored.command);
    limits.mail = milliseconds(stored.mail);
    limits.rcpt = milliseconds(stored.rcpt);
    limits.data = milliseconds(stored.data);
    limits.dataBlock = milliseconds(stored.dataBlock);
    limits.dataEnd = milliseconds(stored.dataEnd);
    return settings;
}

} // namespace quillet
