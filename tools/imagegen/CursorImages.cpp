// The cursors of the editing tools: 16 by 16 pixels with the hot spot at (7, 7), black with a
// white halo one pixel wide, so that they read on dark and light backgrounds alike; the glass
// of the lens is white, so that its sign stands clear of the grid behind it. They are set
// pixel by pixel, without antialiasing, to stay crisp at their small size.

#include "ImageRegistry.h"

#include <QList>
#include <QPoint>

#include <cmath>

namespace {

constexpr int Size = 16;
constexpr int Centre = 7;

// The black pixels of a cursor.
using Shape = QList<QPoint>;

double distanceFromCentre(int x, int y)
{
    return std::hypot(x - Centre, y - Centre);
}

// A ring of radius 5 about the hot spot: the pixels whose centres lie within half a pixel of
// the circle.
Shape lensRing()
{
    Shape shape;
    for (int y = 0; y < Size; ++y)
        for (int x = 0; x < Size; ++x)
            if (std::abs(distanceFromCentre(x, y) - 5.0) <= 0.5)
                shape << QPoint(x, y);
    return shape;
}

enum class Sign { None, Minus, Plus };

// A magnifying glass: the ring, a handle three pixels across from the ring to (14, 14), and the
// sign inside.
Shape lens(Sign sign)
{
    Shape shape = lensRing();
    for (int t = 11; t <= 14; ++t)
        shape << QPoint(t, t);
    for (int t = 11; t <= 13; ++t)
        shape << QPoint(t + 1, t) << QPoint(t, t + 1);
    if (sign != Sign::None)
        for (int t = Centre - 2; t <= Centre + 2; ++t)
            shape << QPoint(t, Centre);
    if (sign == Sign::Plus)
        for (int t = Centre - 2; t <= Centre + 2; ++t)
            shape << QPoint(Centre, t);
    return shape;
}

// The shape's pixels in black, ringed by white ones, on a transparent image; with `glass`, the
// inside of the lens ring is white too.
QImage cursorImage(const Shape& shape, bool glass)
{
    bool black[Size][Size] = {};
    for (const QPoint& p : shape)
        black[p.y()][p.x()] = true;

    QImage image = ImageRegistry::newImage(Size, Size);
    for (int y = 0; y < Size; ++y) {
        for (int x = 0; x < Size; ++x) {
            if (black[y][x]) {
                image.setPixel(x, y, qRgba(0, 0, 0, 255));
                continue;
            }
            bool halo = glass && distanceFromCentre(x, y) < 5.0;
            for (int dy = -1; dy <= 1 && !halo; ++dy)
                for (int dx = -1; dx <= 1 && !halo; ++dx) {
                    const int nx = x + dx;
                    const int ny = y + dy;
                    halo = nx >= 0 && nx < Size && ny >= 0 && ny < Size && black[ny][nx];
                }
            if (halo)
                image.setPixel(x, y, qRgba(255, 255, 255, 255));
        }
    }
    return image;
}

} // namespace

KELVO_IMAGE(zoomInCursor, "Cursors/ZoomIn.png")
{
    return cursorImage(lens(Sign::Plus), true);
}

KELVO_IMAGE(zoomOutCursor, "Cursors/ZoomOut.png")
{
    return cursorImage(lens(Sign::Minus), true);
}

KELVO_IMAGE(zoomNoneCursor, "Cursors/ZoomNone.png")
{
    return cursorImage(lens(Sign::None), true);
}

KELVO_IMAGE(crosshairCursor, "Cursors/Crosshair.png")
{
    Shape shape;
    for (int t = 1; t <= 13; ++t)
        shape << QPoint(t, Centre) << QPoint(Centre, t);
    return cursorImage(shape, false);
}
