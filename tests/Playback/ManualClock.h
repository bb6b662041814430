#ifndef MANUALCLOCK_H
#define MANUALCLOCK_H

#include "MidiSync.h"

#include <atomic>

// A transport clock whose host time moves only when the test moves it.
class ManualSync : public MidiSync
{
public:
    using MidiSync::MidiSync;
    std::atomic<quint64> now {1000000000ULL};
    void advance(quint64 ns) { now += ns; }

protected:
    quint64 hostTimeNs() const override { return now.load(); }
};

#endif // MANUALCLOCK_H
