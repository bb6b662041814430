// Following MIDI clock from the sync inputs: start, continue, stop, song position 0 and the
// tempo estimated from the timing clocks.

#include "MidiInput.h"
#include "MidiSync.h"
#include "QmdKelvoController.h"

#include <QMutexLocker>

#include <algorithm>
#include <cmath>
#include <mutex>
#include <shared_mutex>

namespace {

constexpr quint64 EstimateWindowNs = 2000000000ULL;
constexpr quint64 TempoSetIntervalNs = 100000000ULL;
constexpr qint64 DriftTolerance = 13861;

} // namespace

void MidiSync::onMidiSyncReadyRead(MidiInput* input)
{
    if (!input)
        return;
    QMutexLocker handler(&handlerMutex);
    // An input on its way out, or a clock being detached, handles nothing more.
    if (!syncInputs.contains(input) || !controller)
        return;
    const QList<MidiInputMessage> messages = input->takeMessages();
    bool counted = false;
    for (const MidiInputMessage& message : messages) {
        const QVector<uchar>& b = message.bytes;
        if (b.size() == 3 && b[0] == 0xF2) {
            if (b[1] == 0 && b[2] == 0)
                requestGotoStart();
        } else if (b.size() == 1 && b[0] == 0xF8) {
            handleTimingClock(message, &counted);
        } else if (b.size() == 1 && b[0] == 0xFA) {
            requestGotoStart();
            std::unique_lock<std::shared_mutex> locker(lock);
            startPending = true;
        } else if (b.size() == 1 && b[0] == 0xFB) {
            std::unique_lock<std::shared_mutex> locker(lock);
            startPending = true;
        } else if (b.size() == 1 && b[0] == 0xFC) {
            {
                std::unique_lock<std::shared_mutex> locker(lock);
                startPending = false;
            }
            primePlayback(false);
            setPlayingAt(message.hostTimeNs, 0, false);
        }
    }

    bool prime;
    {
        std::shared_lock<std::shared_mutex> locker(lock);
        prime = startPending;
    }
    if (prime)
        primePlayback(true);

    if (counted) {
        std::unique_lock<std::shared_mutex> locker(lock);
        const quint64 running = isPlaying() && hostTimeNs() > runStartNs
            ? convert(hostTimeNs() - runStartNs, pulsesPerNano)
            : 0;
        const qint64 target = qint64(pulsesReceived) - qint64(pulsesAccumulated + running);
        const qint64 drift = target - pulsesOffset;
        if (std::abs(drift) < DriftTolerance) {
            driftCount = 0;
        } else if (++driftCount >= 3) {
            pulsesOffset = target;
            driftCount = 0;
            updateRates();
        }
    }
}

// The controller's transport requests, called on this thread as its slots.
void MidiSync::requestGotoStart()
{
    if (controller)
        QMetaObject::invokeMethod(controller, "requestGotoStart", Qt::DirectConnection);
}

void MidiSync::primePlayback(bool playing)
{
    if (controller)
        QMetaObject::invokeMethod(controller, "requestPrimePlaybackForSyncStateChange",
                                  Qt::DirectConnection, Q_ARG(bool, playing));
}

void MidiSync::handleTimingClock(const MidiInputMessage& message, bool* counted)
{
    bool first;
    {
        std::unique_lock<std::shared_mutex> locker(lock);
        first = startPending;
        startPending = false;
    }
    if (first)
        setPlayingAt(message.hostTimeNs, 0, true);
    if (!isPlaying())
        return;
    if (!first) {
        std::unique_lock<std::shared_mutex> locker(lock);
        pulsesReceived += PulsesPerMidiClock;
        *counted = true;
    }

    quint64 guess = message.deltaTime > 0 ? quint64(std::floor(2.5 / message.deltaTime + 0.5))
                                          : quint64(tempo());
    const quint64 t = message.hostTimeNs;
    if (first) {
        clockTimes.clear();
        windowStartNs = t;
        lastTempoSetNs = 0;
    }
    // Keep two seconds of clocks; the window begins at the last one dropped.
    const bool hadClocks = !clockTimes.isEmpty();
    while (!clockTimes.isEmpty() && clockTimes.first() + EstimateWindowNs < t)
        windowStartNs = clockTimes.takeFirst();
    if (hadClocks && clockTimes.isEmpty()) {
        // The clock stopped arriving for longer than the window: neither the gap nor this
        // clock's distance to the last says anything about the tempo. Start afresh from here.
        windowStartNs = t;
        return;
    }
    clockTimes.append(t);

    const quint64 span = t > windowStartNs ? t - windowStartNs : 0;
    if (span != 0) {
        const long double n = clockTimes.size();
        const long double seconds = (long double)span / 1e9L;
        const long double bpm = (n / 24.0L) / seconds * 60.0L;
        if (seconds > 0.9L || (seconds > 0.5L && n >= 201))
            guess = quint64(floorl(bpm + 0.5L));
        // More than 1 % away restarts the window, once the change exceeds what 25 ms of
        // arrival jitter (a MIDI system's buffering) can make of this span.
        const long double tolerance = std::max(0.01L, 0.025L / seconds);
        if (fabsl(lastEstimate - bpm) > lastEstimate * tolerance) {
            clockTimes.clear();
            windowStartNs = t;
        }
        lastEstimate = bpm;
    }

    const quint64 now = hostTimeNs();
    if (now - lastTempoSetNs >= TempoSetIntervalNs) {
        setTempo(uint(std::clamp<quint64>(guess, 1, 999)));
        lastTempoSetNs = now;
    }
}
