#ifndef DEADLINESLEEP_H
#define DEADLINESLEEP_H

#include <QtGlobal>

namespace Platform {

// Sleeps until the monotonic clock reaches `deadlineNs` (nanoseconds), however often the
// sleep is interrupted. Returns at once for a deadline already past.
void sleepUntilNs(quint64 deadlineNs);

// The monotonic clock the deadlines are measured on, in nanoseconds.
quint64 monotonicNs();

// Paces a loop at a fixed interval on absolute deadlines: a late wake-up shortens the next
// sleep instead of pushing every later one back. When the loop has fallen more than one
// interval behind, the schedule restarts from now rather than running the missed rounds
// back to back.
class PeriodicDeadline
{
public:
    // Starts the schedule now; the first deadline is one interval away.
    void restart(quint64 intervalNs);
    // Sleeps until the next deadline and moves it one interval on.
    void waitNext();
    quint64 interval() const { return intervalNs; }

private:
    quint64 intervalNs = 0;
    quint64 nextNs = 0;
};

} // namespace Platform

#endif // DEADLINESLEEP_H
