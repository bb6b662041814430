#include "QmdKelvoTypes.h"

namespace QmdKelvo {

void registerTickPointType()
{
    static const int id = qRegisterMetaType<TickPoint>("QmdKelvo::TickPoint");
    Q_UNUSED(id);
}

uint arcUsageEdgeId(QStringView entry)
{
    const qsizetype equals = entry.indexOf(QLatin1Char('='));
    return (equals < 0 ? entry : entry.left(equals)).toUInt();
}

int arcUsageCount(QStringView entry)
{
    const qsizetype equals = entry.indexOf(QLatin1Char('='));
    if (equals < 0)
        return 0;
    const QStringView count = entry.mid(equals + 1);
    const qsizetype next = count.indexOf(QLatin1Char('='));
    return (next < 0 ? count : count.left(next)).toInt();
}

} // namespace QmdKelvo
