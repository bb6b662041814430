#ifndef QMDSYNCRONIZEDCONTROLLER_H
#define QMDSYNCRONIZEDCONTROLLER_H

#include <QMutex>
#include <QRecursiveMutex>

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
#define QMD_TSAN_ACQUIRE(addr) __tsan_acquire(const_cast<void*>(static_cast<const void*>(addr)))
#define QMD_TSAN_RELEASE(addr) __tsan_release(const_cast<void*>(static_cast<const void*>(addr)))
#else
#define QMD_TSAN_ACQUIRE(addr)
#define QMD_TSAN_RELEASE(addr)
#endif

// Makes a controller safe to use from several threads: one recursive mutex is the model lock,
// taken by every read and every request (there is no shared read mode), and a second mutex
// guards the request-id bookkeeping. The second is only ever taken alone or inside the first.
template<class T>
class QmdSyncronizedController : public T
{
public:
    explicit QmdSyncronizedController(QObject* parent = nullptr)
        : T(parent)
    { }
    ~QmdSyncronizedController() override = default;

    const QSet<QmdRequestId>& requestsPending() const override
    {
        RequestLocker locker(requestMutex);
        return T::requestsPending();
    }

protected:
    QmdRequestId registerNewRequestId() override
    {
        RequestLocker locker(requestMutex);
        return T::registerNewRequestId();
    }

    void deregisterRequestId(QmdRequestId rid) override
    {
        RequestLocker locker(requestMutex);
        T::deregisterRequestId(rid);
    }

    void lockRead() const override { lockData(); }
    void unlockRead() const override { unlockData(); }
    void lockWrite() override { lockData(); }
    void unlockWrite() override { unlockData(); }

    mutable QRecursiveMutex dataMutex;
    mutable QMutex requestMutex;

private:
    void lockData() const
    {
        dataMutex.lock();
        QMD_TSAN_ACQUIRE(&dataMutex);
    }
    void unlockData() const
    {
        QMD_TSAN_RELEASE(&dataMutex);
        dataMutex.unlock();
    }

    struct RequestLocker
    {
        explicit RequestLocker(QMutex& m)
            : mutex(m)
        {
            mutex.lock();
            QMD_TSAN_ACQUIRE(&mutex);
        }
        ~RequestLocker()
        {
            QMD_TSAN_RELEASE(&mutex);
            mutex.unlock();
        }
        QMutex& mutex;
    };
};

#endif // QMDSYNCRONIZEDCONTROLLER_H
