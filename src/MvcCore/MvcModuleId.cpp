#include "MvcModuleId.h"

#include <QMutex>
#include <QSet>

quint32 allocateModuleId()
{
    static QMutex mutex;
    static QSet<quint32> used;
    QMutexLocker locker(&mutex);
    for (quint32 id = 1; id != 0xFFFFFFFFu; ++id) {
        if (!used.contains(id)) {
            used.insert(id);
            return id;
        }
    }
    return 0;
}

quint32 MvcCore::id()
{
    static const quint32 moduleId = allocateModuleId();
    return moduleId;
}
