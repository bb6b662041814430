#include "QmdThreadSanitizer.h"

#ifdef QMD_THREAD_SANITIZER

#include <QBitArray>
#include <QList>
#include <QPointF>
#include <QStringList>

extern "C" void __tsan_acquire(void* addr);
extern "C" void __tsan_release(void* addr);

namespace QmdThreadSanitizer {

void acquired(void* mutex)
{
    __tsan_acquire(mutex);
}

void releasing(void* mutex)
{
    __tsan_release(mutex);
}

namespace {

// The reference count is the first member of shared array data: a thread's drop of a reference
// (inlined into our code, where ThreadSanitizer sees it) is a release on that address.
void acquireData(const QArrayData* data)
{
    if (data)
        __tsan_acquire(const_cast<void*>(static_cast<const void*>(data)));
}

// data_ptr() neither detaches nor writes; it is only offered non-const.
void acquireData(const QString& value)
{
    acquireData(const_cast<QString&>(value).data_ptr().d_ptr());
}

void acquireData(const QByteArray& value)
{
    acquireData(const_cast<QByteArray&>(value).data_ptr().d_ptr());
}

// A list offers no access to its data: its first member is the pointer to it.
template<class T>
void acquireData(const QList<T>& list)
{
    static_assert(sizeof(QList<T>) == 3 * sizeof(void*));
    acquireData(*reinterpret_cast<const QArrayData* const*>(&list));
}

} // namespace

void droppingShared(const QVariant& value)
{
    switch (value.metaType().id()) {
    case QMetaType::QString:
        acquireData(*static_cast<const QString*>(value.constData()));
        break;
    case QMetaType::QByteArray:
        acquireData(*static_cast<const QByteArray*>(value.constData()));
        break;
    case QMetaType::QBitArray:
        acquireData(const_cast<QBitArray*>(static_cast<const QBitArray*>(value.constData()))
                        ->data_ptr()
                        .d_ptr());
        break;
    case QMetaType::QPolygonF:
        // A QPolygonF (Qt GUI, which this library does not use) is a QList<QPointF>.
        acquireData(*static_cast<const QList<QPointF>*>(value.constData()));
        break;
    case QMetaType::QStringList: {
        const auto* list = static_cast<const QStringList*>(value.constData());
        acquireData(*list);
        for (const QString& item : *list)
            acquireData(item);
        break;
    }
    case QMetaType::QVariantList: {
        const auto* list = static_cast<const QVariantList*>(value.constData());
        acquireData(*list);
        for (const QVariant& item : *list)
            droppingShared(item);
        break;
    }
    case QMetaType::QVariantMap:
        for (const QVariant& item : *static_cast<const QVariantMap*>(value.constData()))
            droppingShared(item);
        break;
    default:
        break;
    }
}

} // namespace QmdThreadSanitizer

#endif
