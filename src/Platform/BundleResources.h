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

// The folder of the user manual ("index.html" and what it links): "share/doc/kelvo" beside the
// folder of the executable. The environment variable KELVO_DOC, when set and not empty, names
// another folder instead.
QString manualPath();

} // namespace Platform

#endif // BUNDLERESOURCES_H
