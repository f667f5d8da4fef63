// What the suppress commands share: the list they work on and the reason option.
#pragma once

#include "feedback/SuppressionStore.h"

#include <QCommandLineParser>

#include <string>

namespace quillet::cli {

// The list named by --suppression-list (any command), QUILLET_SUPPRESSION or the program
// option, else the one under the data folder.
SuppressionStore openSuppressionList();
// The --reason option's value (`fallback` when not given); a UsageError for an unknown reason.
std::string reasonOption(const QCommandLineParser& parser, const std::string& fallback);

} // namespace quillet::cli
