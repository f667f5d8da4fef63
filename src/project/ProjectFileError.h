// The error raised by the project file reader and writer. what() is the text the user sees;
// kind() tells callers which case it is (the desktop program shows a rejected header in a box
// of its own).
#pragma once

#include <stdexcept>
#include <string>

namespace quillet {

class ProjectFileError : public std::runtime_error {
public:
    enum class Kind { CannotOpen, NotProjectFile, Damaged, CannotRead, CannotCreate, CannotWrite };

    ProjectFileError(Kind kind, const std::string& message) : std::runtime_error(message), kind_(kind) {}
    Kind kind() const { return kind_; }

private:
    Kind kind_;
};

// Fills a message format of ProjectMessages.h: the first "%s" takes `path`, the second `reason`.
std::string formatFileMessage(const char* format, const std::string& path, const std::string& reason = {});

} // namespace quillet
