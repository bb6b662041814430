#include "ImageRegistry.h"

namespace ImageRegistry {

namespace {
QMap<QString, Painter>& registry()
{
    static QMap<QString, Painter> map;
    return map;
}
} // namespace

bool add(const char* path, Painter painter)
{
    registry().insert(QString::fromLatin1(path), painter);
    return true;
}

const QMap<QString, Painter>& painters()
{
    return registry();
}

QImage newImage(int width, int height)
{
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    return image;
}

} // namespace ImageRegistry
