#include "QmdSyncronizedController.h"

#include "QmdThreadSanitizer.h"

QmdModelMutex::QmdModelMutex()
{
    pthread_mutexattr_t attributes;
    pthread_mutexattr_init(&attributes);
    pthread_mutexattr_settype(&attributes, PTHREAD_MUTEX_RECURSIVE);
    pthread_mutexattr_setprotocol(&attributes, PTHREAD_PRIO_INHERIT);
    pthread_mutex_init(&m_mutex, &attributes);
    pthread_mutexattr_destroy(&attributes);
}

QmdModelMutex::~QmdModelMutex()
{
    pthread_mutex_destroy(&m_mutex);
}

void QmdModelMutex::lock()
{
    pthread_mutex_lock(&m_mutex);
}

bool QmdModelMutex::tryLock()
{
    return pthread_mutex_trylock(&m_mutex) == 0;
}

void QmdModelMutex::unlock()
{
    pthread_mutex_unlock(&m_mutex);
}

// Qt's own locking code is not instrumented: without these notes ThreadSanitizer would take
// every access guarded by the mutex for a race.
namespace QmdLocking {

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
