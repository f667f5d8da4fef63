// The connections that the lanes of a parallel run hold to one server. A server may take fewer
// connections at once than the run asks for: it refuses the extra ones or closes them at the
// greeting. While another lane of the run holds a connection, such a refusal is no failure of
// the run: the refused lane waits and tries again, and the run says so once. Safe to use from
// every lane's thread at once.
#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <string>

namespace quillet {

class ConnectionShare {
public:
    // A lane starts to open its connection; Opened tells how that went.
    void Opening();
    void Opened(bool held);
    // A connection counted by Opened(true) is closed.
    void Closed();
    // After a failed opening: waits until no other lane is still opening one (asking `stopped`
    // between slices) and tells whether another lane holds a connection.
    bool OthersHoldOne(const std::function<bool()>& stopped);

    // The first note is kept; the run's own thread takes it once.
    void Note(std::string text);
    std::optional<std::string> TakeNote();

private:
    std::mutex mutex_;
    std::condition_variable settled_;
    int opening_ = 0;
    int held_ = 0;
    std::optional<std::string> note_;
    bool noted_ = false;
};

} // namespace quillet
