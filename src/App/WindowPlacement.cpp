#include "WindowPlacement.h"

#include <cstdlib>

namespace WindowPlacement {

namespace {
constexpr int EdgeTolerance = 49;
constexpr int Gap = 6;
} // namespace

QPoint centred(const QRect& available, const QSize& size)
{
    return QPoint(available.x() + available.width() / 2 - size.width() / 2,
                  available.y() + available.height() / 2 - size.height() / 2);
}

QRect besideInspector(const QRect& available, const QRect& inspectorFrame)
{
    if (std::abs(inspectorFrame.left() - available.left()) <= EdgeTolerance) {
        QRect region = available;
        region.setLeft(inspectorFrame.right() + Gap);
        return region;
    }
    if (std::abs(inspectorFrame.right() - available.right()) <= EdgeTolerance) {
        QRect region = available;
        region.setRight(inspectorFrame.left() - Gap);
        return region;
    }
    return QRect();
}

} // namespace WindowPlacement
