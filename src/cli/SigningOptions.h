// The send command's signing options: --dkim-key FILE --dkim-selector S [--dkim-domain D]
// [--dkim-algorithm rsa-sha256|ed25519-sha256], over the program options' "Signing" settings.
#pragma once

#include "project/settings/SettingsStore.h"
#include "transport/DkimSigner.h"

#include <QCommandLineParser>

#include <memory>

namespace quillet::cli {

void addSigningOptions(QCommandLineParser& parser);

// The signer of this run: the options over the stored settings; none when no key is set. A key
// without a selector, an unknown algorithm or one the key is not of is a UsageError; a key that
// cannot be read fails with its reason.
std::shared_ptr<const DkimSigner> runSigner(const QCommandLineParser& parser, const SigningSettings& stored);

} // namespace quillet::cli
