#include "QmdKelvoTypes.h"

namespace QmdKelvo {

void registerTickPointType()
{
    static const int id = qRegisterMetaType<TickPoint>("QmdKelvo::TickPoint");
    Q_UNUSED(id);
}

uint arcUsageEdgeId(const QString& entry)
{
    return entry.section(QLatin1Char('='), 0, 0).toUInt();
}

int arcUsageCount(const QString& entry)
{
    return entry.section(QLatin1Char('='), 1, 1).toInt();
}

} // namespace QmdKelvo
