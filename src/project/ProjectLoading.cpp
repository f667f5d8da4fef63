#include "ProjectLoading.h"

#include "CodePageMismatch.h"
#include "ProjectFileLayout.h"
#include "ProjectFileReader.h"

#include <filesystem>

namespace quillet {

LoadedProject loadProjectFileWatched(const std::string& path, LoadWatch& watch)
{
    if (watch.stopRequested)
        throw ProjectLoadStopped();
    std::error_code error;
    const std::uintmax_t size = std::filesystem::file_size(path, error);
    watch.fileBytes = error ? 0 : std::uint64_t(size);
    LoadedProject loaded;
    loaded.project = loadProjectFileJudgingCodePage(path, loaded.looksLikeOtherCodePage,
                                                    [&watch](std::span<const RecipientRecord> block) {
                                                        watch.bytesRead += block.size() * layout::kRecipientSize;
                                                        if (watch.stopRequested)
                                                            throw ProjectLoadStopped();
                                                    });
    watch.bytesRead = watch.fileBytes.load();
    loaded.project.path = path;
    loaded.project.setChanged(false);
    return loaded;
}

} // namespace quillet
