#include "AbstractOutputThread.h"

#include "AbstractSync.h"
#include "DeadlineSleep.h"
#include "HostTime.h"
#include "RealtimeScheduling.h"

#include <chrono>

AbstractOutputThread::AbstractOutputThread(QObject* parent)
    : QThread(parent)
{ }

AbstractOutputThread::~AbstractOutputThread()
{
    stopThread();
}

void AbstractOutputThread::stopThread()
{
    terminateSafely();
    wait();
}

void AbstractOutputThread::setSync(AbstractSync* newSync)
{
    // A change of timing ends a sleep planned at the old tempo.
    disconnect(timingConnection);
    if (newSync)
        timingConnection = connect(newSync, &AbstractSync::timingChanged, this,
                                   &AbstractOutputThread::wakeUp, Qt::DirectConnection);
    std::unique_lock<std::mutex> locker(waitMutex);
    sync.store(newSync);
    // A sleep taken without a clock, or on the old one, ends at once.
    wakeRequested = true;
    waitCondition.notify_all();
    if (QThread::currentThread() == this)
        return;
    while (iterating)
        idleCondition.wait(locker);
}

void AbstractOutputThread::requestPause()
{
    std::unique_lock<std::mutex> locker(waitMutex);
    state.store(Paused);
}

void AbstractOutputThread::play()
{
    std::unique_lock<std::mutex> locker(waitMutex);
    state.store(Running);
    // A thread that runs already ends its sleep: the clock may have started meanwhile.
    wakeRequested = true;
    waitCondition.notify_all();
}

void AbstractOutputThread::pauseAndWait()
{
    std::unique_lock<std::mutex> locker(waitMutex);
    state.store(Paused);
    if (QThread::currentThread() == this)
        return;
    while (iterating)
        idleCondition.wait(locker);
}

void AbstractOutputThread::terminateSafely()
{
    std::unique_lock<std::mutex> locker(waitMutex);
    quit.store(true);
    waitCondition.notify_all();
}

void AbstractOutputThread::wakeUp()
{
    std::unique_lock<std::mutex> locker(waitMutex);
    wakeRequested = true;
    waitCondition.notify_all();
}

void AbstractOutputThread::run()
{
    if (priority() == QThread::TimeCriticalPriority)
        Platform::requestRealtimeScheduling();

    Platform::PeriodicDeadline deadline;
    bool waited = true;
    for (;;) {
        {
            std::unique_lock<std::mutex> locker(waitMutex);
            while (state.load() != Running && !quit.load()) {
                waitCondition.wait(locker);
                waited = true;
            }
            if (quit.load())
                return;
            iterating = true;
            wakeRequested = false;
        }
        iterate();
        {
            std::unique_lock<std::mutex> locker(waitMutex);
            iterating = false;
            idleCondition.notify_all();
            if (plannedWakeNs != 0) {
                const auto woken
                    = [this] { return wakeRequested || quit.load() || state.load() != Running; };
                if (plannedWakeNs == UntilWoken) {
                    plannedWakeNs = 0;
                    waitCondition.wait(locker, woken);
                } else {
                    const quint64 wakeNs
                        = std::min(plannedWakeNs, Platform::hostTimeNs() + MaxSleepNs);
                    plannedWakeNs = 0;
                    // The host clock is the monotonic clock the steady clock reads.
                    const std::chrono::steady_clock::time_point until {
                        std::chrono::nanoseconds(wakeNs)};
                    waitCondition.wait_until(locker, until, woken);
                }
                waited = true; // a later pass on the interval starts its schedule afresh
                continue;
            }
        }
        const quint64 intervalNs = quint64(std::max(1, interval.load())) * 1000;
        if (waited || intervalNs != deadline.interval()) {
            deadline.restart(intervalNs);
            waited = false;
        }
        deadline.waitNext();
    }
}
