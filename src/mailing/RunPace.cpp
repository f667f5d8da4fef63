#include "RunPace.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace quillet {

PaceFigures RunPace::At(std::size_t done, std::size_t total, Clock::time_point now) const
{
    PaceFigures pace;
    const double seconds = std::chrono::duration<double>(now - start_).count();
    if (done == 0 || seconds <= 0)
        return pace;
    pace.known = true;
    pace.perSecond = double(done) / seconds;
    const double remaining = double(total > done ? total - done : 0);
    double left = remaining / pace.perSecond;
    if (rate_.Limited())
        left = std::max(left, remaining * std::chrono::duration<double>(rate_.Interval()).count());
    pace.left = std::chrono::seconds(std::llround(left));
    return pace;
}

std::string PaceText(const PaceFigures& pace)
{
    if (!pace.known)
        return {};
    const long long total = pace.left.count();
    char text[64];
    if (total >= 3600)
        std::snprintf(text, sizeof text, "%.1f/s, %lld:%02lld:%02lld left", pace.perSecond, total / 3600,
                      total / 60 % 60, total % 60);
    else
        std::snprintf(text, sizeof text, "%.1f/s, %lld:%02lld left", pace.perSecond, total / 60, total % 60);
    return text;
}

} // namespace quillet
