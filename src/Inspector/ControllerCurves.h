#ifndef CONTROLLERCURVES_H
#define CONTROLLERCURVES_H

#include "QmdKelvoTypes.h"

#include <QPointF>
#include <QPolygonF>
#include <QRectF>
#include <QString>
#include <QVector>

// The controller curves of an edge: each curve drives a MIDI controller (or pitch bend) along
// the edge through a list of points (x from 0.0 at the edge's start to 1.0 at its end, y a
// value on the 14-bit scale). A 14-bit value is coarse * 128 + fine; a curve with a coarse
// controller and no fine one sends the coarse part alone.

// Controller codes besides the MIDI controller numbers 0 to 127.
constexpr int NoControllerCode = -1;
constexpr int PitchBendCode = -2;

// The 14-bit value scale.
constexpr int CurveValueMax = 16383;
constexpr int PitchBendCenter = 8192;

// One row of the controller table.
struct ControllerInfo
{
    QString name; // translated display text, beginning with the controller number
    quint8 defaultValue = 0; // the controller's reset value, 0 to 127
    int lsbCode = NoControllerCode; // the fine controller paired with this coarse one
};

// The 128 MIDI controllers, indexed by controller number. The table is built on the first
// call, with the names translated in the context "CCListEdit", and never changes afterwards.
const QVector<ControllerInfo>& controllerInfoTable();

// The table's row for a code; a code outside the table reads as an empty row (no name, reset
// value 0, no fine controller).
const ControllerInfo& controllerInfo(int code);

// The value a new curve of these codes starts at: the pitch-bend centre when either code is
// pitch bend, otherwise the two rows' reset values as coarse and fine parts.
int curveDefaultValue(int msbCode, int lsbCode);

// The point list completed for its curve type. A single value keeps its points with the first
// at x 0 (one point at the default value when there is none). Linear and cubic curves start
// at x 0 and end at x 1: a missing start takes the first point's value (the default value when
// the list is empty) and a missing end takes the value of the start. Other types, and lists
// that need nothing, come back unchanged.
QPolygonF normalizedCurvePoints(QmdKelvo::ControllerCurveType type, int msbCode, int lsbCode,
                                QPolygonF points);

// Two point lists are the same curve when they share their data, or have the same size and
// every pair of points differs by at most 1e-12 in x and in y.
bool curvePointsEqual(const QPolygonF& a, const QPolygonF& b);

// A curve point's place in the drawing rectangle: value 16383 on its top edge, 0 on its bottom
// edge.
QPointF curvePointToWidget(const QPointF& point, const QRectF& rect);

// The curve point at a place in the drawing rectangle: x neither rounded nor confined, the
// value rounded to a whole number (halves upwards). A rectangle without area gives (0, 0).
QPointF widgetToCurvePoint(const QPointF& widgetPoint, const QRectF& rect);

#endif // CONTROLLERCURVES_H
