// A project file does not record the code page its texts were written in. Opening it under
// another code page shows mojibake; this check finds the obvious cases so the user is warned:
// under UTF-8, texts that are not valid UTF-8; under an 8-bit code page, a project whose every
// text beyond ASCII is valid multi-byte UTF-8 (what a project written under UTF-8 looks like).
#pragma once

#include "CodePage.h"
#include "Project.h"
#include "ProjectFileReader.h"

#include <string>

namespace quillet {

bool projectLooksLikeOtherCodePage(const Project& project);

// Reads the project file at `path` (as loadProjectFile does) and judges its texts on the way:
// each block of recipients while it is still in the processor's cache, instead of a second
// pass over a list that can be gigabytes long.
Project loadProjectFileJudgingCodePage(const std::string& path, bool& looksLikeOtherCodePage);
// The same, showing each block also to `alsoOnBlock` once it was judged.
Project loadProjectFileJudgingCodePage(const std::string& path, bool& looksLikeOtherCodePage,
                                       const RecipientBlockObserver& alsoOnBlock);

} // namespace quillet
