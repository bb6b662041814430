#ifndef BUNDLERESOURCES_H
#define BUNDLERESOURCES_H

#include <QString>

namespace Platform {

// The folder of the application's bundled resources (the default template, the scale modes,
// the examples): "share/kelvo" beside the folder of the executable, as in the build tree and
// in an installation. The environment variable KELVO_RESOURCES, when set and not empty, names
// another folder instead.
QString bundleResourcesPath();

// The path of one resource in that folder. The file need not exist.
QString bundleResourcePath(const QString& name);

} // namespace Platform

#endif // BUNDLERESOURCES_H
