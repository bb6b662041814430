#include "DeadlineSleep.h"

#include <cerrno>
#include <ctime>

namespace Platform {

void sleepUntilNs(quint64 deadlineNs)
{
    timespec deadline {};
    deadline.tv_sec = time_t(deadlineNs / 1000000000ULL);
    deadline.tv_nsec = long(deadlineNs % 1000000000ULL);
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &deadline, nullptr) == EINTR) { }
}

quint64 monotonicNs()
{
    timespec now {};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return quint64(now.tv_sec) * 1000000000ULL + quint64(now.tv_nsec);
}

void PeriodicDeadline::restart(quint64 interval)
{
    intervalNs = interval;
    nextNs = monotonicNs() + intervalNs;
}

void PeriodicDeadline::waitNext()
{
    const quint64 now = monotonicNs();
    if (nextNs + intervalNs < now)
        nextNs = now;
    sleepUntilNs(nextNs);
    nextNs += intervalNs;
}

} // namespace Platform
