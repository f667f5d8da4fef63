#include "ProjectFileAccess.h"

#include "Command.h"
#include "ProjectCommandTexts.h"
#include "Terminal.h"
#include "addressbook/AddressBookTexts.h"
#include "addressbook/GroupOperations.h"
#include "project/CodePage.h"
#include "project/CodePageMismatch.h"
#include "MailingCommandTexts.h"
#include "ProjectCommandTexts.h"
#include "project/ProjectFileReader.h"
#include "project/ProjectFileWriter.h"
#include "project/WholeFile.h"

#include <QFile>

#include <stdexcept>

namespace quillet::cli {

void rethrowWithPathShown(const ProjectFileError& error, const std::string& path)
{
    std::string message = error.what();
    if (const std::size_t at = message.find(path); !path.empty() && at != std::string::npos)
        message.replace(at, path.size(), utf8ToCodePageForMessage(path));
    throw ProjectFileError(error.kind(), message);
}

std::string readArgumentFile(const QString& argument)
{
    const std::string path = filePath(argument);
    try {
        return readWholeFile(path);
    } catch (const ProjectFileError& error) {
        rethrowWithPathShown(error, path);
    }
}

void writeArgumentFile(const QString& argument, std::string_view bytes)
{
    const std::string path = filePath(argument);
    try {
        replaceWholeFile(path, bytes);
    } catch (const ProjectFileError& error) {
        rethrowWithPathShown(error, path);
    }
}

std::string filePath(const QString& argument)
{
    return QFile::encodeName(argument).toStdString();
}

Project openProjectFile(const QString& argument)
{
    const std::string path = filePath(argument);
    try {
        bool otherCodePage = false;
        Project project = loadProjectFileJudgingCodePage(path, otherCodePage);
        if (otherCodePage)
            printErr(utf8ToCodePageForMessage(cli::texts::fill(cli::texts::kCodePageMismatch, argument.toStdString())) +
                     "\n");
        return project;
    } catch (const ProjectFileError& error) {
        rethrowWithPathShown(error, path);
    }
}

void saveOpenProject(Project& project)
{
    try {
        saveProject(project);
    } catch (const ProjectFileError& error) {
        rethrowWithPathShown(error, project.path);
    }
}

std::string argumentText(const QString& value, const QString& what)
{
    try {
        return utf8ToCodePage(value.toStdString());
    } catch (const UnrepresentableText&) {
        // Where: the line and column of the first such character.
        std::string where;
        try {
            convertText(value.toStdString(), "UTF-8", codePageName(), what.toStdString());
        } catch (const UnrepresentableText& detail) {
            where = std::string(" (") + detail.what() + ")";
        }
        throw UnrepresentableText(utf8ToCodePageForMessage(
            (QStringLiteral("The text of %1 holds characters that code page %2 cannot represent: \"%3\"")
                 .arg(what, QString::fromLatin1(codePageName()), value))
                .toStdString() +
            where));
    }
}

std::string optionText(const QCommandLineParser& parser, const QString& option)
{
    return argumentText(parser.value(option), "--" + option);
}

std::pair<std::string, std::string> parameterOption(const QString& value)
{
    const qsizetype equals = value.indexOf('=');
    if (equals < 0)
        throw UsageError(texts::fill(texts::kParamWithoutValue, value.toStdString()));
    return {argumentText(value.left(equals), "--param"), argumentText(value.mid(equals + 1), "--param")};
}

std::string groupOption(const QCommandLineParser& parser)
{
    return ShortString255(optionText(parser, "group")).str();
}

void requireGroup(const Project& project, const std::string& group)
{
    if (!findGroup(project, group))
        throw std::runtime_error(quillet::texts::groupDoesNotExist(group));
}

} // namespace quillet::cli
