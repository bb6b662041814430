// VoiceGroup: the samples of a controller curve along a travel, taken in one pass over the
// curve's points.
//
// A curve is a path through its points: from the first point as stored to each further point
// with its x (the fraction of the travel) stretched by 16383 squared, in straight pieces or in
// cubic ones that leave and enter their points level. Stretched this far, the path's length
// grows practically in step with time, and a sample at a fraction of the travel takes the
// path's value at that fraction of its length: within a piece, a straight one is read at the
// fraction of its length, a cubic one at the Bézier parameter equal to it. Points whose
// coordinates are not finite numbers of a sensible size are left out, as are pieces that go
// nowhere.

#include "VoiceGroup.h"

#include "QmdKelvoTypes.h"

#include <QPolygonF>

#include <cmath>
#include <vector>

namespace {

constexpr double CurveTimeStretch = 268402689.0;

int roundHalfAway(double value)
{
    const double rounded = std::round(value);
    if (!(rounded == rounded)) // NaN
        return 0;
    return int(qBound(-32768.0, rounded, 32767.0));
}

bool isUsableCoordinate(double value)
{
    return std::isfinite(value) && std::fabs(value) < 1e128;
}

bool isUsable(const QPointF& point)
{
    return isUsableCoordinate(point.x()) && isUsableCoordinate(point.y());
}

// One piece of a curve's path: a cubic Bézier, or a straight line from p0 to p3.
struct CurvePiece
{
    QPointF p0, p1, p2, p3;
    bool straight = true;

    double length() const
    {
        if (straight)
            return std::hypot(p3.x() - p0.x(), p3.y() - p0.y());
        // Five-point Gauss-Legendre over the speed along the Bézier: exact where a piece is a
        // step (the speed is then a polynomial) and far within a unit of length elsewhere.
        static constexpr double nodes[5] = {0.0, -0.5384693101056831, 0.5384693101056831,
                                            -0.9061798459386640, 0.9061798459386640};
        static constexpr double weights[5]
            = {0.5688888888888889, 0.4786286704993665, 0.4786286704993665, 0.2369268850561891,
               0.2369268850561891};
        double sum = 0;
        for (int i = 0; i < 5; ++i) {
            const double t = 0.5 + 0.5 * nodes[i];
            const double u = 1.0 - t;
            const QPointF d
                = 3.0 * (u * u * (p1 - p0) + 2.0 * u * t * (p2 - p1) + t * t * (p3 - p2));
            sum += weights[i] * std::sqrt(d.x() * d.x() + d.y() * d.y());
        }
        return 0.5 * sum;
    }

    // The value at parameter t (0 to 1).
    double y(double t) const
    {
        const double u = 1.0 - t;
        if (straight)
            return p0.y() * u + p3.y() * t;
        double a = p0.y() * u + p1.y() * t;
        double b = p1.y() * u + p2.y() * t;
        const double c = p2.y() * u + p3.y() * t;
        a = a * u + b * t;
        b = b * u + c * t;
        return a * u + b * t;
    }
};

// Calls `visit` with every piece of the curve's path, in order.
template<class Visit>
void forEachPiece(int curveType, const QPolygonF& points, Visit visit)
{
    CurvePiece piece;
    QPointF current = points.first();
    for (qsizetype i = 1; i < points.size(); ++i) {
        const QPointF& previous = points.at(i - 1);
        const QPointF& point = points.at(i);
        const QPointF end(point.x() * CurveTimeStretch, point.y());
        piece.p0 = current;
        piece.p3 = end;
        piece.straight = curveType != QmdKelvo::CubicCurve;
        if (piece.straight) {
            if (!isUsable(end) || end == current)
                continue;
        } else {
            const double middle
                = (previous.x() + (point.x() - previous.x()) * 0.5) * CurveTimeStretch;
            piece.p1 = QPointF(middle, previous.y());
            piece.p2 = QPointF(middle, point.y());
            if (!isUsable(piece.p1) || !isUsable(piece.p2) || !isUsable(end)
                || (current == piece.p1 && piece.p1 == piece.p2 && piece.p2 == end))
                continue;
        }
        visit(piece);
        current = end;
    }
}

} // namespace

QList<VoiceGroup::CurveSample> VoiceGroup::curveSamples(int curveType, const QPolygonF& points,
                                                        quint64 departure, quint64 arrival,
                                                        quint64 count)
{
    QList<CurveSample> samples;
    if (points.isEmpty())
        return samples;
    const int first = roundHalfAway(points.first().y());
    if (curveType == QmdKelvo::SingleCurve) {
        samples.append({departure, first});
        return samples;
    }
    count = qMax<quint64>(count, 1);
    const quint64 step = arrival > departure ? (arrival - departure) / count : 0;

    // First the length of every piece and of the whole path ...
    std::vector<double> lengths;
    double total = 0;
    forEachPiece(curveType, points, [&](const CurvePiece& piece) {
        lengths.push_back(piece.length());
        total += lengths.back();
    });

    // ... then each sample in the piece where its share of the length ends: the first piece
    // whose end reaches the share, or the last one.
    QList<int> values(qsizetype(count), first);
    quint64 i = 1; // the first sample is the first point's value
    size_t index = 0;
    double before = 0;
    forEachPiece(curveType, points, [&](const CurvePiece& piece) {
        const double length = lengths[index];
        const double after = before + length;
        const bool last = ++index == lengths.size();
        for (; i < count; ++i) {
            const double share = double(i) / double(count);
            if (!last && !(after / total >= share))
                break;
            const double t = (total * share - before) / length;
            values[qsizetype(i)] = roundHalfAway(piece.y(qBound(0.0, t, 1.0)));
        }
        before = after;
    });

    samples.reserve(qsizetype(count) + 1);
    for (quint64 k = 0; k < count; ++k)
        samples.append({departure + k * step, values.at(qsizetype(k))});
    samples.append({arrival, roundHalfAway(points.last().y())});
    return samples;
}
