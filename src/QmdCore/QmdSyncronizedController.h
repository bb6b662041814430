#ifndef QMDSYNCRONIZEDCONTROLLER_H
#define QMDSYNCRONIZEDCONTROLLER_H

#include "QmdGlobal.h"

#include <QMutex>
#include <QObject>
#include <QRecursiveMutex>
#include <QSet>

// Locking and unlocking the controller's mutexes. These are out of line so that the notes
// that a ThreadSanitizer build adds to every lock stay inside the library.
namespace QmdLocking {
void lock(QRecursiveMutex& mutex);
void unlock(QRecursiveMutex& mutex);
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

    mutable QRecursiveMutex dataMutex;
    mutable QMutex requestMutex;

private:
    void lockData() const { QmdLocking::lock(dataMutex); }
    void unlockData() const { QmdLocking::unlock(dataMutex); }

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
