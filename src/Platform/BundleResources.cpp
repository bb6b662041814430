#include "BundleResources.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace Platform {

// The folder of the running executable, also before an application object exists.
static QString executableDirPath()
{
    if (QCoreApplication::instance())
        return QCoreApplication::applicationDirPath();
    return QFileInfo(QStringLiteral("/proc/self/exe")).canonicalPath();
}

QString bundleResourcesPath()
{
    const QString override = qEnvironmentVariable("KELVO_RESOURCES");
    if (!override.isEmpty())
        return QDir::cleanPath(override);
    return QDir::cleanPath(executableDirPath() + QStringLiteral("/../share/kelvo"));
}

QString bundleResourcePath(const QString& name)
{
    return bundleResourcesPath() + QLatin1Char('/') + name;
}

QString manualPath()
{
    const QString override = qEnvironmentVariable("KELVO_DOC");
    if (!override.isEmpty())
        return QDir::cleanPath(override);
    return QDir::cleanPath(executableDirPath() + QStringLiteral("/../share/doc/kelvo"));
}

} // namespace Platform
