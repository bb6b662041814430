#include "AbstractOutputThread.h"

#include "DeadlineSleep.h"
#include "RealtimeScheduling.h"

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
    std::unique_lock<std::mutex> locker(waitMutex);
    sync.store(newSync);
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
        }
        iterate();
        {
            std::unique_lock<std::mutex> locker(waitMutex);
            iterating = false;
            idleCondition.notify_all();
        }
        const quint64 intervalNs = quint64(std::max(1, interval.load())) * 1000;
        if (waited || intervalNs != deadline.interval()) {
            deadline.restart(intervalNs);
            waited = false;
        }
        deadline.waitNext();
    }
}
