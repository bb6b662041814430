#ifndef QMDTHREADSANITIZER_H
#define QMDTHREADSANITIZER_H

#include <QVariant>

#if defined(__SANITIZE_THREAD__)
#define QMD_THREAD_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define QMD_THREAD_SANITIZER 1
#endif
#endif

// Notes for ThreadSanitizer about the ordering that Qt gives inside its own code, which is not
// instrumented. Outside a ThreadSanitizer build they are nothing.
namespace QmdThreadSanitizer {

#ifdef QMD_THREAD_SANITIZER

// The mutex at `mutex` has just been locked, or is about to be unlocked.
void acquired(void* mutex);
void releasing(void* mutex);
// `value` is about to let go of the implicitly shared data it holds (overwritten, removed or
// destroyed) while another thread may hold a reference to that data too. Qt's reference count
// drop acquires the drops made before it on other threads and so orders the free after them;
// this says so for QString, QByteArray, QBitArray, QPolygonF, QStringList and, through their
// items, QVariantList and QVariantMap.
void droppingShared(const QVariant& value);

#else

inline void acquired(void*) { }
inline void releasing(void*) { }
inline void droppingShared(const QVariant&) { }

#endif

} // namespace QmdThreadSanitizer

#endif // QMDTHREADSANITIZER_H
