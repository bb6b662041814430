#ifndef QMDGLOBAL_H
#define QMDGLOBAL_H

#include <QFlags>
#include <QList>
#include <QMetaType>
#include <QSet>
#include <QtGlobal>

// Id of a child of an integer-keyed container. 0 means "no item" and is never stored.
typedef quint32 QmdItemId;
typedef QList<QmdItemId> QmdItemIdList;
typedef QSet<QmdItemId> QmdItemIdSet;

// Id of a request. 0 is never issued.
typedef quint32 QmdRequestId;

namespace Qmd {

enum ContainerType { NoContainer = 0, IntDict = 1, StrDict = 2 };

enum RequestFlag { NoRequestFlags = 0x0, NotUndoable = 0x1 };
Q_DECLARE_FLAGS(RequestFlags, RequestFlag)

} // namespace Qmd

Q_DECLARE_OPERATORS_FOR_FLAGS(Qmd::RequestFlags)
Q_DECLARE_METATYPE(Qmd::ContainerType)
Q_DECLARE_METATYPE(Qmd::RequestFlags)

#endif // QMDGLOBAL_H
