// Writes a project file.
//
// The file is written atomically: the bytes go to a temporary file in the same folder, which is
// flushed to the disk and then renamed over the project file. A failed or interrupted save never
// leaves a damaged or empty file where the previous project was. A new file is readable by its
// owner only (it holds SMTP passwords in plain text); a replaced file keeps its mode.
#pragma once

#include "Project.h"
#include "ProjectFileError.h"

#include <string>

namespace quillet {

// Writes `project` to `path`. Does not touch the project (callers clear the changed flag after
// a successful save). Throws ProjectFileError: CannotCreate ("Cannot create file ...") when the
// file cannot be created or put in place, CannotWrite when its bytes cannot be written.
void saveProjectFile(const Project& project, const std::string& path);

// Saves to the project's own path and clears the changed flag; on failure the flag stays set.
void saveProject(Project& project);

} // namespace quillet
