#include "KelvoInfo.h"

#include <QCoreApplication>

namespace Kelvo {

QString fileFilter()
{
    return QCoreApplication::translate("Kelvo", "Kelvo") + QStringLiteral(" Network ( *.")
        + DocumentSuffix + QStringLiteral(")");
}

QString shortVersionString()
{
    return QStringLiteral("%1.%2.%3.%4")
        .arg(KELVO_VERSION_MAJOR)
        .arg(KELVO_VERSION_MINOR)
        .arg(KELVO_VERSION_PATCH)
        .arg(KELVO_VERSION_TWEAK);
}

} // namespace Kelvo
