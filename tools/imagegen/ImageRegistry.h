#ifndef IMAGEREGISTRY_H
#define IMAGEREGISTRY_H

#include <QImage>
#include <QMap>
#include <QString>

// The images that the generator paints, by their path under ":/images/". Each is painted by a
// function registered with KELVO_IMAGE; the build reads the paths from those lines, so one
// line is all an image needs:
//
//     KELVO_IMAGE(closeButton, "Buttons/Close.png")
//     {
//         QImage image = ImageRegistry::newImage(16, 16);
//         ...
//         return image;
//     }
//
// Painters draw on the image alone: no fonts and no platform services, so that every machine
// paints the same bytes.
namespace ImageRegistry {

typedef QImage (*Painter)();

// Registers a painter; true, for the static initialiser that calls it.
bool add(const char* path, Painter painter);
const QMap<QString, Painter>& painters();

// A transparent image of the given size, ready for QPainter.
QImage newImage(int width, int height);

} // namespace ImageRegistry

#define KELVO_IMAGE(function, path)                                                                \
    static QImage function();                                                                      \
    [[maybe_unused]] static const bool function##Registered = ImageRegistry::add(path, &function); \
    static QImage function()

#endif // IMAGEREGISTRY_H
