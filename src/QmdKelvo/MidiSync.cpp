#include "MidiSync.h"

#include "DeadlineSleep.h"

#include <QMutexLocker>
#include <QReadLocker>
#include <QWriteLocker>

#include <algorithm>
#include <cmath>

namespace {

// The values the rates are computed with: tempo 1..999, ratio parts at least 1.
uint timedTempo(uint t)
{
    return std::clamp(t, 1u, 999u);
}

uint timedRatioPart(uint v)
{
    return std::max(v, 1u);
}

} // namespace

MidiSync::MidiSync(QObject* parent)
    : AbstractSync(parent)
{ }

MidiSync::~MidiSync()
{
    setController(nullptr);
}

QString MidiSync::staticTypeId()
{
    return QStringLiteral("internal");
}

QString MidiSync::staticTypeName()
{
    return tr("MidiSync");
}

quint64 MidiSync::hostTimeNs() const
{
    return Platform::monotonicNs();
}

int MidiSync::clockOutputInterval(uint tempo)
{
    const int perClock = int(60000 / (24 * timedTempo(tempo)));
    return std::min(500, std::max(1, 4 * perClock));
}

quint64 MidiSync::convert(quint64 value, long double rate)
{
    const long double product = floorl((long double)value * rate);
    if (!(product > 0))
        return 0;
    if (product >= 18446744073709551616.0L)
        return std::numeric_limits<quint64>::max();
    return quint64(product);
}

void MidiSync::updateRates()
{
    const quint64 t = timedTempo(tempoValue.load());
    const quint64 n = timedRatioPart(numeratorValue.load());
    const quint64 d = timedRatioPart(denominatorValue.load());
    const double minuteD = double(d) * 60000000000.0;
    ticksPerNano = (long double)(t * n * TicksPerPrincipal) / (long double)minuteD;
    nanosPerTick = (long double)minuteD / (long double)(t * n * TicksPerPrincipal);
    pulsesPerNano = (long double)(t * PulsesPerBeat) / (long double)NanosPerMinute;
    nanosPerPulse = (long double)NanosPerMinute / (long double)(t * PulsesPerBeat);
    pulsesPerTick = (long double)(d * TicksPerPrincipal) / (long double)(n * TicksPerPrincipal);
    ticksPerPulse = (long double)(n * TicksPerPrincipal) / (long double)(d * TicksPerPrincipal);
    // Toward zero, whichever the sign.
    const quint64 magnitude = convert(
        pulsesOffset < 0 ? quint64(-(pulsesOffset + 1)) + 1 : quint64(pulsesOffset), ticksPerPulse);
    ticksOffset = pulsesOffset < 0 ? -qint64(magnitude) : qint64(magnitude);
    publishPulseState();
}

void MidiSync::carryRunOver(quint64 t)
{
    // A stop stamped before the run began ends it where it began.
    const quint64 d = t > runStartNs ? t - runStartNs : 0;
    t = std::max(t, runStartNs);
    nanosAccumulated += d;
    ticksAccumulated += convert(d, ticksPerNano);
    pulsesAccumulated += convert(d, pulsesPerNano);
    runStartNs = t;
}

void MidiSync::publishPulseState()
{
    QMutexLocker locker(&pulseStateMutex);
    pulseState.playing = playing.load();
    pulseState.accumulated = pulsesAccumulated;
    pulseState.runStartNs = runStartNs;
    pulseState.offset = pulsesOffset;
    pulseState.perNano = pulsesPerNano;
}

quint64 MidiSync::position(quint64 accumulated, long double perNano, qint64 offset) const
{
    quint64 value = accumulated;
    if (isPlaying()) {
        const quint64 now = hostTimeNs();
        // A reader may come just before the run's delayed start.
        if (now > runStartNs)
            value += convert(now - runStartNs, perNano);
    }
    if (offset >= 0)
        return value + quint64(offset);
    const quint64 back = quint64(-(offset + 1)) + 1;
    return back > value ? 0 : value - back;
}

quint64 MidiSync::nanosElapsed() const
{
    QReadLocker locker(&lock);
    if (!isPlaying())
        return nanosAccumulated;
    const quint64 now = hostTimeNs();
    return nanosAccumulated + (now > runStartNs ? now - runStartNs : 0);
}

