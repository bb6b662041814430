#include "RealtimeScheduling.h"

#include <QtGlobal>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>

namespace Platform {

bool requestRealtimeScheduling(int priority)
{
    static std::atomic<bool> refusalLogged {false};

    int wanted = std::clamp(priority, 1, 99);
    wanted = std::min(wanted, sched_get_priority_max(SCHED_FIFO));
    // Without the privilege to raise limits, the soft limit caps what may be asked for.
    rlimit limit {};
    if (getrlimit(RLIMIT_RTPRIO, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY
        && rlim_t(wanted) > limit.rlim_cur && limit.rlim_cur > 0)
        wanted = int(limit.rlim_cur);

    sched_param param {};
    param.sched_priority = wanted;
    const int error = pthread_setschedparam(pthread_self(), SCHED_FIFO, &param);
    if (error == 0)
        return true;
    if (!refusalLogged.exchange(true))
        qInfo("Real-time scheduling refused (%s); playback threads run at normal priority",
              std::strerror(error));
    return false;
}

} // namespace Platform
