#ifndef POSITIONDISPLAY_H
#define POSITIONDISPLAY_H

#include <QChar>
#include <QList>
#include <QtGlobal>

// What the transport bar's position display shows: one character per place, solid where the
// place is significant and dim for leading places not yet in use.
namespace PositionDisplay {

enum Mode { Time = 1, Principals = 2, Beats = 3 };

struct Place
{
    QChar character;
    bool solid;
};

// HH:MM:SS.mmm from nanoseconds: hours and their colon dim below one hour, minutes and their
// colon below one minute; the hours run 00 to 59. Twelve places.
QList<Place> timePlaces(quint64 nanos);

// PPP,PPP.DD from ticks: the principal and the division within it, both counted from 1. The
// divisions per principal are taken within 1..665280. The thousands and their comma are dim
// up to principal 999. Ten places.
QList<Place> principalPlaces(quint64 ticks, qint64 divsPerPrincipal);

// BBB,BBB.SSS from pulses: the beat counted from 1 and the step of 2772 pulses within it (1
// to 240). The thousands and their comma are dim up to beat 999. Eleven places.
QList<Place> beatPlaces(quint64 pulses);

} // namespace PositionDisplay

#endif // POSITIONDISPLAY_H
