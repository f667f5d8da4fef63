#include "ActionId.h"

namespace quillet {

namespace {

constexpr const char* kNames[] = {
#define QUILLET_ACTION_ID_NAME(name) #name,
    QUILLET_ACTION_IDS(QUILLET_ACTION_ID_NAME)
#undef QUILLET_ACTION_ID_NAME
};
static_assert(std::size(kNames) == kActionIdCount);

} // namespace

QString actionName(ActionId id)
{
    const int index = static_cast<int>(id);
    return index >= 0 && index < kActionIdCount ? QString::fromLatin1(kNames[index]) : QString();
}

std::optional<ActionId> actionIdOf(const QString& name)
{
    for (int index = 0; index < kActionIdCount; ++index)
        if (name == QLatin1String(kNames[index]))
            return static_cast<ActionId>(index);
    return std::nullopt;
}

} // namespace quillet
