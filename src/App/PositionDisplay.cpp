#include "PositionDisplay.h"

#include <algorithm>

namespace PositionDisplay {

namespace {

constexpr quint64 TicksPerPrincipal = 665280;
constexpr quint64 PulsesPerBeat = 665280;
constexpr quint64 PulsesPerStep = 2772;

Place digit(quint64 value, bool solid)
{
    return Place {QChar(char('0' + value % 10)), solid};
}

Place mark(char character, bool solid)
{
    return Place {QChar(character), solid};
}

// The six places of a count up to 999,999 with its comma: the thousands solid from 1,000 on.
void appendCount(QList<Place>& places, quint64 count)
{
    const bool thousands = count >= 1000;
    places << digit(count / 100000, thousands) << digit(count / 10000, thousands)
           << digit(count / 1000, thousands) << mark(',', thousands);
    places << digit(count / 100, true) << digit(count / 10, true) << digit(count, true);
}

} // namespace

QList<Place> timePlaces(quint64 nanos)
{
    constexpr quint64 Second = 1000000000ULL;
    constexpr quint64 Minute = 60 * Second;
    constexpr quint64 Hour = 60 * Minute;
    const quint64 hours = (nanos / Hour) % 60;
    const quint64 minutes = (nanos / Minute) % 60;
    const quint64 seconds = (nanos / Second) % 60;
    const quint64 millis = (nanos / 1000000) % 1000;
    const bool hoursSolid = nanos >= Hour;
    const bool minutesSolid = nanos >= Minute;
    QList<Place> places;
    places << digit(hours / 10, hoursSolid) << digit(hours, hoursSolid) << mark(':', hoursSolid);
    places << digit(minutes / 10, minutesSolid) << digit(minutes, minutesSolid)
           << mark(':', minutesSolid);
    places << digit(seconds / 10, true) << digit(seconds, true) << mark('.', true);
    places << digit(millis / 100, true) << digit(millis / 10, true) << digit(millis, true);
    return places;
}

QList<Place> principalPlaces(quint64 ticks, qint64 divsPerPrincipal)
{
    const quint64 divs = quint64(std::clamp<qint64>(divsPerPrincipal, 1, TicksPerPrincipal));
    const quint64 principal = ticks / TicksPerPrincipal + 1;
    // Counted within the principal, so that divisions that do not divide a principal evenly
    // keep their places from one principal to the next.
    const quint64 division = (ticks % TicksPerPrincipal) * divs / TicksPerPrincipal + 1;
    QList<Place> places;
    appendCount(places, principal);
    places << mark('.', true) << digit(division / 10, true) << digit(division, true);
    return places;
}

QList<Place> beatPlaces(quint64 pulses)
{
    const quint64 beat = pulses / PulsesPerBeat + 1;
    const quint64 step = (pulses / PulsesPerStep) % (PulsesPerBeat / PulsesPerStep) + 1;
    QList<Place> places;
    appendCount(places, beat);
    places << mark('.', true) << digit(step / 100, true) << digit(step / 10, true)
           << digit(step, true);
    return places;
}

} // namespace PositionDisplay