quint64 MidiSync::ticksElapsed() const
{
    QReadLocker locker(&lock);
    return position(ticksAccumulated, ticksPerNano, ticksOffset);
}

quint64 MidiSync::pulsesElapsed() const
{
    QReadLocker locker(&lock);
    return position(pulsesAccumulated, pulsesPerNano, pulsesOffset);
}

quint64 MidiSync::directPulsesElapsed() const
{
    PulseState state;
    {
        QMutexLocker locker(&pulseStateMutex);
        state = pulseState;
    }
    quint64 value = state.accumulated;
    if (state.playing) {
        const quint64 now = hostTimeNs();
        if (now > state.runStartNs)
            value += convert(now - state.runStartNs, state.perNano);
    }
    if (state.offset >= 0)
        return value + quint64(state.offset);
    const quint64 back = quint64(-(state.offset + 1)) + 1;
    return back > value ? 0 : value - back;
}

quint64 MidiSync::nanosToTicks(const quint64& nanos) const
{
    QReadLocker locker(&lock);
    return convert(nanos, ticksPerNano);
}

quint64 MidiSync::ticksToNanos(const quint64& ticks) const
{
    QReadLocker locker(&lock);
    return convert(ticks, nanosPerTick);
}

quint64 MidiSync::nanosToPulses(const quint64& nanos) const
{
    QReadLocker locker(&lock);
    return convert(nanos, pulsesPerNano);
}

quint64 MidiSync::pulsesToNanos(const quint64& pulses) const
{
    QReadLocker locker(&lock);
    return convert(pulses, nanosPerPulse);
}

quint64 MidiSync::ticksToPulses(const quint64& ticks) const
{
    QReadLocker locker(&lock);
    return convert(ticks, pulsesPerTick);
}

quint64 MidiSync::pulsesToTicks(const quint64& pulses) const
{
    QReadLocker locker(&lock);
    return convert(pulses, ticksPerPulse);
}

void MidiSync::setPlaying(bool play)
{
    setPlayingAt(hostTimeNs(), 0, play);
}

void MidiSync::setPlayingAt(quint64 t, quint64 delayNs, bool play)
{
    QWriteLocker locker(&lock);
    if (play) {
        // A start while running would drop the time run so far.
        if (isPlaying())
            return;
        runStartNs = t + delayNs;
        for (quint64 now = hostTimeNs(); now < runStartNs; now = hostTimeNs())
            Platform::sleepUntilNs(Platform::monotonicNs()
                                   + std::min<quint64>(runStartNs - now, 500000));
    } else if (isPlaying()) {
        carryRunOver(t);
    }
    playing.store(play, std::memory_order_release);
    publishPulseState();
}

void MidiSync::reset()
{
    QWriteLocker locker(&lock);
    playing.store(false);
    nanosAccumulated = ticksAccumulated = pulsesAccumulated = 0;
    runStartNs = 0;
    pulsesOffset = 0;
    updateRates();
}

void MidiSync::setTempo(uint t)
{
    {
        QWriteLocker locker(&lock);
        if (t == tempoValue.load())
            return;
        if (isPlaying())
            carryRunOver(hostTimeNs());
        tempoValue.store(t);
        updateRates();
    }
    emit tempoChanged(t);
}

void MidiSync::setPrincipalsToBeatsNumerator(uint n)
{
    {
        QWriteLocker locker(&lock);
        if (n == principalsToBeatsNumerator())
            return;
        if (isPlaying())
            carryRunOver(hostTimeNs());
        numeratorValue.store(n);
        updateRates();
    }
    emit principalsToBeatsNumeratorChanged(n);
}

void MidiSync::setPrincipalsToBeatsDenominator(uint d)
{
    {
        QWriteLocker locker(&lock);
        if (d == principalsToBeatsDenominator())
            return;
        if (isPlaying())
            carryRunOver(hostTimeNs());
        denominatorValue.store(d);
        updateRates();
    }
    emit principalsToBeatsDenominatorChanged(d);
}
