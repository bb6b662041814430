#ifndef SMARTSTRINGLESSTHAN_H
#define SMARTSTRINGLESSTHAN_H

#include <QSet>
#include <QString>
#include <QStringList>

// Natural order, as for MIDI port names: the parts before a trailing run of decimal digits
// compare with QString::localeAwareCompare and, when they are equal, the trailing numbers as
// unsigned integers of any length (0 when there is none). So "Port 2" sorts before "Port 10",
// "Bus" before "Bus 1", and "IAC 01" and "IAC 1" are equal.
bool nSmartStringLessThan(const QString& a, const QString& b);

// `names` in that order; names that it holds equal ("IAC 1", "IAC 01") keep a fixed order.
QStringList nSmartSorted(const QSet<QString>& names);

#endif // SMARTSTRINGLESSTHAN_H
