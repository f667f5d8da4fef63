// quillet dkim keygen --domain D --selector S --output DIR [--algorithm A]: writes a new signing
// key (S.private, owner-only) and its zone-file line (S.txt), and prints the TXT record.
#include "Command.h"
#include "ProjectCommandTexts.h"
#include "ProjectFileAccess.h"
#include "SecretsCommandTexts.h"

#include "transport/DkimKeyFiles.h"

#include <cstdio>

namespace quillet::cli {

class DkimKeygenCommand : public Command {
public:
    DkimKeygenCommand() : Command("dkim keygen", "Create a key for signing messages (DKIM)") {}

    void defineOptions(QCommandLineParser& parser) override
    {
        parser.addOption({"domain", "The signing domain.", "D"});
        parser.addOption({"selector", "The selector the key is published under.", "S"});
        parser.addOption({"output", "The folder the key files are written to.", "DIR"});
        parser.addOption({"algorithm", "rsa-sha256 (default) or ed25519-sha256.", "A"});
    }

    int execute(const QCommandLineParser& parser) override
    {
        positional(parser, 0, 0);
        requireOptions(parser, {"domain", "selector", "output"});
        const std::string algorithmName = parser.isSet("algorithm") ? optionText(parser, "algorithm") : "rsa-sha256";
        const auto algorithm = ParseDkimAlgorithm(algorithmName);
        if (!algorithm)
            throw UsageError(texts::fill(texts::kBadDkimAlgorithm, algorithmName));
        const DkimKeyFiles files = CreateDkimKeyFiles(optionText(parser, "output"), optionText(parser, "selector"),
                                                      optionText(parser, "domain"), *algorithm);
        std::fprintf(stderr, "%s\n", texts::fill(texts::kDkimKeyWritten, files.privateKeyPath).c_str());
        std::printf("%s\n", files.zoneRecord.c_str());
        return 0;
    }
};

QUILLET_REGISTER_COMMAND(DkimKeygenCommand);

} // namespace quillet::cli
