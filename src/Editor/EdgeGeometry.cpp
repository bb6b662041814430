#include "EdgeGeometry.h"

#include "QmdKelvoTypes.h"
#include "QmdKelvoUnits.h"

#include <QRectF>

#include <algorithm>
#include <cmath>

namespace {

// Node radius and arrow length, in points.
constexpr double NodeRadius = 10.0;
constexpr double ArrowLength = 9.0;
// A coordinate difference at or below this counts as none.
constexpr double StraightTolerance = 1e-6;
// The gap between the label and the line or a node, and the smallest label size taken into
// account (also half the side of a node's box), in points.
constexpr double LabelGap = 4.5;
constexpr double LabelMinimum = 10.0;

} // namespace

EdgeGeometry EdgeGeometry::compute(QPointF from, QPointF to, int pathType, QSizeF labelSize,
                                   const QRectF& fromNodeLabel, const QRectF& toNodeLabel)
{
    const double s = QmdKelvo::dpiScaleX;
    const double t = QmdKelvo::dpiScaleY;
    // The line ends this far from the to-node's centre: the arrow head fills the rest.
    const double r = (NodeRadius + ArrowLength) * s;
    const double dx = to.x() - from.x();
    const double dy = to.y() - from.y();

    const bool bent = std::abs(dx) > StraightTolerance && std::abs(dy) > StraightTolerance
        && (pathType == QmdKelvo::CityBlock || pathType == QmdKelvo::CityBlockFlipped);
    QPointF bend;
    double a0 = std::atan2(dy, dx);
    double a1 = a0;
    if (bent) {
        bend = pathType == QmdKelvo::CityBlock ? QPointF(to.x(), from.y())
                                               : QPointF(from.x(), to.y());
        a0 = std::atan2(bend.y() - from.y(), bend.x() - from.x());
        if (pathType == QmdKelvo::CityBlock && std::abs(dy) < r) {
            // The second leg is too short for the arrow head: the bend moves back along the
            // first leg and the arrow enters the node horizontally.
            bend.setX(dx > 0 ? to.x() - r : to.x() + r);
            a1 = std::atan2(0.0, to.x() - bend.x());
        } else if (pathType == QmdKelvo::CityBlockFlipped && std::abs(dx) < r) {
            bend.setY(dy > 0 ? to.y() - r : to.y() + r);
            a1 = std::atan2(to.y() - bend.y(), 0.0);
        } else {
            a1 = std::atan2(to.y() - bend.y(), to.x() - bend.x());
        }
    }

    const QPointF start(NodeRadius * s * std::cos(a0), NodeRadius * t * std::sin(a0));
    const QPointF end(dx - r * std::cos(a1), dy - r * std::sin(a1));
    const QPointF localBend = bend - from;

    EdgeGeometry g;
    g.path.moveTo(start);
    if (bent)
        g.path.lineTo(localBend);
    g.path.lineTo(end);
    g.arrowPos = end;
    g.arrowAngle = a1 * 180.0 / M_PI;

    const double h = LabelGap * s;
    const double m = LabelMinimum * s;
    const double w = std::max(m, labelSize.width());
    const double ht = std::max(m, labelSize.height());
    const bool rightward = end.x() > start.x();
    const bool downward = end.y() > start.y();
    double x = 0;
    double y = 0;
    if (bent) {
        // Beside the bend: below it when the line runs right and down or left and up, else
        // above it.
        const bool gapRight = pathType == QmdKelvo::CityBlock ? rightward : !rightward;
        x = gapRight ? localBend.x() + h : localBend.x();
        y = rightward == downward ? localBend.y() + h : localBend.y() - h - ht;
    } else {
        const QPointF v = end - start;
        const double length = std::hypot(v.x(), v.y());
        // Ends that meet (nodes 29 points apart on one row) have no direction: the label goes
        // as for a horizontal line.
        const double ux = length > 0 ? std::abs(v.x()) / length : 1.0;
        const double uy = length > 0 ? std::abs(v.y()) / length : 0.0;
        const QPointF middle = start + v / 2;
        x = middle.x() - w * ux / 2 + h * uy + ht / 2 * ux * uy;
        if (rightward == downward)
            y = middle.y() - ht / 2 * uy - (h + ht) * ux;
        else
            y = middle.y() - ht / 2 * uy + h * ux + ht / 2 * ux * ux * uy;
    }

    // Clear of the nodes' boxes, their labels included: moved to the left of the box it
    // overlaps. A node's label lies to the right of its circle, so the box's left side stays.
    QRectF fromBox(-m, -m, 2 * m, 2 * m);
    QRectF toBox(dx - m, dy - m, 2 * m, 2 * m);
    if (!fromNodeLabel.isNull())
        fromBox |= fromNodeLabel.adjusted(-h / 2, -h / 2, h / 2, h / 2);
    if (!toNodeLabel.isNull())
        toBox |= toNodeLabel.translated(dx, dy).adjusted(-h / 2, -h / 2, h / 2, h / 2);
    for (int pass = 0; pass < 2; ++pass) {
        if (QRectF(x, y, w, ht).intersects(fromBox))
            x = fromBox.left() - w - h;
        if (QRectF(x, y, w, ht).intersects(toBox))
            x = toBox.left() - w - h;
    }
    g.labelPos = QPointF(x, y);
    return g;
}
