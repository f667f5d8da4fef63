// The checks `recipient add` and `recipient edit` make of an address: valid (unless --force
// is set) and, as a note, not held by another recipient of the group.
#pragma once

#include "project/Project.h"

#include <QCommandLineParser>

#include <string>

namespace quillet::cli {

// Fails with "Invalid e-mail address ..." and its reason unless the address is valid or the
// parser has --force set.
void requireValidAddress(const QCommandLineParser& parser, const std::string& address);
// Notes on standard error when a recipient of the group other than `except` has the address.
void noteDuplicate(const Project& project, const std::string& group, const std::string& address,
                   const RecipientRecord* except = nullptr);

} // namespace quillet::cli
