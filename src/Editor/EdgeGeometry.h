#ifndef EDGEGEOMETRY_H
#define EDGEGEOMETRY_H

#include <QPainterPath>
#include <QPointF>
#include <QRectF>
#include <QSizeF>

// What an edge between two node centres looks like: the line, a straight segment or two legs
// at a right angle, from the rim of the from-node's circle to where the arrow head starts, so
// that the arrow's tip touches the to-node's circle; the arrow head's place and direction; and
// the place of the signalling label beside the line, clear of both nodes' boxes.
//
// Everything is in the edge item's coordinates, whose origin is the from-node's centre.
// Lengths scale with QmdKelvo::dpiScaleX and dpiScaleY.
struct EdgeGeometry
{
    QPainterPath path;
    // Where the arrow head's base sits, and the direction it points in, in degrees.
    QPointF arrowPos;
    double arrowAngle = 0;
    QPointF labelPos;

    // The geometry from `from` to `to` (scene coordinates) along a path type
    // (QmdKelvo::EdgePath; horizontal and vertical edges are straight whatever it is), with a
    // label of the given size. The label also keeps clear of the nodes' own labels, given in
    // their nodes' coordinates (null for a node that shows none).
    static EdgeGeometry compute(QPointF from, QPointF to, int pathType, QSizeF labelSize,
                                const QRectF& fromNodeLabel = QRectF(),
                                const QRectF& toNodeLabel = QRectF());
};

#endif // EDGEGEOMETRY_H
