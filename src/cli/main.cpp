// quillet: the command line of Orv Quillet. Looks the command up by its words and runs it.
#include "Command.h"
#include "Terminal.h"

#include "project/CodePage.h"

#include <BuildRevision.h>

#include <QCoreApplication>
#include <QSettings>
#include <QTextStream>

#include <cstdio>
#include <exception>
#include <stdexcept>

using namespace quillet::cli;

namespace {

QString overview(const std::vector<std::unique_ptr<Command>>& commands)
{
    QString text = "Usage: quillet COMMAND [OPTIONS] [ARGUMENTS]\n"
                   "Orv Quillet: personalised e-mail to lists of recipients.\n\n"
                   "Commands:\n";
    for (const auto& command : commands)
        text += "  " + command->name().leftJustified(18) + " " + command->description() + "\n";
    text += "\nquillet COMMAND --help shows a command's options; quillet --version its version.\n"
            "--codepage auto|utf-8|windows-1252|shift_jis|gbk|big5|cp949 (before or after the command; or the\n"
            "environment variable QUILLET_CODEPAGE) chooses the code page of the project's texts: auto follows\n"
            "the locale. A project file does not record its code page: open it under the one it was written in.\n"
            "--suppression-list FILE (any command; or QUILLET_SUPPRESSION) chooses the suppression list.\n";
    return text;
}

// Finds the command whose words begin the argument list (the longest such name wins).
Command* findCommand(const std::vector<std::unique_ptr<Command>>& commands, const QStringList& args, int& wordCount)
{
    Command* found = nullptr;
    wordCount = 0;
    for (const auto& command : commands) {
        const QStringList words = command->name().split(' ');
        if (words.size() <= wordCount || words.size() > args.size() - 1)
            continue;
        if (args.mid(1, words.size()) == words) {
            found = command.get();
            wordCount = int(words.size());
        }
    }
    return found;
}

// The parser's help with the command named in its usage line: Qt writes the program's own
// name there ("Usage: quillet [options]"), which does not say which command it is about.
QString commandHelp(const QCommandLineParser& parser, const Command& command)
{
    QString text = parser.helpText();
    const QString usage = "Usage: " + QCoreApplication::arguments().constFirst();
    if (text.startsWith(usage))
        text.replace(0, usage.size(), "Usage: quillet " + command.name());
    return text;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName("quillet");
    QCoreApplication::setApplicationVersion(QUILLET_VERSION);
    QCoreApplication::setOrganizationName("Orv");

    QStringList args = QCoreApplication::arguments();
    // The code page: --codepage (any command), else QUILLET_CODEPAGE, else the program option.
    QString codePage;
    for (int i = 1; i < args.size(); ++i) {
        if (args.at(i) == "--codepage" && i + 1 < args.size()) {
            codePage = args.at(i + 1);
            args.remove(i, 2);
            break;
        }
        if (args.at(i).startsWith("--codepage=")) {
            codePage = args.at(i).mid(11);
            args.removeAt(i);
            break;
        }
    }
    quillet::cli::setCodePageOption(codePage.toStdString());
    if (codePage.isEmpty())
        codePage = qEnvironmentVariable("QUILLET_CODEPAGE");
    if (codePage.isEmpty())
        codePage = QSettings("Orv", "Quillet").value("Option/CodePage").toString();
    try {
        if (!codePage.isEmpty())
            quillet::selectCodePage(codePage.toStdString());
    } catch (const std::invalid_argument& e) {
        std::fprintf(stderr, "quillet: %s\n", e.what());
        return 2;
    }
    // The suppression list: --suppression-list FILE (any command), else QUILLET_SUPPRESSION, else
    // the program option; the core finds it in QUILLET_SUPPRESSION.
    for (int i = 1; i < args.size(); ++i) {
        QString list;
        if (args.at(i) == "--suppression-list" && i + 1 < args.size()) {
            list = args.at(i + 1);
            args.remove(i, 2);
        } else if (args.at(i).startsWith("--suppression-list=")) {
            list = args.at(i).mid(19);
            args.removeAt(i);
        } else {
            continue;
        }
        qputenv("QUILLET_SUPPRESSION", list.toLocal8Bit());
        break;
    }
    if (qEnvironmentVariable("QUILLET_SUPPRESSION").isEmpty()) {
        const QString option = QSettings("Orv", "Quillet").value("Option/SuppressionList").toString();
        if (!option.isEmpty())
            qputenv("QUILLET_SUPPRESSION", option.toLocal8Bit());
    }
    const auto commands = CommandTable::instance().createAll();

    if (args.size() < 2 || args.at(1) == "--help" || args.at(1) == "-h" || args.at(1) == "help") {
        std::fputs(overview(commands).toUtf8().constData(), stdout);
        return args.size() < 2 ? 2 : 0;
    }
    if (args.at(1) == "--version" || args.at(1) == "-v") {
        std::printf("quillet %s (%s)\n", QUILLET_VERSION, QUILLET_REVISION);
        return 0;
    }

    int wordCount = 0;
    Command* command = findCommand(commands, args, wordCount);
    if (!command) {
        std::fprintf(stderr, "quillet: unknown command \"%s\"\n\n", args.at(1).toUtf8().constData());
        std::fputs(overview(commands).toUtf8().constData(), stderr);
        return 2;
    }

    QCommandLineParser parser;
    parser.setApplicationDescription(command->description());
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption help({"h", "help"}, "Displays help on this command.");
    parser.addOption(help);
    command->defineOptions(parser);

    // The parser sees "quillet project new" as the program name and the rest as its arguments.
    QStringList commandArgs{"quillet " + command->name()};
    commandArgs += args.mid(1 + wordCount);
    if (!parser.parse(commandArgs)) {
        std::fprintf(stderr, "quillet %s: %s\n\n%s", command->name().toUtf8().constData(),
                     parser.errorText().toUtf8().constData(), commandHelp(parser, *command).toUtf8().constData());
        return 2;
    }
    if (parser.isSet(help)) {
        std::fputs(commandHelp(parser, *command).toUtf8().constData(), stdout);
        return 0;
    }

    try {
        return command->execute(parser);
    } catch (const UsageError& e) {
        std::fprintf(stderr, "quillet %s: %s\n\n%s", command->name().toUtf8().constData(), e.what(),
                     commandHelp(parser, *command).toUtf8().constData());
        return 2;
    } catch (const std::exception& e) {
        printErr(std::string(e.what()) + "\n");
        return 1;
    }
}
