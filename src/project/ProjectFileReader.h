// Reads a project file into memory.
//
// The whole file is read into a project of its own and handed over only when every block was
// read, so a rejected or damaged file never leaves a half-loaded project. Counts are checked
// against the file's size before anything is allocated; nothing beyond the file's data is read.
// Recipient records are read straight into the record list in large blocks.
#pragma once

#include "Project.h"
#include "ProjectFileError.h"

#include <functional>
#include <span>
#include <string>
#include <string_view>

namespace quillet {

// Reads the file at `path`. The returned project's path is `path`, its changed flag clear.
// Throws ProjectFileError: CannotOpen ("Cannot open file ..."), NotProjectFile (the header does
// not match), Damaged (the file ends before its counts say), CannotRead.
Project loadProjectFile(const std::string& path);
// The same, showing each block of recipient records to `onBlock` as soon as it is read (while
// it is in the processor's cache): a look at every record without a second pass over the list.
using RecipientBlockObserver = std::function<void(std::span<const RecipientRecord>)>;
Project loadProjectFile(const std::string& path, const RecipientBlockObserver& onBlock);

// Reads a project from the bytes of a whole file; `name` names it in messages and becomes the
// project's path. With sizeKnown false the bytes are read as from a pipe, whose length is not
// known before its end.
Project readProjectBytes(std::string_view bytes, const std::string& name, bool sizeKnown = true);

// The lifecycle step of opening a file into the open project: sets the project path to `path`
// and Name to its file-name part (in the code page; characters it lacks become "?"), then reads
// the file. On success the properties, groups,
// recipients and accounts are replaced and the changed flag is cleared; on failure they stay as
// they were (callers empty the project first) and the error is rethrown.
void loadProjectFileInto(Project& project, const std::string& path);

// The text after the last "/" of a path (the whole path when it has none).
std::string_view fileNamePart(std::string_view path);

} // namespace quillet
