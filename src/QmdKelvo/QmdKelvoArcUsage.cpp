#include "QmdKelvoArcUsage.h"

uint QmdKelvo::arcUsageEdgeId(const QString& entry)
{
    bool ok = false;
    const uint id = entry.section(QLatin1Char('='), 0, 0).toUInt(&ok, 10);
    return ok ? id : 0;
}

int QmdKelvo::arcUsageCount(const QString& entry)
{
    bool ok = false;
    const int count = entry.section(QLatin1Char('='), 1, 1).toInt(&ok, 10);
    return ok ? count : 0;
}
