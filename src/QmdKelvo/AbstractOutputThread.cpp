#include "AbstractOutputThread.h"

#include "DeadlineSleep.h"
#include "RealtimeScheduling.h"

#include <QMutexLocker>

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
    QMutexLocker locker(&waitMutex);
    sync.store(newSync);
    if (QThread::currentThread() == this)
        return;
    while (iterating)
        idleCondition.wait(&waitMutex);
}

void AbstractOutputThread::requestPause()
{
    QMutexLocker locker(&waitMutex);
    state.store(Paused);
}

void AbstractOutputThread::play()
{
    QMutexLocker locker(&waitMutex);
    state.store(Running);
    waitCondition.wakeAll();
}

void AbstractOutputThread::pauseAndWait()
{
    QMutexLocker locker(&waitMutex);
    state.store(Paused);
    if (QThread::currentThread() == this)
        return;
    while (iterating)
        idleCondition.wait(&waitMutex);
}

void AbstractOutputThread::terminateSafely()
{
    QMutexLocker locker(&waitMutex);
    quit.store(true);
    waitCondition.wakeAll();
}

void AbstractOutputThread::run()
{
    if (priority() == QThread::TimeCriticalPriority)
        Platform::requestRealtimeScheduling();

    Platform::PeriodicDeadline deadline;
    bool waited = true;
    for (;;) {
        {
            QMutexLocker locker(&waitMutex);
            while (state.load() != Running && !quit.load()) {
                waitCondition.wait(&waitMutex);
                waited = true;
            }
            if (quit.load())
                return;
            iterating = true;
        }
        iterate();
        {
            QMutexLocker locker(&waitMutex);
            iterating = false;
            idleCondition.wakeAll();
        }
        const quint64 intervalNs = quint64(std::max(1, interval.load())) * 1000;
        if (waited || intervalNs != deadline.interval()) {
            deadline.restart(intervalNs);
            waited = false;
        }
        deadline.waitNext();
    }
}
