// Faults the built-in server can be asked to show, so that a mailing run can be tried against a
// server that misbehaves the way real ones do (quillet serve's fault options). All are off by
// default, and the server of a mailing run never switches one on.
#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <string>

namespace quillet {

struct ServerFaults {
    // Waited before every reply. The wait holds up the worker that serves the connection (and
    // the other connections it serves): meant for trying one client at a time.
    std::chrono::milliseconds replyDelay{0};
    // The greeting is never sent: the client waits for it in vain.
    bool noGreeting = false;
    // After this many messages on one connection the server replies to the last one and closes
    // the connection; 0: never.
    std::size_t disconnectAfter = 0;
    // Asked at every MAIL command (on the connection's worker): a reply line it returns, such as
    // "421 ...", is sent in place of the usual reply and the connection is closed.
    std::function<std::string()> refuseMail;
};

} // namespace quillet
