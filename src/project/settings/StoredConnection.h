// How the mailing run connects, as the settings store holds it: the one connection security,
// trust and time-limit setting of the default server and every account. The desktop program and
// the command line both start from it (the command line puts its options over it).
#pragma once

#include "mailing/MailingRun.h"
#include "project/settings/SettingsStore.h"

namespace quillet {

// The security mode (a text that is not a mode keeps auto), the trusted-certificates file, the
// pins (a damaged entry trusts nothing) and the time limits (seconds into milliseconds; 0 or a
// number too large to count in milliseconds waits without limit).
ConnectionSettings storedConnectionSettings(const SecuritySettings& stored);

} // namespace quillet
