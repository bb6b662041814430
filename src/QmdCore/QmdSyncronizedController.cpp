#include "QmdSyncronizedController.h"

#include "QmdThreadSanitizer.h"

// Qt's own locking code is not instrumented: without these notes ThreadSanitizer would take
// every access guarded by the mutexes for a race.
namespace QmdLocking {

void lock(QRecursiveMutex& mutex)
{
    mutex.lock();
    QmdThreadSanitizer::acquired(&mutex);
}

void unlock(QRecursiveMutex& mutex)
{
    QmdThreadSanitizer::releasing(&mutex);
    mutex.unlock();
}

void lock(QMutex& mutex)
{
    mutex.lock();
    QmdThreadSanitizer::acquired(&mutex);
}

void unlock(QMutex& mutex)
{
    QmdThreadSanitizer::releasing(&mutex);
    mutex.unlock();
}

} // namespace QmdLocking
