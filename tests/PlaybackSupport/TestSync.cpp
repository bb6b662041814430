#include "TestSync.h"

#include <algorithm>
#include <cmath>

namespace {

quint64 convert(quint64 value, long double rate)
{
    return quint64(floorl((long double)value * rate));
}

} // namespace

TestSync::TestSync(QObject* parent)
    : AbstractSync(parent)
{ }

QString TestSync::staticTypeId()
{
    return QStringLiteral("test");
}

void TestSync::registerType()
{
    registerSyncType(staticTypeId(), [](QObject* parent) { return new TestSync(parent); });
}

long double TestSync::ticksPerPulse() const
{
    return (long double)std::max(numeratorValue.load(), 1u)
        / (long double)std::max(denominatorValue.load(), 1u);
}

long double TestSync::pulsesPerNano() const
{
    return (long double)std::clamp(tempoValue.load(), 1u, 999u) * (long double)PulsesPerBeat
        / (long double)NanosPerMinute;
}

quint64 TestSync::nanosToTicks(const quint64& nanos) const
{
    return convert(nanos, pulsesPerNano() * ticksPerPulse());
}

quint64 TestSync::ticksToNanos(const quint64& value) const
{
    return convert(value, 1.0L / (pulsesPerNano() * ticksPerPulse()));
}

quint64 TestSync::nanosToPulses(const quint64& nanos) const
{
    return convert(nanos, pulsesPerNano());
}

quint64 TestSync::pulsesToNanos(const quint64& pulses) const
{
    return convert(pulses, 1.0L / pulsesPerNano());
}

quint64 TestSync::ticksToPulses(const quint64& value) const
{
    return convert(value, 1.0L / ticksPerPulse());
}

quint64 TestSync::pulsesToTicks(const quint64& pulses) const
{
    return convert(pulses, ticksPerPulse());
}

void TestSync::reset()
{
    playing.store(false);
    ticks.store(0);
}

void TestSync::setTempo(uint t)
{
    if (tempoValue.exchange(t) != t)
        emit tempoChanged(t);
}

void TestSync::setPrincipalsToBeatsNumerator(uint n)
{
    if (numeratorValue.exchange(n) != n)
        emit principalsToBeatsNumeratorChanged(n);
}

void TestSync::setPrincipalsToBeatsDenominator(uint d)
{
    if (denominatorValue.exchange(d) != d)
        emit principalsToBeatsDenominatorChanged(d);
}
