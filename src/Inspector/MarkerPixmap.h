#ifndef MARKERPIXMAP_H
#define MARKERPIXMAP_H

#include <QColor>
#include <QPixmap>

namespace Kelvo {

// The tile image of an edge marker colour: the colour with the edge tile's highlight and
// bottom line laid over it, at the given size. Not cached.
QPixmap markerPixmap(const QColor& color, int width, int height);

} // namespace Kelvo

#endif // MARKERPIXMAP_H
