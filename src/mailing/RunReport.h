// What a mailing run did, kept for the texts that end it: the line under "Mail sending
// complete!" (also after Stop) and the lines under the error that ended a run, which say where
// the error happened (server, port and, in the rotating route, which account), how many
// messages had gone out and whose message was under way.
//
// Every closing text of a run is built here, so a new count (skipped, failed, ...) is added in
// one place for the desktop program and the command line alike.
#pragma once

#include "DeliveryRecorder.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace quillet {

// The server a run was talking to.
struct RunServerPlace {
    enum class Kind { DefaultServer, Account, Builtin };
    Kind kind = Kind::DefaultServer;
    std::string host;
    std::uint16_t port = 0;
    // Kind::Account: the account's row (0-based) and user name.
    int accountRow = -1;
    std::string accountUser;
    // The rotating route names the default server as such, since other servers take turns.
    bool rotating = false;
};

struct MailingRunReport {
    // The route was ready and the recipients counted (a run refused before that did nothing).
    bool started = false;
    std::size_t total = 0;
    std::size_t sent = 0;
    bool stopped = false;
    bool failed = false;
    // After a failure: the recipient whose message was under way (empty when the run failed
    // before any message, e.g. opening its connection), and the server when the failure was
    // one of the network or the server (not of a file or a macro).
    std::string failedRecipient;
    std::optional<RunServerPlace> server;
    // The recipients left out because their address is no mailbox.
    std::vector<std::string> invalidAddresses;
};

// "Server: HOST, port N", with "(default mail server)", "(account N, user U)" or
// "(built-in mail server)" where the route makes it useful.
std::string ServerPlaceText(const RunServerPlace& place);

// "N of M messages sent": the line under "Mail sending complete!".
std::string MessagesSentText(const MailingRunReport& report);

// "N skipped, M failed": the line under it when a run went on past recipients it left out or
// could not send to (failed counts the rejected and unknown ones too).
std::string SkipsAndFailuresText(const RunCounts& counts);

// The lines under the text of the error that ended the run, each after a line break: the
// server, the messages sent and the recipient under way. Before the run started (the built-in
// server could not listen, ...) only the server, if any.
std::string RunFailureText(const MailingRunReport& report);

} // namespace quillet
