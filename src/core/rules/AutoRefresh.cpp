#include "core/rules/AutoRefresh.h"

#include <algorithm>
#include <cmath>

namespace AutoRefresh {

int Interval(const std::vector<qint64>& changes, qint64 quietFor, int fallback)
{
    std::vector<qint64> gaps;
    for (size_t i = 1; i < changes.size(); ++i) {
        // A repeated or earlier date (a server clock set back) tells nothing about the pace.
        if (changes[i] > changes[i - 1])
            gaps.push_back(changes[i] - changes[i - 1]);
    }
    if (gaps.size() > size_t(GapsKept))
        gaps.erase(gaps.begin(), gaps.end() - GapsKept);
    qint64 period = -1;
    if (!gaps.empty()) {
        std::sort(gaps.begin(), gaps.end());
        period = gaps[(gaps.size() - 1) / 2];
    }
    // A webcam quiet for longer than its period has slowed down (or stopped).
    if (quietFor > period)
        period = quietFor;
    if (period < 0)
        return fallback;
    const qint64 third = qint64(std::llround(double(period) / 3.0));
    return int(std::clamp<qint64>(third, MinInterval, MaxInterval));
}

void TLearner::Delivered(const QDateTime& lastModified, size_t digest, qint64 now)
{
    const bool dated = lastModified.isValid();
    const bool changed = !Any || digest != LastDigest || dated != LastDate.isValid() ||
                         (dated && lastModified.toSecsSinceEpoch() != LastDate.toSecsSinceEpoch());
    Any = true;
    LastDigest = digest;
    LastDate = lastModified;
    if (!changed)
        return;
    ChangeTimes.push_back(dated ? lastModified.toSecsSinceEpoch() : now);
    if (ChangeTimes.size() > size_t(GapsKept + 1))
        ChangeTimes.erase(ChangeTimes.begin());
    LastArrival = now;
}

int TLearner::Interval(qint64 now, int fallback) const
{
    return AutoRefresh::Interval(ChangeTimes, LastArrival < 0 ? -1 : now - LastArrival, fallback);
}

} // namespace AutoRefresh
