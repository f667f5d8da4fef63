// The user-interface hook of network waits. A thread that runs a user interface installs a
// callback (the desktop program installs one that processes pending window events); the line
// connection then cuts its waits into short slices and calls the callback between them and
// after every send. The hook belongs to the thread that installed it: on every other thread
// (the server's connection threads, the connect thread) waits are not sliced and nothing is called.
#pragma once

#include <functional>

namespace quillet {

class TAntiFreeze {
public:
    // The longest single wait between two calls of the hook, in milliseconds.
    static constexpr int IdleTimeOut = 250;
    // The longest single wait of a connect between two calls of the hook.
    static constexpr int ConnectSlice = IdleTimeOut < 125 ? IdleTimeOut : 125;

    // Installs the hook for the calling thread (replacing any earlier one of this thread).
    static void Install(std::function<void()> hook);
    // Removes the calling thread's hook.
    static void Remove();
    // True when the calling thread has a hook: waits are sliced and the hook is called.
    static bool Applies();
    // Calls the calling thread's hook, if it has one. Errors of the hook pass on.
    static void DoProcess();
};

// Installs a hook for the calling thread for the lifetime of the object.
class AntiFreezeScope {
public:
    explicit AntiFreezeScope(std::function<void()> hook) { TAntiFreeze::Install(std::move(hook)); }
    ~AntiFreezeScope() { TAntiFreeze::Remove(); }
    AntiFreezeScope(const AntiFreezeScope&) = delete;
    AntiFreezeScope& operator=(const AntiFreezeScope&) = delete;
};

} // namespace quillet
