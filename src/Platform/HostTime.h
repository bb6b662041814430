#ifndef PLATFORM_HOSTTIME_H
#define PLATFORM_HOSTTIME_H

#include <QtGlobal>

namespace Platform {

// The host clock: monotonic, in nanoseconds since an unspecified start (usually boot).
// Every MIDI time stamp and the transport clock read this one clock, so their values can be
// compared and subtracted directly.
quint64 hostTimeNs();

} // namespace Platform

#endif // PLATFORM_HOSTTIME_H
