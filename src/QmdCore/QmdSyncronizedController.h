#ifndef QMDSYNCRONIZEDCONTROLLER_H
#define QMDSYNCRONIZEDCONTROLLER_H

#include "QmdGlobal.h"

#include <QMutex>
#include <QObject>
#include <QSet>

#include <pthread.h>

// The model lock: recursive, and with priority inheritance. A playback thread of real-time
// priority that waits for it lends that priority to the thread holding it, which a busy
// machine would otherwise leave waiting for a processor, the lock held, as long as it likes.
class QmdModelMutex
{
public:
    QmdModelMutex();
    ~QmdModelMutex();
    Q_DISABLE_COPY_MOVE(QmdModelMutex)

    void lock();
    bool tryLock();
    void unlock();

private:
    pthread_mutex_t m_mutex;
};

// Locking and unlocking the controller's request mutex. These are out of line so that the
// notes that a ThreadSanitizer build adds to every lock stay inside the library.
namespace QmdLocking {
void lock(QMutex& mutex);
void unlock(QMutex& mutex);
} // namespace QmdLocking

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

    mutable QmdModelMutex dataMutex;
    mutable QMutex requestMutex;

private:
    void lockData() const { dataMutex.lock(); }
    void unlockData() const { dataMutex.unlock(); }

    struct RequestLocker
    {
        explicit RequestLocker(QMutex& m)
            : mutex(m)
        {
            QmdLocking::lock(mutex);
        }
        ~RequestLocker() { QmdLocking::unlock(mutex); }
        Q_DISABLE_COPY_MOVE(RequestLocker)
        QMutex& mutex;
    };
};

#endif // QMDSYNCRONIZEDCONTROLLER_H
