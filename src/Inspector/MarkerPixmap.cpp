#include "MarkerPixmap.h"

#include <QImage>
#include <QPainter>

namespace Kelvo {

QPixmap markerPixmap(const QColor& color, int width, int height)
{
    // An image, unlike a pixmap, may outlive the application object.
    static const QImage overlay(QStringLiteral(":/images/EdgeTileAlpha.png"));
    QImage image(qMax(width, 0), qMax(height, 0), QImage::Format_ARGB32_Premultiplied);
    if (image.isNull())
        return QPixmap();
    image.fill(color);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(image.rect(), overlay);
    painter.end();
    return QPixmap::fromImage(image);
}

} // namespace Kelvo
