// Keeps received messages as files DIR/NNNNNN.eml (six digits, counting from 1), for the
// command line's --capture. Safe to call from several connection threads at once.
//
// Numbering continues after the highest number already in the folder, and a file is always
// created new: an existing capture is never overwritten.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>

namespace quillet {

class MessageCapture {
public:
    // Uses the folder, creating it when missing; raises std::runtime_error when that fails.
    explicit MessageCapture(std::string folder);

    // Copies the data file to the next free name and returns that file's path.
    std::string Keep(const std::string& dataFile);

    const std::string& Folder() const { return folder_; }
    // Name of capture number n: six digits and ".eml".
    static std::string FileName(std::uint64_t number);

private:
    std::string folder_;
    std::mutex lock_;
    std::uint64_t next_ = 1;
};

} // namespace quillet
