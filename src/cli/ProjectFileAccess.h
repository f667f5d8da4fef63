// What the project commands share: opening and saving the project named on the command line,
// and taking option values into the core's code-page texts.
#pragma once

#include "project/Project.h"
#include "project/ProjectFileError.h"

#include <QCommandLineParser>
#include <QString>

#include <string>
#include <string_view>
#include <utility>

namespace quillet::cli {

// The file-system bytes of a file argument.
std::string filePath(const QString& argument);

// The reader's and writer's messages carry the path as file-system bytes (UTF-8); the terminal
// expects code-page text, so the error is raised again with the path in its code-page form.
[[noreturn]] void rethrowWithPathShown(const ProjectFileError& error, const std::string& path);

// Every byte of the file named by an argument / writes the bytes to it (a regular file is
// replaced only once the new one is whole), failing with the file's message.
std::string readArgumentFile(const QString& argument);
void writeArgumentFile(const QString& argument, std::string_view bytes);

// Reads the project file; a failure is raised with the reader's message, its file name shown
// in the code page.
Project openProjectFile(const QString& argument);
// Writes the project to its own path atomically; on failure the file is left as it was.
void saveOpenProject(Project& project);

// The value of an option as code-page text (empty when the option is not given). A value with
// characters the code page cannot represent fails, naming the option.
std::string optionText(const QCommandLineParser& parser, const QString& option);
// A positional argument as code-page text, failing like optionText.
std::string argumentText(const QString& value, const QString& what);

// A --param value NAME=VALUE as code-page texts; throws UsageError without the "=".
std::pair<std::string, std::string> parameterOption(const QString& value);

// The group named by --group: its code-page text cut to 255 bytes, as group names are stored.
std::string groupOption(const QCommandLineParser& parser);
// Fails with the message the desktop program shows unless the project has a group of exactly
// that name.
void requireGroup(const Project& project, const std::string& group);

} // namespace quillet::cli
