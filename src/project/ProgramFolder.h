// The program's folder and the files it holds. The program folder is the folder of the running
// executable; the environment variable QUILLET_HOME overrides it (tests and copies of their own).
// An installed program (its executable in <prefix>/bin beside <prefix>/share/orv-quillet) reads
// its help pages and logo from that shared folder and keeps what it writes (default project,
// templates, menu layout) in a program folder of each user's own, $XDG_DATA_HOME/orv-quillet
// (~/.local/share/orv-quillet when unset), filled with the installed templates when it is made.
// Paths use "/"; folders are returned without a trailing "/".
#pragma once

#include <string>

namespace quillet {

// QUILLET_HOME when set and not empty, else the user's own folder of an installed program (made
// on first use), else the running executable's folder.
std::string programFolder();
// The shared folder of an installed program's read-only files, or "" when not installed.
std::string installedDataFolder();
// The default project: programFolder() + "/default.oqf".
std::string defaultProjectPath();
// The template folder: programFolder() + "/Templates".
std::string templatesFolder();
// The logo picture shown by several dialogs: programFolder() + "/qlogo.dat", or the installed
// copy when the program folder has none.
std::string logoPath();
// The menu and toolbar layout file: programFolder() + "/quillet.dat".
std::string layoutFilePath();
// The help folder: programFolder() + "/quillet-help" (the executable "quillet" sits beside it), or
// the installed copy when the program folder has none.
std::string helpFolder();

} // namespace quillet
