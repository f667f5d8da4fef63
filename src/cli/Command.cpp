#include "Command.h"

#include <algorithm>

namespace quillet::cli {

QStringList Command::positional(const QCommandLineParser& parser, int min, int max)
{
    const QStringList args = parser.positionalArguments();
    if (args.size() < min)
        throw UsageError("missing argument");
    if (args.size() > max)
        throw UsageError("unexpected argument \"" + args.at(max).toStdString() + "\"");
    return args;
}

void Command::requireOptions(const QCommandLineParser& parser, std::initializer_list<const char*> options)
{
    for (const char* option : options)
        if (!parser.isSet(option))
            throw UsageError(std::string("--") + option + " is required");
}

int Command::portOption(const QCommandLineParser& parser, const QString& option, int lowest, int fallback)
{
    if (!parser.isSet(option))
        return fallback;
    const QString text = parser.value(option).trimmed();
    bool ok = false;
    const int port = text.toInt(&ok);
    const bool digitsOnly =
        !text.isEmpty() && std::all_of(text.begin(), text.end(), [](QChar c) { return c.isDigit(); });
    if (!ok || !digitsOnly || port < lowest || port > 65535)
        throw UsageError("--" + option.toStdString() + " takes a number from " + std::to_string(lowest) + " to 65535");
    return port;
}

namespace {
std::string& codePageOptionText()
{
    static std::string choice;
    return choice;
}
} // namespace

const std::string& codePageOption()
{
    return codePageOptionText();
}

void setCodePageOption(std::string choice)
{
    codePageOptionText() = std::move(choice);
}

CommandTable& CommandTable::instance()
{
    static CommandTable table;
    return table;
}

void CommandTable::add(CommandFactory factory)
{
    factories_.push_back(std::move(factory));
}

std::vector<std::unique_ptr<Command>> CommandTable::createAll() const
{
    std::vector<std::unique_ptr<Command>> commands;
    for (const auto& factory : factories_)
        commands.push_back(factory());
    std::sort(commands.begin(), commands.end(), [](const auto& a, const auto& b) { return a->name() < b->name(); });
    return commands;
}

} // namespace quillet::cli
