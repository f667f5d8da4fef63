// The program's folder and the files it holds. The program folder is the folder of the running
// executable; the environment variable QUILLET_HOME overrides it (tests and installed copies).
// Paths use "/"; folders are returned without a trailing "/".
#pragma once

#include <string>

namespace quillet {

// QUILLET_HOME when set and not empty, else the running executable's folder.
std::string programFolder();
// The default project: programFolder() + "/default.oqf".
std::string defaultProjectPath();
// The template folder: programFolder() + "/Templates".
std::string templatesFolder();
// The logo picture shown by several dialogs: programFolder() + "/qlogo.dat".
std::string logoPath();
// The menu and toolbar layout file: programFolder() + "/quillet.dat".
std::string layoutFilePath();
// The help folder: programFolder() + "/quillet-help" (the executable "quillet" sits beside it).
std::string helpFolder();

} // namespace quillet
