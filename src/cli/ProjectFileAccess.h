// What the project commands share: opening and saving the project named on the command line,
// and taking option values into the core's code-page texts.
#pragma once

#include "project/Project.h"

#include <QCommandLineParser>
#include <QString>

#include <string>

namespace quillet::cli {

// The file-system bytes of a file argument.
std::string filePath(const QString& argument);

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

// The group named by --group: its code-page text cut to 255 bytes, as group names are stored.
std::string groupOption(const QCommandLineParser& parser);
// Fails with the message the desktop program shows unless the project has a group of exactly
// that name.
void requireGroup(const Project& project, const std::string& group);

} // namespace quillet::cli
