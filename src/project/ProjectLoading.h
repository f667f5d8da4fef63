// Opening a project file while a window watches: the load runs on a worker thread and reports
// how far it has come (bytes of the file read) through atomics the window polls, and stops at
// the next block of recipients once the window asks it to. On the way, the texts are judged
// for another code page (CodePageMismatch), so the window can warn as the command line does.
#pragma once

#include "Project.h"

#include <atomic>
#include <cstdint>
#include <stdexcept>
#include <string>

namespace quillet {

// Shared between the loading thread (writes bytesRead, reads stopRequested) and the window.
struct LoadWatch {
    std::atomic<std::uint64_t> bytesRead{0};
    // The file's size, known once the load has opened it (0 before).
    std::atomic<std::uint64_t> fileBytes{0};
    std::atomic<bool> stopRequested{false};
};

// Thrown by loadProjectFileWatched when the watcher asked it to stop.
class ProjectLoadStopped : public std::runtime_error {
public:
    ProjectLoadStopped() : std::runtime_error("Opening the project was cancelled") {}
};

struct LoadedProject {
    Project project;
    bool looksLikeOtherCodePage = false;
};

// Loads as loadProjectFile does (the path is `path`, the changed flag clear). Throws ProjectFileError
// as loadProjectFile does, ProjectLoadStopped when stopped; nothing is kept in either case.
LoadedProject loadProjectFileWatched(const std::string& path, LoadWatch& watch);

} // namespace quillet
