#include "HostTime.h"

#include <time.h>

namespace Platform {

quint64 hostTimeNs()
{
    timespec ts {};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return quint64(ts.tv_sec) * 1000000000u + quint64(ts.tv_nsec);
}

} // namespace Platform
