// One command of the quillet command line ("project new", "serve", ...).
//
// Each command lives in its own source file, derives from Command and registers itself with
// QUILLET_REGISTER_COMMAND. main() looks the command up by its words, lets it add its options to
// a QCommandLineParser, parses, and calls execute(). A command reports failure by throwing:
// UsageError (exit status 2, usage printed) or any std::exception whose what() is the text the
// user sees (exit status 1).
#pragma once

#include <QCommandLineParser>
#include <QString>
#include <QStringList>

#include <functional>
#include <initializer_list>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace quillet::cli {

class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class Command {
public:
    Command(QString name, QString description) : name_(std::move(name)), description_(std::move(description)) {}
    virtual ~Command() = default;
    Command(const Command&) = delete;
    Command& operator=(const Command&) = delete;

    // The command's words as typed, e.g. "project new".
    const QString& name() const { return name_; }
    const QString& description() const { return description_; }

    // Adds options and positional arguments (for the help text) to the parser.
    virtual void defineOptions(QCommandLineParser& parser) = 0;
    // Runs the command once the arguments are parsed; returns the exit status.
    virtual int execute(const QCommandLineParser& parser) = 0;

protected:
    // The positional arguments after the command words; throws UsageError unless there are
    // between min and max of them.
    static QStringList positional(const QCommandLineParser& parser, int min, int max);
    // Throws UsageError ("--group is required") for the first of the options that is not given.
    static void requireOptions(const QCommandLineParser& parser, std::initializer_list<const char*> options);
    // The port number given with the option, or `fallback` when it is not given. A value that
    // is not a decimal number from `lowest` to 65535 is a UsageError: a port typed on the
    // command line is never quietly replaced by another one.
    static int portOption(const QCommandLineParser& parser, const QString& option, int lowest, int fallback);

private:
    QString name_;
    QString description_;
};

// The --codepage choice of this command line, as typed (empty when none was given): a command
// that finds a code page recorded (a resumed run) must not quietly override it.
const std::string& codePageOption();
void setCodePageOption(std::string choice);

using CommandFactory = std::function<std::unique_ptr<Command>()>;

// The table of commands, filled before main() runs.
class CommandTable {
public:
    static CommandTable& instance();
    void add(CommandFactory factory);
    // Every registered command, sorted by name.
    std::vector<std::unique_ptr<Command>> createAll() const;

private:
    std::vector<CommandFactory> factories_;
};

struct CommandRegistration {
    explicit CommandRegistration(CommandFactory factory) { CommandTable::instance().add(std::move(factory)); }
};

} // namespace quillet::cli

#define QUILLET_REGISTER_COMMAND(Class)                                                                                \
    static const ::quillet::cli::CommandRegistration registration_##Class                                              \
    {                                                                                                                  \
        [] { return std::unique_ptr<::quillet::cli::Command>(new Class()); }                                           \
    }
