// quillet dkim check --domain D --selector S --key FILE [--record TEXT]: compares the published
// TXT record with the key. The record is the one given, else standard input when it is not a
// terminal, else the answer of DNS.
#include "Command.h"
#include "ProjectCommandTexts.h"
#include "ProjectFileAccess.h"
#include "SecretsCommandTexts.h"

#include "transport/DkimKeyFiles.h"

#include <cstdio>
#include <iostream>
#include <iterator>
#include <stdexcept>
#include <unistd.h>

namespace quillet::cli {

class DkimCheckCommand : public Command {
public:
    DkimCheckCommand() : Command("dkim check", "Compare a published DKIM record with a key") {}

    void defineOptions(QCommandLineParser& parser) override
    {
        parser.addOption({"domain", "The signing domain.", "D"});
        parser.addOption({"selector", "The selector the key is published under.", "S"});
        parser.addOption({"key", "The private key file.", "FILE"});
        parser.addOption({"record", "The TXT record's text (default: standard input, or DNS).", "TEXT"});
    }

    int execute(const QCommandLineParser& parser) override
    {
        positional(parser, 0, 0);
        requireOptions(parser, {"domain", "selector", "key"});
        const std::string keyPath = optionText(parser, "key");
        const DkimKey key = DkimKey::Load(keyPath);
        std::string record;
        if (parser.isSet("record"))
            record = optionText(parser, "record");
        else if (!::isatty(STDIN_FILENO))
            record.assign(std::istreambuf_iterator<char>(std::cin), {});
        else
            record = LookUpDkimRecord(optionText(parser, "selector"), optionText(parser, "domain"));

        switch (CheckDkimRecord(key, record)) {
        case DkimRecordVerdict::Matches: std::printf("%s\n", texts::kDkimRecordMatches); return 0;
        case DkimRecordVerdict::OtherKey: throw std::runtime_error(texts::fill(texts::kDkimRecordOtherKey, keyPath));
        case DkimRecordVerdict::OtherKeyType:
            throw std::runtime_error(texts::fill(texts::kDkimRecordOtherType, keyPath));
        case DkimRecordVerdict::Revoked: throw std::runtime_error(texts::kDkimRecordRevoked);
        case DkimRecordVerdict::NotARecord: break;
        }
        throw std::runtime_error(texts::kDkimNotARecord);
    }
};

QUILLET_REGISTER_COMMAND(DkimCheckCommand);

} // namespace quillet::cli
