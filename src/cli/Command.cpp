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
    std::sort(commands.begin(), commands.end(),
              [](const auto& a, const auto& b) { return a->name() < b->name(); });
    return commands;
}

} // namespace quillet::cli
