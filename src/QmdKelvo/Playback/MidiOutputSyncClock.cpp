#include "MidiOutputSyncClock.h"

#include "HostTime.h"
#include "MidiSync.h"

#include <QMutexLocker>

#include <algorithm>
#include <limits>

MidiOutputSyncClock::MidiOutputSyncClock(QObject* parent)
    : AbstractOutputThread(parent)
{ }

MidiOutputSyncClock::~MidiOutputSyncClock()
{
    stopThread();
    closePort();
}

quint64 MidiOutputSyncClock::sentClocks() const
{
    QMutexLocker locker(&countMutex);
    return sentClockCount;
}

void MidiOutputSyncClock::startCountingAt(quint64 pulses)
{
    QMutexLocker locker(&countMutex);
    sentClockCount = pulses / MidiSync::PulsesPerMidiClock;
}

bool MidiOutputSyncClock::safeWrite(const std::vector<uchar>& bytes, quint64 dueNs)
{
    InstrumentMsg message;
    message.kind = InstrumentMsg::Raw;
    message.bytes = bytes;
    message.dueNs = dueNs;
    if (write(message))
        return true;
    // Without waiting: the caller may be inside this thread's pass or hold its count.
    requestPause();
    closePort();
    return false;
}

void MidiOutputSyncClock::directEmitClocksDiff(quint64 max, quint64 aheadNs)
{
    auto* clock = qobject_cast<MidiSync*>(sync.load());
    if (!clock)
        return;
    QMutexLocker locker(&countMutex);
    const quint64 due = clock->directPulsesElapsed(aheadNs) / MidiSync::PulsesPerMidiClock;
    const quint64 n = due > sentClockCount ? std::min<quint64>(due - sentClockCount, max) : 0;
    for (quint64 i = 0; i < n; ++i) {
        quint64 dueNs = 0; // stays 0 (at once) while the clock keeps no host time
        clock->directHostTimeOfPulses((sentClockCount + 1) * MidiSync::PulsesPerMidiClock, &dueNs);
        if (!safeWrite({0xF8}, dueNs))
            return;
        ++sentClockCount;
    }
}

void MidiOutputSyncClock::iterate()
{
    auto* clock = qobject_cast<MidiSync*>(sync.load());
    if (!clock || !clock->isPlaying()) {
        sleepUntil(Platform::hostTimeNs() + MaxSleepNs);
        return;
    }
    // Ahead only while the clock keeps host time, so that the clocks' times are known.
    const quint64 latency = latencyNs();
    quint64 nextNs = 0;
    const bool timed = clock->directHostTimeOfPulses(0, &nextNs);
    directEmitClocksDiff(10, timed ? latency : 0);
    // Until the next clock is due (less the latency); a thread that fell behind has it due
    // already and goes on at once. A clock that keeps no host time is polled every `interval`.
    if (timed
        && clock->directHostTimeOfPulses((sentClocks() + 1) * MidiSync::PulsesPerMidiClock,
                                         &nextNs))
        sleepUntil(nextNs > latency ? nextNs - latency : 1);
}

void MidiOutputSyncClock::pauseAndWait()
{
    AbstractOutputThread::pauseAndWait();
    if (!sync.load())
        return;
    // Every clock due up to the stop goes out before it, however far the thread fell behind.
    directEmitClocksDiff(std::numeric_limits<quint64>::max());
    safeWrite({0xFC});
}

void MidiOutputSyncClock::reset()
{
    QMutexLocker locker(&countMutex);
    sentClockCount = 0;
    safeWrite({0xF2, 0x00, 0x00});
}
