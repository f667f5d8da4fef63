#include "transport/AntiFreeze.h"

namespace quillet {

namespace {
thread_local std::function<void()> tHook;
}

void TAntiFreeze::Install(std::function<void()> hook)
{
    tHook = std::move(hook);
}

void TAntiFreeze::Remove()
{
    tHook = nullptr;
}

bool TAntiFreeze::Applies()
{
    return static_cast<bool>(tHook);
}

void TAntiFreeze::DoProcess()
{
    if (!tHook)
        return;
    // A copy, so that a hook which installs or removes the hook while it runs stays valid.
    const std::function<void()> hook = tHook;
    hook();
}

} // namespace quillet
