#ifndef QMDBINDINGINFO_H
#define QMDBINDINGINFO_H

#include "QmdGlobal.h"
#include "QmdIndex.h"

#include <QByteArray>
#include <QHash>
#include <QSet>
#include <QString>
#include <QVariant>

// One bound property of an object: the property, its change signal (empty for a binding that
// only follows the model), the watched keys per StrDict container, and what the property
// shows and writes.
struct QmdBindingInfo
{
    QByteArray property;
    QByteArray signal; // normalised, with the "2" prefix of string-based connections
    QHash<QmdIndex, QSet<QString>> items;
    QVariant defaultValue;
    QVariant mixedValue;
    QString intent;
    Qmd::RequestFlags flags;
};

#endif // QMDBINDINGINFO_H
