// The overlay of the edge-usage tiles: laid over a tile's marker colour, it gives the tile a
// soft highlight at the top and a darker bottom edge.

#include "ImageRegistry.h"

#include <QLinearGradient>
#include <QPainter>

KELVO_IMAGE(edgeTileAlpha, "EdgeTileAlpha.png")
{
    constexpr int Width = 30;
    constexpr int Height = 36;
    QImage image = ImageRegistry::newImage(Width, Height);
    QPainter p(&image);
    QLinearGradient highlight(0, 0, 0, Height / 3.0);
    highlight.setColorAt(0, QColor(255, 255, 255, 150));
    highlight.setColorAt(1, QColor(255, 255, 255, 0));
    p.fillRect(QRect(0, 0, Width, Height / 3), highlight);
    p.fillRect(QRect(0, Height - 1, Width, 1), QColor(0, 0, 0, 90));
    return image;
}
