#include "QmdSyncronizedController.h"

// Under ThreadSanitizer, tell it what the mutexes order: Qt's own locking code is not
// instrumented, so without these notes every access guarded by them would look like a race.
#if defined(__SANITIZE_THREAD__)
#define QMD_TSAN 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define QMD_TSAN 1
#endif
#endif

#ifdef QMD_TSAN
extern "C" void __tsan_acquire(void* addr);
extern "C" void __tsan_release(void* addr);
#define QMD_TSAN_ACQUIRE(addr) __tsan_acquire(static_cast<void*>(addr))
#define QMD_TSAN_RELEASE(addr) __tsan_release(static_cast<void*>(addr))
#else
#define QMD_TSAN_ACQUIRE(addr)
#define QMD_TSAN_RELEASE(addr)
#endif

namespace QmdLocking {

void lock(QRecursiveMutex& mutex)
{
    mutex.lock();
    QMD_TSAN_ACQUIRE(&mutex);
}

void unlock(QRecursiveMutex& mutex)
{
    QMD_TSAN_RELEASE(&mutex);
    mutex.unlock();
}

void lock(QMutex& mutex)
{
    mutex.lock();
    QMD_TSAN_ACQUIRE(&mutex);
}

void unlock(QMutex& mutex)
{
    QMD_TSAN_RELEASE(&mutex);
    mutex.unlock();
}

} // namespace QmdLocking
