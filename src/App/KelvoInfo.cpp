#include "KelvoInfo.h"

#include <QCoreApplication>
#include <QSysInfo>
#include <QUrlQuery>

namespace Kelvo {

QString fileFilter()
{
    return QCoreApplication::translate("Kelvo", "Kelvo") + QStringLiteral(" Network (*.")
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

QString longVersionString()
{
    return QStringLiteral("%1/%2 (Linux; %3)")
        .arg(QCoreApplication::translate("Kelvo", "Kelvo"), shortVersionString(),
             QSysInfo::buildCpuArchitecture());
}

QUrl kelvoSupportUrl(const QString& address)
{
    if (address.isEmpty())
        return {};
    QUrl url;
    url.setScheme(QStringLiteral("mailto"));
    url.setPath(address);
    QUrlQuery query;
    query.addQueryItem(QStringLiteral("subject"),
                       QStringLiteral("%1 Support").arg(longVersionString()));
    url.setQuery(query);
    return url;
}

} // namespace Kelvo
