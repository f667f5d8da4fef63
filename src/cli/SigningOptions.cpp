#include "SigningOptions.h"

#include "Command.h"
#include "ProjectCommandTexts.h"
#include "ProjectFileAccess.h"
#include "SecretsCommandTexts.h"
#include "Terminal.h"

namespace quillet::cli {

void addSigningOptions(QCommandLineParser& parser)
{
    parser.addOption({"dkim-key", "Sign every message (DKIM) with the PEM private key in FILE.", "FILE"});
    parser.addOption({"dkim-selector", "The selector the signing key is published under.", "S"});
    parser.addOption({"dkim-domain", "The signing domain (default: the From address's domain).", "D"});
    parser.addOption({"dkim-algorithm", "rsa-sha256 or ed25519-sha256 (default: the key's kind).", "A"});
}

std::shared_ptr<const DkimSigner> runSigner(const QCommandLineParser& parser, const SigningSettings& stored)
{
    const auto choice = [&parser](const char* option, const QString& setting) {
        return parser.isSet(option) ? optionText(parser, option) : toCodePage(setting);
    };
    const std::string keyFile =
        parser.isSet("dkim-key") ? filePath(parser.value("dkim-key")) : stored.keyFile.toStdString();
    if (keyFile.empty())
        return nullptr;
    const std::string selector = choice("dkim-selector", stored.selector);
    if (selector.empty())
        throw UsageError(texts::kDkimSelectorRequired);
    // The stored algorithm only names the key's kind for the user; a typed one is a demand.
    const std::string algorithmName = parser.isSet("dkim-algorithm") ? optionText(parser, "dkim-algorithm") : "";
    std::optional<DkimAlgorithm> algorithm;
    if (!algorithmName.empty() && !(algorithm = ParseDkimAlgorithm(algorithmName)))
        throw UsageError(texts::fill(texts::kBadDkimAlgorithmOption, algorithmName));
    DkimKey key = DkimKey::Load(keyFile);
    if (algorithm && key.Algorithm() != *algorithm)
        throw UsageError(texts::fill(texts::kDkimKeyOtherKind, keyFile, std::string(DkimAlgorithmName(*algorithm))));
    return std::make_shared<const DkimSigner>(std::move(key), selector, choice("dkim-domain", stored.domain));
}

} // namespace quillet::cli
