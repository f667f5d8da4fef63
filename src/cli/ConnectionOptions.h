// The send command's options for real mail servers (see "Delivery through real servers" in the
// command-line guide): connection security, extra trust, and a password that stays off the
// command line.
#pragma once

#include "mailing/MailingRun.h"
#include "project/settings/SettingsStore.h"

#include <QCommandLineParser>

#include <optional>
#include <string>

namespace quillet::cli {

void addConnectionOptions(QCommandLineParser& parser);

// The stored settings with this run's --security, --tls-ca, --tls-pin and --allow-plain-auth
// over them. A value that
// is not understood is a UsageError.
ConnectionSettings connectionSettings(const QCommandLineParser& parser, const SecuritySettings& stored);

// The password given for this run, in this order: --password, --password-file (its first line),
// QUILLET_PASSWORD; otherwise, when --user is given and standard input is a terminal, one read
// without echo after a prompt. Nothing when none of them applies.
std::optional<std::string> runPassword(const QCommandLineParser& parser);

} // namespace quillet::cli
