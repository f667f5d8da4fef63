// The project file reader over any bytes, read as a regular file and as from a pipe: both end in
// a project or in ProjectFileError, and agree on which.
#include "FuzzSupport.h"

#include "project/ProjectFileReader.h"

using namespace quillet;

namespace {

bool reads(std::string_view bytes, bool sizeKnown, Project& project)
{
    try {
        project = readProjectBytes(bytes, "fuzz.oqf", sizeKnown);
        return true;
    } catch (const ProjectFileError&) {
        return false;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view bytes = fuzz::bytes(data, size);
    Project asFile;
    Project asPipe;
    const bool file = reads(bytes, true, asFile);
    const bool pipe = reads(bytes, false, asPipe);
    QUILLET_FUZZ_CHECK(file == pipe);
    QUILLET_FUZZ_CHECK(asFile.recipients.size() == asPipe.recipients.size());
    QUILLET_FUZZ_CHECK(asFile.groups.size() == asPipe.groups.size());
    QUILLET_FUZZ_CHECK(asFile.accounts.size() == asPipe.accounts.size());
    return 0;
}
