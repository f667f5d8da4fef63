// quillet serve's fault options: the built-in server rejects, fails, drops, delays or limits
// as asked, so that a mailing run can be tried against a server that misbehaves. Without any of
// them the server behaves exactly as it does for a mailing run.
//
//   --reject-rcpt REGEX    550 to every RCPT whose address matches (ECMAScript, anywhere in it)
//   --tempfail-every N     451 to every N-th RCPT (counted over all connections)
//   --tempfail-rate P      451 to each RCPT with probability P (0 to 1)
//   --disconnect-after N   close a connection after its N-th message
//   --delay-ms N           wait N ms before every reply
//   --no-greeting          never greet
//   --max-rate N/s         421 (and close) at MAIL once N messages began within the last second
#pragma once

#include <QCommandLineParser>

namespace quillet {
class TSMTPServer;
}

namespace quillet::cli {

void addServeFaultOptions(QCommandLineParser& parser);
// Sets the server's faults and wraps its RCPT hook (set the hook first).
void applyServeFaultOptions(const QCommandLineParser& parser, TSMTPServer& server);

} // namespace quillet::cli
