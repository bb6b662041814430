#ifndef QMDREQUESTOPTIONS_H
#define QMDREQUESTOPTIONS_H

#include "QmdGlobal.h"

#include <QString>

// The options of a request: its flags, its intent (the translated undo and redo text) and its
// id. An id of 0 asks for a new one; another id makes the request join the undo step of the
// earlier request that had it.
struct QmdRequestOptions
{
    explicit QmdRequestOptions(const QString& intent)
        : intent(intent)
    { }
    QmdRequestOptions(Qmd::RequestFlags flags, const QString& intent)
        : flags(flags)
        , intent(intent)
    { }

    Qmd::RequestFlags flags;
    QString intent;
    QmdRequestId id = 0;
};

#endif // QMDREQUESTOPTIONS_H
