#pragma once

#include <QDateTime>
#include <QtGlobal>
#include <vector>

// The "Auto" refresh choice: the interval is learned from how often the webcam's image really
// changes, and is about a third of that period, so that each new image is seen soon after it
// appears without asking an idle webcam every second.
namespace AutoRefresh {

inline constexpr int MinInterval = 1;  // never faster
inline constexpr int MaxInterval = 60; // never slower: the longest fixed choice of the menu
// Only the latest gaps count, so a webcam that changes its pace is followed within a few images.
inline constexpr int GapsKept = 8;

// The polling interval, in seconds, for a webcam whose image changed at the times `changes`
// (seconds, in the order the images arrived), after `quietFor` seconds without a change since
// the last one (negative: unknown). The period is the median of the latest positive gaps (the
// lower middle one of an even count), so a missed update or a late one does not mislead it; a
// webcam quiet for longer than that period has a period of at least that quiet time. With no gap
// and no quiet time to go by, `fallback` is the answer.
int Interval(const std::vector<qint64>& changes, qint64 quietFor, int fallback);

// What the viewer keeps to learn from: the images delivered, and which of them were changes.
class TLearner
{
public:
    // An image was delivered at local time now (seconds): its Last-Modified (invalid when it had
    // none) and a digest of its bytes. It is a change when either differs from the last image. Its
    // time is its Last-Modified when it has one, else when it arrived.
    void Delivered(const QDateTime& lastModified, size_t digest, qint64 now);
    // Interval() for local time now.
    int Interval(qint64 now, int fallback) const;
    const std::vector<qint64>& Changes() const { return ChangeTimes; }

private:
    std::vector<qint64> ChangeTimes; // at most GapsKept + 1
    qint64 LastArrival = -1;         // local time of the last change
    QDateTime LastDate;
    size_t LastDigest = 0;
    bool Any = false;
};

} // namespace AutoRefresh
